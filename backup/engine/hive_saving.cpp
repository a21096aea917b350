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

std::wstring withoutBackslash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

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

// Empties an open file for the next attempt.
void truncate(HANDLE file) {
    // SetFilePointer, not the Ex form of Windows 2000: the program starts on NT 4.0.
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
}

// Whether an open folder is where `expected` says, seen from its real path. Where the
// system cannot tell (a network path before Vista), the handle's own attributes, which
// show a link there, have decided.
bool isRightThere(HANDLE folder, const std::wstring& expected) {
    const std::wstring real = finalPathOf(folder, rootOfPath(expected));
    return real.empty() || samePath(real, expected);
}

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE |
                                      FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC;

// Opens a folder of the backup held open below `parent` (whose real path is parentFinal),
// making it for administrators only when it is missing. A name that leads anywhere but
// to a plain folder right there (a link, a mount point, a file) is refused.
FileHandle holdSubfolder(HANDLE parent, const std::wstring& parentFinal, const std::wstring& name) {
    bool created = false;
    FileHandle folder = createRelative(parent, name, true, kFolderAccess, adminOnlyFolderSecurity(), true, &created);
    if (!folder || !isPlainFolder(folder.get())) return {};
    if (!isRightThere(folder.get(), parentFinal + L"\\" + name)) return {};
    // A numbered folder left by an earlier backup (overwrite) gets the DACL too.
    if (!created) makeAdminOnly(folder.get(), true);
    return folder;
}

}  // namespace

LONG saveKeyToFile(HKEY root, const std::wstring& subkey, HANDLE file) {
    // The backup-and-restore option and the save calls need the backup privilege; nothing
    // else happens while it is on.
    BackupPrivileges on(true);
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
            // Nothing partial may stay for the older call.
            truncate(file);
        }
    }
    r = system.saveKey(key.get(), file);
    if (r != ERROR_SUCCESS) truncate(file);
    return r;
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

bool holdBackupFolder(BackupRun& run) {
    if (run.folderHandle) return true;
    BackupPrivileges off(false);
    std::wstring folder = run.backupFolder;
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L' ')) folder.pop_back();
    if (!createFolderTree(folder)) return false;
    // The levels above are taken where they lead (the user chose them); the backup folder
    // itself must be right there below its parent.
    const size_t slash = folder.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 >= folder.size()) return false;
    const std::wstring parentPath = folder.substr(0, slash + 1);
    FileHandle parent(CreateFileW(parentPath.c_str(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent) return false;
    std::wstring parentFinal = withoutBackslash(finalPathOf(parent.get(), rootOfPath(folder)));
    if (parentFinal.empty()) parentFinal = withoutBackslash(parentPath);
    const std::wstring expected = parentFinal + L"\\" + folder.substr(slash + 1);

    // Shared for reading and writing, never for deleting: it cannot be renamed or removed
    // while the run holds it.
    const auto open = [&](ACCESS_MASK access) {
        return FileHandle(CreateFileW(folder.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
    };
    FileHandle held = open(kFolderAccess);
    // A folder whose DACL an administrator may not change is used as it is.
    if (!held && GetLastError() == ERROR_ACCESS_DENIED) held = open(kFolderAccess & ~WRITE_DAC);
    if (!held) return false;
    if (!isPlainFolder(held.get()) || !isRightThere(held.get(), expected)) return false;
    // A folder that existed already (one the user chose) changes only as far as an
    // administrator may change it anyway: the privileges stay off.
    makeAdminOnly(held.get(), true);
    run.folderFinal = expected;
    run.folderHandle = std::move(held);
    // What a check of an earlier, interrupted run into this folder left.
    removeLeftoverScratch(run.folderFinal);
    return true;
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
    std::wstring users;  // "Users\<n>" for a user hive
    if (entry.category != kHiveSystem) {
        wchar_t text[32];
        wsprintfW(text, L"Users\\%d", static_cast<int>(InterlockedIncrement(&run.userFolderCounter)));
        users = text;
        folder += users;
    }
    copyField(saved.savedPath, (withoutBackslash(folder) + L"\\" + name).c_str());

    result.outcome = HiveSaveOutcome::Failed;
    // File work with the privileges off: they would let a link planted in the folder lead
    // an open past the permissions of whatever it points to.
    BackupPrivileges off(false);
    const auto cannotCreateFolder = [&] {
        report.fail(err::kCreateFolder);
        postProgress(report, JOB_LOGLINE, L"失败: 无法创建文件夹 %s", folder.c_str());
        return result;
    };
    if (!holdBackupFolder(run)) return cannotCreateFolder();
    HANDLE target = run.folderHandle.get();
    FileHandle usersFolder, userFolder;
    std::wstring targetFinal = run.folderFinal;
    if (!users.empty()) {
        usersFolder = holdSubfolder(target, targetFinal, L"Users");
        if (!usersFolder) return cannotCreateFolder();
        targetFinal += L"\\Users";
        userFolder = holdSubfolder(usersFolder.get(), targetFinal, users.substr(6));
        if (!userFolder) return cannotCreateFolder();
        targetFinal += L"\\" + users.substr(6);
        target = userFolder.get();
    }
    const std::wstring savedFinal = targetFinal + L"\\" + name;

    if (run.overwrite) {
        FileHandle old = openRelative(target, name, false, DELETE | FILE_READ_ATTRIBUTES);
        if (old && isPlainFile(old.get())) deleteThrough(old.get());
    }
    // A new file, for administrators only; whatever has the name (a file, a folder, a
    // link) is never written into.
    FileHandle file = createRelative(target, name, false, GENERIC_READ | GENERIC_WRITE | DELETE,
                                     adminOnlyFileSecurity());
    if (!file) {
        report.fail(err::kHiveExists);
        postProgress(report, JOB_LOGLINE, L"保存 (%d / %d) %s ... 失败; 已经存在", n, count, name);
        return result;
    }
    copyField(saved.replacementBackupPath, replacementBackupPathOf(entry.filePath).c_str());

    // A hive the system has loaded is held open and cannot be copied; any other can.
    const bool copied = copyFileInto(entry.filePath, file.get());
    if (!copied) truncate(file.get());
    DWORD error = copied ? ERROR_SUCCESS : static_cast<DWORD>(saveKeyToFile(root, subkey, file.get()));
    if (error != ERROR_SUCCESS) deleteThrough(file.get());  // a failed save leaves no file
    file.reset();

    // A file the registry cannot load would restore nothing: it fails like the save, and
    // like a failed save it leaves no file behind. A check that could not be made is no
    // verdict: the file stays, and the run says it could not be verified.
    bool unverified = false;
    if (error == ERROR_SUCCESS && run.verifyHives) {
        const HiveCheckResult check = backupSystem().checkSavedHive(savedFinal, run.folderFinal + L"\\");
        if (check.verdict == HiveVerdict::NotAHive) {
            error = check.error;
            FileHandle bad = openRelative(target, name, false, DELETE | FILE_READ_ATTRIBUTES);
            if (bad && isPlainFile(bad.get())) deleteThrough(bad.get());
        } else if (check.verdict == HiveVerdict::Unverifiable) {
            unverified = true;
            result.error = check.error;
        }
    }
    if (error != ERROR_SUCCESS) {
        postProgress(report, JOB_LOGLINE, L"保存 (%d / %d) %s ... 失败 : %s", n, count, name,
                     windowsErrorText(error).c_str());
        result.outcome = HiveSaveOutcome::LeftOut;
        result.error = error;
        return result;
    }
    if (unverified) {
        postProgress(report, JOB_LOGLINE, L"保存 (%d / %d) %s ... 无法验证 : %s", n, count, name,
                     windowsErrorText(result.error).c_str());
        result.outcome = HiveSaveOutcome::SavedUnverified;
        return result;
    }
    if (copied)
        postProgress(report, JOB_LOGLINE, L"保存 (%d / %d) %s ... 已复制", n, count, name);
    else
        postProgress(report, JOB_LOGLINE, L"保存 (%d / %d) %s ... 成功", n, count, name);
    result.outcome = HiveSaveOutcome::Saved;
    return result;
}
