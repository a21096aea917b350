#include "hive_discovery.h"

#include <cwchar>
#include <iterator>

#include "backup_system.h"
#include "handles.h"
#include "hive_types.h"

namespace {

constexpr wchar_t kMachinePrefix[] = L"\\registry\\machine\\";
constexpr wchar_t kUserPrefix[] = L"\\registry\\user\\";
constexpr int kCchValueName = 260;
constexpr DWORD kCbValueData = 520;
constexpr DWORD kCchExpanded = 260;
constexpr DWORD kCchDriveStrings = 511;
constexpr DWORD kCchDeviceTarget = 260;

bool startsWithNoCase(const std::wstring& text, const wchar_t* prefix, size_t cchPrefix) {
    return text.size() >= cchPrefix &&
           CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str(), static_cast<int>(cchPrefix), prefix,
                          static_cast<int>(cchPrefix)) == CSTR_EQUAL;
}

template <size_t N>
bool startsWithNoCase(const std::wstring& text, const wchar_t (&prefix)[N]) {
    return startsWithNoCase(text, prefix, N - 1);
}

std::wstring lowerCase(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// Query-only open, as for a hive the system holds open: no access rights asked.
FileHandle openForQuery(const std::wstring& path) {
    return FileHandle(
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

const wchar_t* fileNameOf(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return path.c_str() + (slash == std::wstring::npos ? 0 : slash + 1);
}

}  // namespace

ULONGLONG hiveFileSize(const std::wstring& path) {
    FileHandle file = openForQuery(path);
    if (!file) return 0;
    // GetFileSize rather than GetFileSizeEx, which Windows NT 4.0 lacks.
    DWORD high = 0;
    const DWORD low = GetFileSize(file.get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

bool toDosPath(const std::wstring& ntPath, std::wstring& out) {
    wchar_t drives[kCchDriveStrings];
    DWORD cch = GetLogicalDriveStringsW(kCchDriveStrings, drives);
    if (cch == 0 || cch > kCchDriveStrings) return false;

    for (const wchar_t* drive = drives; *drive; drive += lstrlenW(drive) + 1) {
        const wchar_t device[3] = {drive[0], L':', 0};
        wchar_t target[kCchDeviceTarget];
        if (!QueryDosDeviceW(device, target, kCchDeviceTarget)) continue;
        // The trailing backslash keeps \Device\HarddiskVolume1 from matching ...Volume10.
        std::wstring prefix = std::wstring(target) + L'\\';
        if (prefix.size() >= kCchDeviceTarget) continue;
        if (!startsWithNoCase(ntPath, prefix.c_str(), prefix.size())) continue;
        std::wstring candidate = std::wstring(device) + L'\\' + ntPath.substr(prefix.size());
        if (openForQuery(candidate)) {
            out = candidate;
            return true;
        }
    }
    return false;
}

DWORD classifyHive(const std::wstring& hiveName, const std::wstring& filePath) {
    if (startsWithNoCase(hiveName, kMachinePrefix)) return kHiveSystem;
    if (!startsWithNoCase(hiveName, kUserPrefix)) return 0;

    const std::wstring keyName = hiveName.substr(std::size(kUserPrefix) - 1);
    const std::wstring path = lowerCase(filePath);
    if (lstrcmpiW(keyName.c_str(), L".DEFAULT") == 0 || path.find(L"\\config\\") != std::wstring::npos)
        return kHiveSystem;

    wchar_t user[256];
    DWORD cchUser = 256;
    if (!GetUserNameW(user, &cchUser)) return 0;
    // The whole folder name: user "Ann" must not match C:\Users\Anna\.
    const std::wstring folder = L"\\" + lowerCase(user) + L"\\";
    return path.find(folder) != std::wstring::npos ? kHiveCurrentUser : kHiveOthers;
}

bool hiveKeyOf(const std::wstring& hiveName, HKEY* root, std::wstring* subkey) {
    if (startsWithNoCase(hiveName, kMachinePrefix)) {
        *root = HKEY_LOCAL_MACHINE;
        *subkey = hiveName.substr(std::size(kMachinePrefix) - 1);
        return true;
    }
    if (startsWithNoCase(hiveName, kUserPrefix)) {
        *root = HKEY_USERS;
        *subkey = hiveName.substr(std::size(kUserPrefix) - 1);
        return true;
    }
    return false;
}

bool listHives(HiveSelection& selection) {
    KeyHandle hivelist;
    if (backupSystem().openHiveList(hivelist.receive()) != ERROR_SUCCESS) return false;

    for (DWORD index = 0;; ++index) {
        wchar_t name[kCchValueName];
        DWORD cchName = kCchValueName;
        wchar_t data[kCbValueData / sizeof(wchar_t) + 1] = {};  // one more: data need not end in a NUL
        DWORD cbData = kCbValueData;
        DWORD type = 0;
        // The end of the list, and any other error, ends discovery with what it has.
        if (RegEnumValueW(hivelist.get(), index, name, &cchName, nullptr, &type, reinterpret_cast<BYTE*>(data),
                          &cbData) != ERROR_SUCCESS)
            break;

        std::wstring path(data, wcsnlen(data, cbData / sizeof(wchar_t)));
        if (path.empty()) continue;  // a hive without a file (HARDWARE)
        if (type == REG_EXPAND_SZ) {
            wchar_t expanded[kCchExpanded];
            DWORD cchExpanded = ExpandEnvironmentStringsW(path.c_str(), expanded, kCchExpanded);
            if (cchExpanded == 0 || cchExpanded >= kCchExpanded) continue;
            path = expanded;
        }

        std::wstring dosPath;
        if (!toDosPath(path, dosPath) || dosPath.empty()) continue;
        // The boot configuration hive is never backed up.
        if (lstrcmpiW(fileNameOf(dosPath), L"BCD") == 0) continue;

        DWORD category = classifyHive(name, dosPath);
        if ((category & selection.hiveMask) == 0) continue;

        HiveEntry entry = {};
        copyField(entry.hiveName, name);
        copyField(entry.filePath, dosPath.c_str());
        entry.category = category;
        entry.fileSize = hiveFileSize(dosPath);
        selection.hiveList.push_back(entry);
    }
    return true;
}
