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
                                      FILE_READ_ATTRIBUTES | READ_CONTROL;

// Opens a folder of the backup held open below `parent` (whose real path is parentFinal),
// making it when it is missing: for administrators only on a local disk, with what the
// share passes on on a network share. One that was there before (made by an earlier
// backup, or the user's own) keeps its permissions. A name that leads anywhere but to a
// plain folder right there (a link, a mount point, a file) is refused.
FileHandle holdSubfolder(HANDLE parent, const std::wstring& parentFinal, const std::wstring& name, bool network) {
    FileHandle folder =
        createRelative(parent, name, true, kFolderAccess, network ? nullptr : adminOnlyFolderSecurity(), true);
    if (!folder || !isPlainFolder(folder.get())) return {};
    if (!isRightThere(folder.get(), parentFinal + L"\\" + name)) return {};
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
    if (GetWindowsLevel() >= WindowsLevel::WindowsXp) {
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
    // Nothing at or above a root is ever made: a drive root, and on a network path the
    // server and its share (a share that does not exist is the server's to make).
    if (isRootPath(withoutBackslash(path))) return false;
    SECURITY_ATTRIBUTES* security = isNetworkPath(path) ? nullptr : adminOnlyFolderAttributes();
    const std::wstring root = rootOfPath(path);
    size_t pos;
    std::wstring growing;
    if (root.compare(0, 2, L"\\\\") == 0 && root.size() <= path.size()) {
        growing = withoutBackslash(path.substr(0, root.size())) + L"\\";
        pos = root.size();
    } else {
        pos = path.find_first_not_of(L'\\');
        if (pos == std::wstring::npos) return false;
        growing = path.substr(0, pos);
    }
    while (pos < path.size()) {
        size_t end = path.find(L'\\', pos);
        if (end == std::wstring::npos) end = path.size();
        if (end > pos) {
            growing.append(path, pos, end - pos);
            // Levels made here are for administrators only (on a local disk); existing ones
            // are left as they are.
            if (growing.size() > 2) CreateDirectoryW(growing.c_str(), security);
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
    // A drive root or a share is no backup folder: the run makes its own folder below.
    if (folder.size() <= 3 || isRootPath(folder)) return false;
    const size_t slash = folder.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 >= folder.size()) return false;
    const std::wstring parentPath = folder.substr(0, slash + 1);
    const std::wstring name = folder.substr(slash + 1);
    const bool network = isNetworkPath(folder);
    // The levels above are made as needed and taken where they lead (the user chose them);
    // the backup folder itself must be right there below its parent.
    if (!isRootPath(parentPath) && !createFolderTree(parentPath)) return false;
    const auto openParent = [&](ACCESS_MASK access) {
        return FileHandle(CreateFileW(parentPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    };
    FileHandle parent = openParent(FILE_TRAVERSE | FILE_READ_ATTRIBUTES | FILE_ADD_SUBDIRECTORY);
    // A parent the run may not add to can still hold the folder already.
    if (!parent) parent = openParent(FILE_TRAVERSE | FILE_READ_ATTRIBUTES);
    if (!parent) return false;
    std::wstring parentFinal = withoutBackslash(finalPathOf(parent.get(), rootOfPath(folder)));
    if (parentFinal.empty()) parentFinal = withoutBackslash(parentPath);

    // Made here when missing, for administrators only on a local disk; a folder that was
    // there before (one the user keeps files in) keeps its own permissions. Shared for
    // reading and writing, never for deleting: it cannot be renamed or removed while the
    // run holds it.
    bool created = false;
    FileHandle held = createRelative(parent.get(), name, true, kFolderAccess,
                                     network ? nullptr : adminOnlyFolderSecurity(), true, &created,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!held) return false;
    const std::wstring expected = parentFinal + L"\\" + name;
    if (!isPlainFolder(held.get()) || !isRightThere(held.get(), expected)) return false;
    run.onNetwork = network;
    // On a share the server names its own accounts: what this run made there belongs to
    // the account it gives this run, which is all that the pruning there may delete.
    if (network && created) run.shareOwner = ownerOf(held.get());
    run.folderFinal = expected;
    run.folderHandle = std::move(held);
    // What a check of an earlier, interrupted run into this folder left (checks of a
    // backup on a share never run there).
    if (!network) removeLeftoverScratch(run.folderFinal);
    return true;
}

HiveSaveResult saveHive(BackupRun& run, const HiveEntry& entry, int n, int count, JobReport& report) {
    HiveSaveResult result;
    HKEY root = nullptr;
    std::wstring subkey;
    if (!hiveKeyOf(entry.hiveName, &root, &subkey)) return result;

    reportStatus(report, L"保存...\n配置单元 %d / %d", n, count);
    const wchar_t* name = fileNameOf(entry.filePath);
    const StepId step = stepOfSavingHive(n);
    reportLine(report, step, L"保存 (%d / %d) %s ...", n, count, name);

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
        reportLine(report, kLineOfItsOwn, L"失败: 无法创建文件夹 %s", folder.c_str());
        return result;
    };
    if (!holdBackupFolder(run)) return cannotCreateFolder();
    HANDLE target = run.folderHandle.get();
    FileHandle usersFolder, userFolder;
    std::wstring targetFinal = run.folderFinal;
    if (!users.empty()) {
        usersFolder = holdSubfolder(target, targetFinal, L"Users", run.onNetwork);
        if (!usersFolder) return cannotCreateFolder();
        targetFinal += L"\\Users";
        userFolder = holdSubfolder(usersFolder.get(), targetFinal, users.substr(6), run.onNetwork);
        if (!userFolder) return cannotCreateFolder();
        targetFinal += L"\\" + users.substr(6);
        target = userFolder.get();
    }
    const std::wstring savedFinal = targetFinal + L"\\" + name;

    if (run.overwrite) {
        FileHandle old = openRelative(target, name, false, DELETE | FILE_READ_ATTRIBUTES);
        if (old && isPlainFile(old.get())) deleteThrough(old.get());
    }
    // A new file, for administrators only (on a share, with what the share gives);
    // whatever has the name (a file, a folder, a link) is never written into.
    FileHandle file = createRelative(target, name, false, GENERIC_READ | GENERIC_WRITE | DELETE,
                                     run.onNetwork ? nullptr : adminOnlyFileSecurity());
    if (!file) {
        report.fail(err::kHiveExists);
        reportLine(report, step, L"保存 (%d / %d) %s ... 失败; 已经存在", n, count, name);
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
        // The registry loads only local files: a backup on a share is checked from a
        // folder of the run's own (none made: the check cannot be made).
        std::wstring scratchParent = run.folderFinal + L"\\";
        if (run.onNetwork) scratchParent = run.checkFolder.make() ? run.checkFolder.path() : std::wstring();
        const HiveCheckResult check = backupSystem().checkSavedHive(savedFinal, scratchParent);
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
        reportLine(report, step, L"保存 (%d / %d) %s ... 失败 : %s", n, count, name,
                     windowsErrorText(error).c_str());
        result.outcome = HiveSaveOutcome::LeftOut;
        result.error = error;
        return result;
    }
    if (unverified) {
        reportLine(report, step, L"保存 (%d / %d) %s ... 无法验证 : %s", n, count, name,
                     windowsErrorText(result.error).c_str());
        result.outcome = HiveSaveOutcome::SavedUnverified;
        return result;
    }
    if (copied)
        reportLine(report, step, L"保存 (%d / %d) %s ... 已复制", n, count, name);
    else
        reportLine(report, step, L"保存 (%d / %d) %s ... 成功", n, count, name);
    result.outcome = HiveSaveOutcome::Saved;
    return result;
}
