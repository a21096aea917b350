// The platform's side of the backup benchmark (tools/bench-backup.sh). Not a test.
//
// Each line of a hive list names one hive: its root (HKLM or HKU), its key below the root,
// its file and where its content comes from ("load": the file, loaded into the key by
// the benchmark; "wine": the key that Wine has, saved into the file when the prefix is
// made), separated by tabs. tools/bench-hives.py writes the list with the hivelist.
//
//   save_bench save <list> <folder>      RegSaveKeyExW of every key into a new folder
//   save_bench copy <list> <folder>      CopyFileW of every hive file into a new folder
//   save_bench store <list>              saves every "wine" key into its own file (set-up)
//   save_bench load <list>               loads every "load" file into its key (set-up)
//   save_bench hold <list> <ready file>  holds every hive file open without sharing, as a
//                                        running Windows does, until `release`
//   save_bench release
//
// save and copy do nothing else, so that their time is what the platform needs for the
// same keys and files. Like the backup program, it sees the real system folder also as
// a 32-bit program on 64-bit Windows.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Hive {
    HKEY root;
    std::wstring subkey;
    std::wstring file;
    bool loaded;  // its content comes from the file, not from a key of Wine's
};

constexpr wchar_t kReleaseEvent[] = L"Local\\save_bench_release";

bool enablePrivilege(const wchar_t* name) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
              GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

// The list file is UTF-8 text; a line with fewer than four fields is skipped.
bool readList(const wchar_t* path, std::vector<Hive>& hives) {
    FILE* f = _wfopen(path, L"rb");
    if (!f) return false;
    std::string text;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof(chunk), f)) > 0;) text.append(chunk, n);
    fclose(f);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t tab1 = line.find('\t'), tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        size_t tab3 = tab2 == std::string::npos ? tab2 : line.find('\t', tab2 + 1);
        if (tab3 == std::string::npos) continue;
        auto wide = [](const std::string& s) {
            std::wstring out(s.size(), L'\0');
            int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0],
                                        static_cast<int>(out.size()));
            out.resize(n > 0 ? n : 0);
            return out;
        };
        const std::string root = line.substr(0, tab1);
        hives.push_back({root == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_USERS,
                         wide(line.substr(tab1 + 1, tab2 - tab1 - 1)), wide(line.substr(tab2 + 1, tab3 - tab2 - 1)),
                         line.substr(tab3 + 1) == "load"});
    }
    return !hives.empty();
}

std::wstring targetOf(const std::wstring& folder, size_t index) {
    return folder + L"\\" + std::to_wstring(index) + L".hiv";
}

// What the backup program does on its registry path: open with the backup option, save.
LONG saveKey(const Hive& hive, const std::wstring& file) {
    HKEY key;
    LONG r = RegCreateKeyExW(hive.root, hive.subkey.c_str(), 0, nullptr, REG_OPTION_BACKUP_RESTORE,
                             KEY_READ | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS) return r;
    r = RegSaveKeyExW(key, file.c_str(), nullptr, REG_NO_COMPRESSION);
    RegCloseKey(key);
    return r;
}

int save(const std::vector<Hive>& hives, const std::wstring& folder) {
    if (!enablePrivilege(L"SeBackupPrivilege")) return 3;
    if (!CreateDirectoryW(folder.c_str(), nullptr)) return 4;
    int failures = 0;
    for (size_t i = 0; i < hives.size(); ++i) {
        LONG r = saveKey(hives[i], targetOf(folder, i));
        if (r != ERROR_SUCCESS) {
            std::fprintf(stderr, "save %ls: error %ld\n", hives[i].subkey.c_str(), r);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

int store(const std::vector<Hive>& hives) {
    if (!enablePrivilege(L"SeBackupPrivilege")) return 3;
    int failures = 0;
    for (const Hive& hive : hives) {
        if (hive.loaded) continue;
        DeleteFileW(hive.file.c_str());
        LONG r = saveKey(hive, hive.file);
        if (r != ERROR_SUCCESS) {
            std::fprintf(stderr, "store %ls: error %ld\n", hive.subkey.c_str(), r);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

int copy(const std::vector<Hive>& hives, const std::wstring& folder) {
    if (!CreateDirectoryW(folder.c_str(), nullptr)) return 4;
    int failures = 0;
    for (size_t i = 0; i < hives.size(); ++i) {
        if (!CopyFileW(hives[i].file.c_str(), targetOf(folder, i).c_str(), TRUE)) {
            std::fprintf(stderr, "copy %ls: error %lu\n", hives[i].file.c_str(), GetLastError());
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

int load(const std::vector<Hive>& hives) {
    if (!enablePrivilege(L"SeBackupPrivilege") || !enablePrivilege(L"SeRestorePrivilege")) return 3;
    int failures = 0;
    for (const Hive& hive : hives) {
        if (!hive.loaded) continue;
        LONG r = RegLoadKeyW(hive.root, hive.subkey.c_str(), hive.file.c_str());
        if (r != ERROR_SUCCESS) {
            std::fprintf(stderr, "load %ls from %ls: error %ld\n", hive.subkey.c_str(), hive.file.c_str(), r);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

int hold(const std::vector<Hive>& hives, const wchar_t* readyFile) {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, kReleaseEvent);
    if (!release) return 3;
    std::vector<HANDLE> held;
    for (const Hive& hive : hives) {
        HANDLE file = CreateFileW(hive.file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "hold %ls: error %lu\n", hive.file.c_str(), GetLastError());
            return 1;
        }
        held.push_back(file);
    }
    HANDLE ready = CreateFileW(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(ready);
    WaitForSingleObject(release, INFINITE);
    for (HANDLE file : held) CloseHandle(file);
    CloseHandle(release);
    return 0;
}

int releaseHolder() {
    HANDLE release = OpenEventW(EVENT_MODIFY_STATE, FALSE, kReleaseEvent);
    if (!release) return 1;
    SetEvent(release);
    CloseHandle(release);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"release") == 0) return releaseHolder();
    if (argc < 3) {
        std::fprintf(stderr, "usage: save_bench save|copy <list> <folder> | store|load <list> | hold <list> <ready file>"
                             " | release\n");
        return 2;
    }
    PVOID redirection = nullptr;
    Wow64DisableWow64FsRedirection(&redirection);  // fails harmlessly where there is none
    const std::wstring mode = argv[1];
    std::vector<Hive> hives;
    if (!readList(argv[2], hives)) {
        std::fprintf(stderr, "save_bench: cannot read the hive list %ls\n", argv[2]);
        return 2;
    }
    if (mode == L"save" && argc == 4) return save(hives, argv[3]);
    if (mode == L"copy" && argc == 4) return copy(hives, argv[3]);
    if (mode == L"store") return store(hives);
    if (mode == L"load") return load(hives);
    if (mode == L"hold" && argc == 4) return hold(hives, argv[3]);
    return 2;
}
