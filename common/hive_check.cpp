#include "hive_check.h"

#include <string>

#include "admin_only.h"
#include "handles.h"

const wchar_t kHiveCheckKeyPrefix[] = L"HiveCheck.";

namespace {

LONG g_checkCounter = 0;

std::wstring temporaryFolder() {
    wchar_t path[MAX_PATH + 1] = L"";
    DWORD cch = GetTempPathW(MAX_PATH + 1, path);
    if (cch == 0 || cch > MAX_PATH) return std::wstring();
    std::wstring folder(path, cch);
    if (folder.back() != L'\\') folder += L'\\';
    return folder;
}

// Deletes the files of a scratch folder (the copy and the logs the registry made beside
// it) and the folder itself.
void removeScratch(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    FindHandle find(FindFirstFileW((folder + L"*").c_str(), &found));
    if (find) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            std::wstring file = folder + found.cFileName;
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
        } while (FindNextFileW(find.get(), &found));
    }
    find.reset();
    RemoveDirectoryW(folder.c_str());
}

// Reads every subkey name and value of key; a hive whose cells are broken fails here even
// when its header let it load.
LONG enumerateKey(HKEY key) {
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 256;
        LONG result = RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return result;
    }
    for (DWORD i = 0;; ++i) {
        DWORD cch = 256;
        LONG result = RegEnumValueW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return result;
    }
    return ERROR_SUCCESS;
}

// The process id in a key or folder name made by this module, or 0.
DWORD ownerOf(const wchar_t* name) {
    const size_t prefix = wcslen(kHiveCheckKeyPrefix);
    if (_wcsnicmp(name, kHiveCheckKeyPrefix, prefix) != 0) return 0;
    DWORD pid = 0;
    const wchar_t* p = name + prefix;
    if (*p < L'0' || *p > L'9') return 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) pid = pid * 10 + static_cast<DWORD>(*p - L'0');
    return *p == L'.' ? pid : 0;
}

bool processRuns(DWORD pid) {
    if (pid == GetCurrentProcessId()) return true;
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // exists, but not ours to see
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

DWORD checkHiveLoadsIn(const wchar_t* file, const std::wstring& temp);

bool isNotAHiveError(DWORD error) {
    switch (error) {
    case ERROR_BADDB:              // 1009
    case ERROR_BADKEY:             // 1010
    case ERROR_REGISTRY_CORRUPT:   // 1015
    case ERROR_NOT_REGISTRY_FILE:  // 1017
    case ERROR_FILE_CORRUPT:       // 1392
        return true;
    default:
        return false;
    }
}

HiveCheckResult checkHive(const wchar_t* file, const std::wstring& scratchParent) {
    std::wstring parent = scratchParent;
    if (!parent.empty() && parent.back() != L'\\') parent += L'\\';
    DWORD error = checkHiveLoadsIn(file, parent);
    if (error == ERROR_SUCCESS) return {HiveVerdict::Loads, 0};
    return {isNotAHiveError(error) ? HiveVerdict::NotAHive : HiveVerdict::Unverifiable, error};
}

void removeLeftoverScratch(const std::wstring&) {}

DWORD checkHiveLoads(const wchar_t* file) {
    const std::wstring temp = temporaryFolder();
    if (temp.empty()) return GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND;
    return checkHiveLoadsIn(file, temp);
}

DWORD checkHiveLoadsIn(const wchar_t* file, const std::wstring& temp) {

    // The copy holds the hive's secrets: it lies in a new folder that only administrators
    // can open (the temporary folder may be shared, as the system's is), made by this
    // call, so nothing another user planted there is written to or read. A name that is
    // taken already is passed over.
    wchar_t name[64];
    std::wstring scratch;
    for (int attempt = 0;; ++attempt) {
        wsprintfW(name, L"%s%lu.%ld", kHiveCheckKeyPrefix, GetCurrentProcessId(),
                  InterlockedIncrement(&g_checkCounter));
        scratch = temp + name + L"\\";
        if (CreateDirectoryW(scratch.c_str(), adminOnlyFolderAttributes())) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS || attempt == 16) return GetLastError();
    }
    const std::wstring copy = scratch + L"hive";
    if (!copyToAdminOnlyFile(file, copy)) {
        DWORD error = GetLastError();
        removeScratch(scratch);
        return error;
    }
    // The copy keeps the attributes of its source; the registry wants to write to it.
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);

    LONG result = RegLoadKeyW(HKEY_USERS, name, copy.c_str());
    if (result == ERROR_SUCCESS) {
        KeyHandle root;
        result = RegOpenKeyExW(HKEY_USERS, name, 0, KEY_READ, root.receive());
        if (result == ERROR_SUCCESS) result = enumerateKey(root.get());
    }
    // Also after a failed load: some registries keep an empty key of that name then.
    RegUnLoadKeyW(HKEY_USERS, name);
    removeScratch(scratch);
    return static_cast<DWORD>(result);
}

int unloadLeftoverHiveChecks() {
    int unloaded = 0;
    // Collected first: unloading while enumerating would shift the indexes.
    std::wstring names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 256;
        if (RegEnumKeyExW(HKEY_USERS, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        DWORD pid = ownerOf(name);
        if (pid && !processRuns(pid)) names.append(name).push_back(L'\0');
    }
    for (const wchar_t* p = names.c_str(); *p; p += wcslen(p) + 1) {
        if (RegUnLoadKeyW(HKEY_USERS, p) == ERROR_SUCCESS) ++unloaded;
    }

    const std::wstring temp = temporaryFolder();
    if (temp.empty()) return unloaded;
    WIN32_FIND_DATAW found;
    FindHandle find(FindFirstFileW((temp + kHiveCheckKeyPrefix + L"*").c_str(), &found));
    if (!find) return unloaded;
    do {
        DWORD pid = ownerOf(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && pid && !processRuns(pid))
            removeScratch(temp + found.cFileName + L"\\");
    } while (FindNextFileW(find.get(), &found));
    return unloaded;
}
