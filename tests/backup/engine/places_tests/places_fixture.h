// Backup folders made by hand for the place, search and pruning tests: a settings file
// in a scratch folder, backups with chosen SURVIN.INI times.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "folder_link.h"
#include "settings.h"
#include "test_support.h"

namespace places_testing {

using namespace testing_support;

constexpr ULONGLONG kHour = 36000000000ULL;
constexpr ULONGLONG kDay = 24 * kHour;

inline ULONGLONG nowFileTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// Wine keeps no creation time of its own (it reports the last write time), so both are set.
inline bool setFileTimes(const std::wstring& path, ULONGLONG time) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME ft = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    BOOL ok = SetFileTime(file, &ft, nullptr, &ft);
    CloseHandle(file);
    return ok != FALSE;
}

// A backup as a job leaves it: a system hive, a user hive in Users\1, the script, the
// restore program, the help file and SURVIN.INI listing all but the help file. Extra
// Files entries go before the fixed three.
inline bool makeBackup(const std::wstring& folder, ULONGLONG time, bool withExe = true,
                       const std::vector<std::string>& extraEntries = {}) {
    if (!makeDirs(folder + L"Users\\1")) return false;
    std::vector<std::string> entries = {"SYSTEM", "Users\\1\\NTUSER.DAT"};
    entries.insert(entries.end(), extraEntries.begin(), extraEntries.end());
    entries.insert(entries.end(), {"SURVIN.WRC", "SURVIN.EXE", "SURVIN.INI"});
    std::string ini = "[INFO]\r\nDateTime=x\r\n[Files]\r\n";
    for (size_t k = 0; k < entries.size(); ++k) ini += std::to_string(k) + "=" + entries[k] + "\r\n";
    bool ok = writeBytes(folder + L"SYSTEM", "hive") && writeBytes(folder + L"Users\\1\\NTUSER.DAT", "hive") &&
              writeBytes(folder + L"SURVIN.WRC", "copy") && writeBytes(folder + L"Tolmen.chm", "help") &&
              writeBytes(folder + L"SURVIN.INI", ini);
    if (withExe) ok = ok && writeBytes(folder + L"SURVIN.EXE", "MZ");
    return ok && setFileTimes(folder + L"SURVIN.INI", time);
}

// A scratch folder that holds the settings file; the tests' backups go below it.
struct PlacesFixture {
    PlacesFixture() : dir(L"places") {
        initSettings(dir.path().c_str());
        // Keeps the scratch folder from being removed with an emptied backup root.
        writeBytes(dir / L"keep.txt", "x");
    }
    std::wstring operator/(const std::wstring& name) const { return dir / name; }
    ScratchDir dir;
};

}  // namespace places_testing
