#include "hive_saving.h"

#include <shlwapi.h>

#include "admin_only.h"
#include "backup_system.h"
#include "errors.h"
#include "handles.h"
#include "hive_check.h"
#include "hive_discovery.h"
#include "platform.h"

namespace {

const wchar_t* fileNameOf(const wchar_t* path) {
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

std::wstring joinPath(const std::wstring& folder, const wchar_t* name) {
    if (folder.empty() || folder.back() == L'\\') return folder + name;
    return folder + L'\\' + name;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The live path with ".bak" added only when its file name has no extension, as the
// shell's add-extension rule does (…\config\SYSTEM.bak, …\NTUSER.DAT unchanged).
std::wstring replacementBackupPathOf(const wchar_t* livePath) {
    std::wstring path = livePath;
    if (*PathFindExtensionW(path.c_str()) == 0) path += L".bak";
    return path;
}

// Deletes a key that saveKeyToFile created by mistake, in the view it was created in.
void deleteCreatedKey(HKEY root, const std::wstring& subkey) {
    using RegDeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    static const auto deleteEx = systemFunction<RegDeleteKeyExFn>(L"advapi32.dll", "RegDeleteKeyExW");
    if (isWow64() && deleteEx)
        deleteEx(root, subkey.c_str(), KEY_WOW64_64KEY, 0);
    else
        RegDeleteKeyW(root, subkey.c_str());
}

// The copy keeps a read-only attribute of its source, which would keep it from going.
void deleteSavedFile(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

}  // namespace

LONG saveKeyToFile(HKEY root, const std::wstring& subkey, const std::wstring& file) {
    REGSAM access = KEY_READ;
    if (isWow64()) access |= KEY_WOW64_64KEY;
    KeyHandle key;
    DWORD disposition = 0;
    LONG r = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_BACKUP_RESTORE, access, nullptr,
                             key.receive(), &disposition);
    if (r != ERROR_SUCCESS) return r;
    if (disposition == REG_CREATED_NEW_KEY) {
        // The hive was unloaded after discovery: there is nothing to save, and the empty
        // key just made must not stay behind.
        key.reset();
        deleteCreatedKey(root, subkey);
        return ERROR_FILE_NOT_FOUND;
    }

    BackupSystem& system = backupSystem();
    if (GetWindowsLevel() >= 7) {
        const bool haveSaveEx = system.hasSaveKeyEx();
        system.flushKey(key.get());
        if (haveSaveEx) {
            if (system.saveKeyEx(key.get(), file, REG_NO_COMPRESSION) == ERROR_SUCCESS) return ERROR_SUCCESS;
            // No partial file may stay for the older call, which refuses an existing file.
            DeleteFileW(file.c_str());
        }
    }
    return system.saveKey(key.get(), file);
}

bool createFolderTree(const std::wstring& path) {
    if (path.size() <= 3) return false;  // a drive root such as C:\ is refused

    // Leading backslashes stay: \\server\share is the start of a network path.
    size_t pos = path.find_first_not_of(L'\\');
    if (pos == std::wstring::npos) return false;
    std::wstring growing = path.substr(0, pos);
    while (pos < path.size()) {
        size_t end = path.find(L'\\', pos);
        if (end == std::wstring::npos) end = path.size();
        if (end > pos) {
            growing.append(path, pos, end - pos);
            // Levels made here are for administrators only; existing ones are left as they are.
            if (growing.size() > 2) CreateDirectoryW(growing.c_str(), adminOnlyFolderAttributes());
            if (growing.back() != L'\\') growing += L'\\';
        }
        pos = end + 1;
    }
    while (!growing.empty() && growing.back() == L'\\') growing.pop_back();
    DWORD attributes = GetFileAttributesW(growing.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HiveSaveResult saveHive(BackupRun& run, const HiveEntry& entry, int n, int count, JobReport& report) {
    HiveSaveResult result;
    HKEY root = nullptr;
    std::wstring subkey;
    if (!hiveKeyOf(entry.hiveName, &root, &subkey)) return result;

    postProgress(report, JOB_STATUS, L"保存...\n配置单元 %d / %d", n, count);
    const wchar_t* name = fileNameOf(entry.filePath);
    postProgress(report, JOB_LOGLINE, L"保存 (%d / %d) %s ...", n, count, name);

    SavedHiveEntry& saved = result.saved;
    saved.rootKey = root;
    copyField(saved.subkey, subkey.c_str());
    copyField(saved.liveFilePath, entry.filePath);
    saved.category = entry.category;

    std::wstring folder = run.backupFolder;
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L' ')) folder.pop_back();
    folder += L'\\';
    if (entry.category != kHiveSystem) {
        wchar_t users[32];
        wsprintfW(users, L"Users\\%d", static_cast<int>(InterlockedIncrement(&run.userFolderCounter)));
        folder += users;
    }
    const std::wstring savedPath = joinPath(folder, name);
    copyField(saved.savedPath, savedPath.c_str());

    result.outcome = HiveSaveOutcome::Failed;
    if (run.overwrite) DeleteFileW(savedPath.c_str());
    if (exists(savedPath)) {
        report.fail(err::kHiveExists);
        postProgress(report, JOB_LOGLINE, L"保存 (%d / %d) %s ... 失败; 已经存在", n, count, name);
        return result;
    }
    if (!createFolderTree(folder)) {
        report.fail(err::kCreateFolder);
        postProgress(report, JOB_LOGLINE, L"失败: 无法创建文件夹 %s", folder.c_str());
        return result;
    }
    if (entry.category != kHiveSystem) {
        // A numbered folder left by an earlier backup (overwrite) gets the DACL too.
        makeAdminOnly(folder.substr(0, folder.rfind(L'\\')));
        makeAdminOnly(folder);
    }
    copyField(saved.replacementBackupPath, replacementBackupPathOf(entry.filePath).c_str());

    // A hive the system has loaded is held open and cannot be copied; any other can. The
    // copy is made here rather than by CopyFile, which leaves the new file with whatever
    // security the system gives it.
    const bool copied = copyToAdminOnlyFile(entry.filePath, savedPath);
    DWORD error = copied ? ERROR_SUCCESS : static_cast<DWORD>(saveKeyToFile(root, subkey, savedPath));
    // Where the platform took no security attributes for the save (see BackupSystem).
    if (!copied && error == ERROR_SUCCESS) makeAdminOnly(savedPath);
    // A file the registry cannot load would restore nothing: it fails like the save, and
    // like a failed save it leaves no file behind.
    if (error == ERROR_SUCCESS && run.verifyHives) {
        error = checkHiveLoads(savedPath.c_str());
        if (error != ERROR_SUCCESS) deleteSavedFile(savedPath);
    }
    if (error != ERROR_SUCCESS) {
        postProgress(report, JOB_LOGLINE, L"保存 (%d / %d) %s ... 失败 : %s", n, count, name,
                     windowsErrorText(error).c_str());
        result.outcome = HiveSaveOutcome::LeftOut;
        result.error = error;
        return result;
    }
    if (copied)
        postProgress(report, JOB_LOGLINE, L"保存 (%d / %d) %s ... 已复制", n, count, name);
    else
        postProgress(report, JOB_LOGLINE, L"保存 (%d / %d) %s ... 成功", n, count, name);
    result.outcome = HiveSaveOutcome::Saved;
    return result;
}
