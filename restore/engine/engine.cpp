#include "engine.h"

#include <shlwapi.h>

#include <cstdarg>
#include <cstring>

#include "errors.h"
#include "handles.h"
#include "hive_check.h"
#include "hive_path.h"
#include "platform.h"
#include "resource.h"
#include "session.h"

namespace {

constexpr DWORD kCchFormatted = 1025;  // wsprintf writes at most 1024 characters

RestoreActions g_realActions;
RestoreActions* g_actions = &g_realActions;

template <size_t N>
void copyText(char (&field)[N], const std::string& text) {
    lstrcpynA(field, text.c_str(), static_cast<int>(N));
}

std::string format(const char* pattern, ...) {
    char buffer[kCchFormatted];
    va_list args;
    va_start(args, pattern);
    wvsprintfA(buffer, pattern, args);
    va_end(args);
    return buffer;
}

void postKind(const RestoreSession& session, WPARAM kind) {
    if (session.progressWindow) PostMessageA(session.progressWindow, WM_JOB_NOTIFY, kind, 0);
}

// The error of a failed copy: the thread's last error as an HRESULT of the Win32 facility.
DWORD lastErrorAsHresult() {
    DWORD error = GetLastError();
    if (static_cast<LONG>(error) <= 0) return error;
    return (error & 0x0000FFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u;
}

std::string readText(const std::string& file, const char* section, const char* key) {
    char buffer[kCchPlanPath] = "";
    GetPrivateProfileStringA(section, key, "", buffer, kCchPlanPath, file.c_str());
    return buffer;
}

std::wstring wideOf(const std::string& text) {
    int cch = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (cch <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(cch), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], cch);
    wide.resize(static_cast<size_t>(cch - 1));
    return wide;
}

// The Windows root in its long form where it exists, as the hive paths are.
std::string longFormOf(const std::string& path) {
    char longPath[kCchPlanPath];
    DWORD cch = longPathName(path.c_str(), longPath, kCchPlanPath);
    return cch > 0 && cch < kCchPlanPath ? std::string(longPath) : path;
}

// A hive path from SURVIN.INI may only name a hive file of the installation the run
// restores into; a saved path only a file inside the backup folder. The checks run on
// wide text, so that a double-byte character is never split into a false backslash.
bool isHiveOfTarget(const std::string& hive, const std::string& targetRoot) {
    const std::wstring root = wideOf(longFormOf(targetRoot));
    return hivepath::isHiveOfInstallation(wideOf(hive).c_str(), root.c_str());
}

bool fileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The first failure of a run is the one reported; later ones keep its code.
void noteFailure(RestoreSession& session, int code) {
    if (session.failed) return;
    session.failed = 1;
    session.failureCode = code;
}

const char kProgressLine[] = "恢复 (%d / %d) %s ...";
// Copying into an offline installation has a caption of its own; the questions of a hive
// replacement carry the program's caption.
const char kRestoreErrorCaption[] = "恢复错误";

std::string programCaption() {
    char caption[128] = "";
    if (LoadStringA(GetModuleHandleA(nullptr), IDS_CAPTION, caption, sizeof(caption)) <= 0)
        return "注册表恢复";
    return caption;
}

bool askToGoOn(const RestoreSession& session, const std::string& text, const std::string& caption) {
    return restoreActions().ask(session.progressWindow, text, caption, MB_YESNO | MB_ICONINFORMATION) != IDNO;
}

void postResultLine(const RestoreSession& session, int n, int count, const char* hivePath, bool ok,
                    DWORD error) {
    std::string line = format(kProgressLine, n, count, hivePath);
    if (ok)
        line += " 成功";
    else
        line += format(" 失败 %s", windowsErrorTextA(error).c_str());
    PostProgress(session, JOB_LOGLINE, "%s", line.c_str());
}

// The temporary copy beside a live hive: its name with the extension replaced by ".TMP".
// The extension is appended as text: the shell's in-place adding refuses a name that still
// has an extension (NTUSER.MAN.DAT) or a long path, and would leave the name of another
// file, or of the hive itself, which is then deleted and overwritten.
std::string temporaryCopyPath(const std::string& hivePath) {
    char stem[kCchPlanPath];
    copyText(stem, hivePath);
    PathRemoveExtensionA(stem);
    std::string temp = std::string(stem) + ".TMP";
    if (lstrcmpiA(temp.c_str(), hivePath.c_str()) == 0) temp = hivePath + ".TMP";
    return temp;
}

// Puts the file's data on the disk: a copy that the cache still holds is lost in a power
// cut, and the hive named after it with it.
bool flushFile(const std::string& path) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    return file && FlushFileBuffers(file.get());
}

// Copies source to target and flushes the copy. The error is set on failure.
bool copyFlushed(const std::string& source, const std::string& target, DWORD* error) {
    if (CopyFileA(source.c_str(), target.c_str(), FALSE) && flushFile(target)) return true;
    *error = lastErrorAsHresult();
    return false;
}

// The live hive is replaced in one move from a complete copy beside it, so a copy that
// fails half-way never leaves a truncated hive behind; the copy is on the disk before the
// move, and the move itself is written through.
bool copyOverLiveHive(const std::string& source, const std::string& hivePath, DWORD* error) {
    const std::string tempPath = temporaryCopyPath(hivePath);
    if (!copyFlushed(source, tempPath, error)) {
        DeleteFileA(tempPath.c_str());
        return false;
    }
    if (!MoveFileExA(tempPath.c_str(), hivePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = lastErrorAsHresult();
        DeleteFileA(tempPath.c_str());
        return false;
    }
    return true;
}

// One hive copied over the file of an inactive installation. False stops the run.
bool restoreByCopy(RestoreSession& session, RestorePlanEntry& entry, int n, int count) {
    const char* hive = entry.hivePath;
    PostProgress(session, JOB_STATUS, kProgressLine, n, count, hive);
    // A saved file that does not load as a hive is never copied, and the live hive and
    // its ".BAK" stay as they are.
    if (DWORD loadError = checkHiveLoads(wideOf(entry.savedFile).c_str())) {
        postResultLine(session, n, count, hive, false, loadError);
        bool goOn = askToGoOn(session, format("无法复制 %s\n到\n%s.\n\n继续下一个文件吗？", entry.savedFile, hive),
                              kRestoreErrorCaption);
        noteFailure(session, err::kRestoreHive);
        return goOn;
    }
    if (session.backupExisting) {
        PostProgress(session, JOB_LOGLINE, "备份配置单元 (%d / %d) %s...", n, count, hive);
        if (!CopyFileA(hive, entry.backupCopy, FALSE)) {
            DWORD error = lastErrorAsHresult();
            PostProgress(session, JOB_LOGLINE, "备份配置单元 (%d of %d) %s... 失败 %s", n, count, hive,
                         windowsErrorTextA(error).c_str());
            bool goOn = askToGoOn(session, format("无法备份 %s.\n\n继续吗？", hive), kRestoreErrorCaption);
            noteFailure(session, err::kBackupExisting);
            if (!goOn) return false;
        }
    }
    PostProgress(session, JOB_LOGLINE, kProgressLine, n, count, hive);
    DWORD error = 0;
    if (copyOverLiveHive(entry.savedFile, hive, &error)) {
        postResultLine(session, n, count, hive, true, 0);
        return true;
    }
    postResultLine(session, n, count, hive, false, error);
    bool goOn = askToGoOn(session, format("无法复制 %s\n到\n%s.\n\n继续下一个文件吗？", entry.savedFile, hive),
                          kRestoreErrorCaption);
    noteFailure(session, err::kRestoreHive);
    return goOn;
}

// One hive of the running Windows handed to the registry's replacement, effective at the
// next start. False stops the run.
bool restoreByReplace(RestoreSession& session, RestorePlanEntry& entry, int n, int count,
                      bool* restartNeeded) {
    const char* hive = entry.hivePath;
    PostProgress(session, JOB_STATUS, kProgressLine, n, count, hive);
    PostProgress(session, JOB_LOGLINE, kProgressLine, n, count, hive);

    // A saved file that does not load as a hive is never handed to the replacement, and
    // nothing beside the live hive is touched.
    if (DWORD loadError = checkHiveLoads(wideOf(entry.savedFile).c_str())) {
        postResultLine(session, n, count, hive, false, loadError);
        bool goOn = askToGoOn(session, format("无法恢复 %s\n到\n%s.\n\n继续下一个文件吗？", entry.savedFile, hive),
                              programCaption());
        noteFailure(session, err::kRestoreHive);
        return goOn;
    }

    DeleteFileA(entry.backupCopy);
    const std::string temp = temporaryCopyPath(hive);
    DeleteFileA(temp.c_str());

    DWORD error = 0;
    if (!copyFlushed(entry.savedFile, temp, &error)) {
        postResultLine(session, n, count, hive, false, error);
        bool goOn = askToGoOn(session, format("无法复制 %s\n到\n%s.\n\n继续下一个文件吗？", entry.savedFile, temp.c_str()),
                              programCaption());
        noteFailure(session, err::kRestoreHive);
        return goOn;
    }
    copyText(entry.savedFile, temp);
    LONG result = restoreActions().replaceKey(entry.rootKey, entry.subKey, temp, entry.backupCopy);
    if (result != ERROR_SUCCESS) {
        postResultLine(session, n, count, hive, false, static_cast<DWORD>(result));
        bool goOn = askToGoOn(session, format("无法恢复 %s\n到\n%s.\n\n继续下一个文件吗？", temp.c_str(), hive),
                              programCaption());
        noteFailure(session, err::kRestoreHive);
        return goOn;
    }
    postResultLine(session, n, count, hive, true, 0);
    *restartNeeded = true;
    return true;
}

}  // namespace

int RestoreActions::ask(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

LONG RestoreActions::replaceKey(HKEY root, const std::string& subKey, const std::string& newFile,
                                const std::string& oldFile) {
    static const auto fn = systemFunction<decltype(&RegReplaceKeyA)>(L"advapi32.dll", "RegReplaceKeyA");
    if (!fn) return ERROR_PROC_NOT_FOUND;
    return fn(root, subKey.c_str(), newFile.c_str(), oldFile.c_str());
}

void RestoreActions::restartWindows() { RestartWindows(); }

RestoreActions& restoreActions() { return *g_actions; }

RestoreActions* setRestoreActions(RestoreActions* actions) {
    RestoreActions* previous = g_actions;
    g_actions = actions ? actions : &g_realActions;
    return previous;
}

void PostProgress(const RestoreSession& session, WPARAM kind, const char* pattern, ...) {
    if (!session.progressWindow) return;
    char buffer[kCchFormatted];
    va_list args;
    va_start(args, pattern);
    wvsprintfA(buffer, pattern, args);
    va_end(args);
    auto* text = new std::string(buffer);
    if (!PostMessageA(session.progressWindow, WM_JOB_NOTIFY, kind, reinterpret_cast<LPARAM>(text)))
        delete text;  // nobody will take it
}

bool BuildRestorePlan(RestoreSession& session) {
    const std::string& file = session.infoFilePath;
    if (!PathFileExistsA(file.c_str())) return false;
    session.plan.clear();

    for (int i = 0; i < 100; ++i) {
        char section[32];
        wsprintfA(section, "%s%d", "DATA", i);
        int category = static_cast<int>(GetPrivateProfileIntA(section, "Category", -1, file.c_str()));
        if (category == -1) break;
        if ((static_cast<DWORD>(category) & session.selectedCategories) == 0) continue;

        RestorePlanEntry entry = {};
        char hive[kCchPlanPath];
        copyText(hive, readText(file, section, "Hive"));
        if (!hive[0]) break;
        PathRemoveBlanksA(hive);
        PathUnquoteSpacesA(hive);
        if (lstrlenA(hive) < 2) break;
        // Only the drive letter follows the target root; the folders stay as written.
        const std::string& target = session.targetWindowsRoot;
        if (!target.empty() && !PathIsSameRootA(hive, target.c_str())) hive[0] = target[0];
        char longPath[kCchPlanPath];
        DWORD cch = longPathName(hive, longPath, kCchPlanPath);
        if (cch > 0 && cch < kCchPlanPath) lstrcpynA(hive, longPath, kCchPlanPath);
        if (!isHiveOfTarget(hive, target)) {
            session.failed = 1;
            session.failureCode = err::kHiveInfoInvalid;
            return false;
        }
        copyText(entry.hivePath, hive);
        copyText(entry.backupCopy, std::string(hive) + ".BAK");

        char saved[kCchPlanPath];
        copyText(saved, readText(file, section, "Saved"));
        if (!saved[0]) break;
        PathRemoveBlanksA(saved);
        if (lstrlenA(saved) < 2) break;
        if (!hivepath::isInsideBackupFolder(wideOf(saved).c_str())) {
            session.failed = 1;
            session.failureCode = err::kHiveInfoInvalid;
            return false;
        }
        PostProgress(session, JOB_STATUS, "验证配置单元 %s", saved);
        char savedPath[MAX_PATH * 2] = "";
        std::string joined = session.backupFolder + saved;
        if (PathCombineA(savedPath, session.backupFolder.c_str(), saved)) joined = savedPath;
        if (!fileExists(joined)) {
            PostProgress(session, JOB_LOGLINE, "配置单元 %s 没有找到", saved);
            session.failed = 1;
            session.failureCode = err::kSavedHiveMissing;
            return false;
        }
        copyText(entry.savedFile, joined);

        char type[kCchPlanPath];
        copyText(type, readText(file, section, "Type"));
        if (!type[0]) break;
        PathRemoveBlanksA(type);
        if (lstrlenA(type) < 2) break;
        const char* slash = strchr(type, '\\');
        std::string rootName = slash ? std::string(type, slash - type) : std::string();
        if (slash && lstrcmpiA(rootName.c_str(), "USERS") == 0) {
            entry.rootKey = HKEY_USERS;
        } else if (slash && lstrcmpiA(rootName.c_str(), "MACHINE") == 0) {
            entry.rootKey = HKEY_LOCAL_MACHINE;
        } else {
            session.failed = 1;
            session.failureCode = err::kHiveInfoInvalid;
            return false;
        }
        lstrcpynA(entry.subKey, slash + 1, kCchPlanPath);
        entry.category = category;
        session.plan.push_back(entry);
    }
    if (session.plan.empty()) {
        session.failed = 1;
        session.failureCode = err::kSavedHiveMissing;
        return false;
    }
    return true;
}

void RunRestore(RestoreSession& session, HWND window) {
    session.progressWindow = window;
    session.failed = 0;
    session.failureCode = 0;
    postKind(session, JOB_STARTED);

    bool restartNeeded = false;
    // Keys of a hive check that an earlier run could not unload would stay loaded until
    // the next start of Windows.
    unloadLeftoverHiveChecks();
    const bool planned = BuildRestorePlan(session);
    // SURVIN.INI gone since the start sets no code of its own, yet nothing was restored:
    // the run must not end as a success.
    if (!planned) noteFailure(session, err::kSavedHiveMissing);
    if (planned) {
        int count = static_cast<int>(session.plan.size());
        for (int i = 0; i < count; ++i) {
            RestorePlanEntry& entry = session.plan[i];
            bool goOn = session.restoreMode == CopyFiles
                            ? restoreByCopy(session, entry, i + 1, count)
                            : restoreByReplace(session, entry, i + 1, count, &restartNeeded);
            if (!goOn) break;
        }
    }

    postKind(session, JOB_FINISHED);
    PostProgress(session, JOB_LOGLINE, "处理 %s", session.failed ? "包含错误" : " ");
    if (restartNeeded) {
        restoreActions().ask(session.progressWindow,
                             "Windows 必须重新启动才能完成恢复操作。单击“确定”，Windows 将自动重新启动。",
                             "注册表恢复完成。", MB_OK | MB_ICONINFORMATION);
        restoreActions().restartWindows();
    }
}

void RestartWindows() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    GetVersionExA(&info);
    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        ExitWindowsEx(EWX_REBOOT, 0);
        return;
    }
    if (!enablePrivilege(true, L"SeShutdownPrivilege")) return;
    if (InitiateSystemShutdownA(nullptr, nullptr, 0, TRUE, TRUE)) enablePrivilege(false, L"SeShutdownPrivilege");
}
