#include "hive_check.h"

#include <string>

#include "admin_only.h"
#include "handles.h"
#include "platform.h"

const wchar_t kHiveCheckKeyPrefix[] = L"HiveCheck.";

namespace {

constexpr int kScratchNameTries = 100;
constexpr wchar_t kCopyName[] = L"hive";

LONG g_checkCounter = 0;

std::wstring withoutBackslash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

bool endsWithNoCase(const std::wstring& text, const wchar_t* tail) {
    const size_t n = wcslen(tail);
    return text.size() >= n && lstrcmpiW(text.c_str() + text.size() - n, tail) == 0;
}

// The names a check makes in its scratch folder: the copy, and the logs the registry
// keeps beside a hive it loads (the transaction logs carry a GUID in their names).
bool isCheckFileName(const std::wstring& name) {
    if (lstrcmpiW(name.c_str(), kCopyName) == 0) return true;
    for (const wchar_t* log : {L"hive.LOG", L"hive.LOG1", L"hive.LOG2", L"hive.blf"}) {
        if (lstrcmpiW(name.c_str(), log) == 0) return true;
    }
    return _wcsnicmp(name.c_str(), L"hive{", 5) == 0 &&
           (endsWithNoCase(name, L".TM.blf") || endsWithNoCase(name, L".regtrans-ms"));
}

// Deletes what a check makes in an open scratch folder, each name opened relative to it
// without following a link, then the folder itself through its handle.
void removeScratch(HANDLE scratch) {
    for (const FolderEntry& entry : entriesOf(scratch)) {
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || !isCheckFileName(entry.name)) continue;
        FileHandle file = openRelative(scratch, entry.name, false, DELETE | FILE_READ_ATTRIBUTES);
        if (file && isPlainFile(file.get())) deleteThrough(file.get());
    }
    deleteThrough(scratch);  // refused while anything else is left in it
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

// A name for a new scratch folder: the prefix, this process's id and 64 random bits, so
// that nobody can take the names a check will use.
std::wstring randomScratchName() {
    BYTE random[8];
    randomBytes(random, sizeof(random));
    wchar_t name[64];
    wsprintfW(name, L"%s%lu.%02X%02X%02X%02X%02X%02X%02X%02X", kHiveCheckKeyPrefix, GetCurrentProcessId(),
              random[0], random[1], random[2], random[3], random[4], random[5], random[6], random[7]);
    return name;
}

// A new scratch folder inside the open parent, made for administrators only; it must not
// exist before. Its name is random, so nobody can take the names a check will use.
FileHandle createScratch(HANDLE parent, std::wstring& name, DWORD* error) {
    for (int attempt = 0; attempt < kScratchNameTries; ++attempt) {
        const std::wstring text = randomScratchName();
        FileHandle scratch = createRelative(
            parent, text, true,
            DELETE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL,
            adminOnlyFolderSecurity());
        if (scratch) {
            name = text;
            return scratch;
        }
        *error = GetLastError();
        if (*error != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

// Loads the copy, enumerates its root and unloads it, with the privileges on for these
// calls only.
LONG loadCopy(const std::wstring& copy) {
    wchar_t key[64];
    wsprintfW(key, L"%s%lu.%ld", kHiveCheckKeyPrefix, GetCurrentProcessId(), InterlockedIncrement(&g_checkCounter));
    BackupPrivileges on(true);
    LONG result = RegLoadKeyW(HKEY_USERS, key, copy.c_str());
    if (result == ERROR_SUCCESS) {
        KeyHandle root;
        result = RegOpenKeyExW(HKEY_USERS, key, 0, KEY_READ, root.receive());
        if (result == ERROR_SUCCESS) result = enumerateKey(root.get());
    }
    // Also after a failed load: some registries keep an empty key of that name then.
    RegUnLoadKeyW(HKEY_USERS, key);
    return result;
}

DWORD runCheck(const wchar_t* file, const std::wstring& scratchParent) {
    BackupPrivileges off(false);  // file work only reaches what the file permissions allow
    const std::wstring parentPath = withoutBackslash(scratchParent);
    FileHandle parent(CreateFileW(parentPath.c_str(),
                                  FILE_LIST_DIRECTORY | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent) return GetLastError();
    const DWORD attributes = attributesOf(parent.get());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    // The registry loads by path: the one the held folder really has.
    std::wstring parentFinal = finalPathOf(parent.get(), rootOfPath(parentPath));
    if (parentFinal.empty()) parentFinal = parentPath;
    if (parentFinal.back() != L'\\') parentFinal += L'\\';

    std::wstring name;
    DWORD error = ERROR_ALREADY_EXISTS;
    FileHandle scratch = createScratch(parent.get(), name, &error);
    if (!scratch) return error;

    LONG result = ERROR_SUCCESS;
    {
        FileHandle copy = createRelative(scratch.get(), kCopyName, false, GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                         adminOnlyFileSecurity());
        if (!copy || !copyFileInto(file, copy.get())) {
            result = static_cast<LONG>(GetLastError());
            if (result == ERROR_SUCCESS) result = ERROR_CANNOT_MAKE;
        }
    }
    if (result == ERROR_SUCCESS) result = loadCopy(parentFinal + name + L"\\" + kCopyName);
    removeScratch(scratch.get());
    return static_cast<DWORD>(result);
}

}  // namespace

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
    const DWORD error = runCheck(file, scratchParent);
    if (error == ERROR_SUCCESS) return {HiveVerdict::Loads, 0};
    return {isNotAHiveError(error) ? HiveVerdict::NotAHive : HiveVerdict::Unverifiable, error};
}


namespace {
void removeLeftoverScratchIn(const std::wstring& parentPath, int depth);
}  // namespace

void removeLeftoverScratch(const std::wstring& parentPath) { removeLeftoverScratchIn(parentPath, 0); }

namespace {

void removeLeftoverScratchIn(const std::wstring& parentPath, int depth) {
    BackupPrivileges off(false);
    const std::wstring bare = withoutBackslash(parentPath);
    FileHandle parent(CreateFileW(bare.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent) return;
    const std::wstring root = rootOfPath(bare);
    std::wstring parentFinal = finalPathOf(parent.get(), root);
    if (parentFinal.empty()) return;
    if (parentFinal.back() != L'\\') parentFinal += L'\\';

    for (const FolderEntry& entry : entriesOf(parent.get())) {
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        const DWORD pid = ownerOf(entry.name.c_str());
        if (!pid || processRuns(pid)) continue;
        FileHandle scratch =
            openRelative(parent.get(), entry.name, true,
                         DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL);
        // Checked as it is held: a plain folder right there (a link would lead elsewhere),
        // made by an administrator and closed to everybody else.
        if (!scratch || !isPlainFolder(scratch.get())) continue;
        if (!samePath(finalPathOf(scratch.get(), root), parentFinal + entry.name)) continue;
        if (!isAdminOnly(scratch.get(), false)) continue;
        // A run's own check folder holds the scratch folders of that run's checks.
        if (depth == 0) removeLeftoverScratchIn(parentFinal + entry.name, depth + 1);
        removeScratch(scratch.get());
    }
}

}  // namespace

bool LocalCheckFolder::make() {
    if (held_) return true;
    BackupPrivileges off(false);
    wchar_t temp[MAX_PATH + 1] = L"";
    const DWORD cch = GetTempPathW(MAX_PATH + 1, temp);
    if (cch == 0 || cch > MAX_PATH) return false;
    std::wstring parent(temp, cch);
    if (parent.back() != L'\\') parent += L'\\';
    if (isNetworkPath(parent)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    // Folders of earlier runs that were stopped half-way.
    removeLeftoverScratch(parent);
    for (int attempt = 0; attempt < kScratchNameTries; ++attempt) {
        const std::wstring name = randomScratchName();
        const std::wstring folder = parent + name;
        if (!CreateDirectoryW(folder.c_str(), adminOnlyFolderAttributes())) {
            if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return false;
        }
        // Shared for reading and writing (the checks make their scratch folders in it),
        // never for deleting.
        FileHandle held(CreateFileW(folder.c_str(),
                                    DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!held || !isPlainFolder(held.get())) return false;
        held_ = std::move(held);
        path_ = folder + L"\\";
        return true;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
}

void LocalCheckFolder::remove() {
    if (held_) deleteThrough(held_.get());  // refused while anything is left in it
    held_.reset();
    path_.clear();
}

int unloadLeftoverHiveChecks() {
    BackupPrivileges on(true);  // unloading needs the restore privilege
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
    return unloaded;
}
