#include "engine.h"

#include <sddl.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cstring>

#include "admin_only.h"
#include "errors.h"
#include "handles.h"
#include "hive_check.h"
#include "hive_path.h"
#include "loader.h"
#include "platform.h"
#include "regf.h"
#include "session.h"
#include "survin_ini.h"

namespace {

namespace ini = survinini;

constexpr DWORD kCchFormatted = 1025;  // wsprintf writes at most 1024 characters

// Where a run reports: the session's front end, or nobody.
RestoreCallback& callbackOf(const RestoreSession& session) {
    static RestoreCallback nobody;
    return session.callback ? *session.callback : nobody;
}

template <size_t N>
void copyText(char (&field)[N], const std::string& text) {
    lstrcpynA(field, text.c_str(), static_cast<int>(N));
}

template <size_t N>
void copyText(char (&field)[N], const char* text) {
    lstrcpynA(field, text, static_cast<int>(N));
}

// wsprintf rules: at most 1024 characters.
std::string formatArgs(const char* pattern, va_list args) {
    char buffer[kCchFormatted];
    wvsprintfA(buffer, pattern, args);
    return buffer;
}

std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    std::string text = formatArgs(pattern, args);
    va_end(args);
    return text;
}

void reportStatus(const RestoreSession& session, const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    std::string text = formatArgs(pattern, args);
    va_end(args);
    callbackOf(session).status(text);
}

void reportLine(const RestoreSession& session, RestoreStep step, const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    std::string text = formatArgs(pattern, args);
    va_end(args);
    callbackOf(session).logLine(step, text);
}

// The error of a failed copy: the thread's last error as an HRESULT of the Win32 facility.
DWORD lastErrorAsHresult() {
    DWORD error = GetLastError();
    if (static_cast<LONG>(error) <= 0) return error;
    return (error & 0x0000FFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u;
}

std::wstring wideOf(const std::string& text) {
    int cch = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (cch <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(cch), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], cch);
    wide.resize(static_cast<size_t>(cch - 1));
    return wide;
}

// The long form of a path where it exists, in the ANSI code page; the path as given when
// the long form has no exact ANSI name.
std::string longFormOf(const std::string& path) {
    wchar_t longPath[kCchPlanPath];
    DWORD cch = longPathName(wideOf(path).c_str(), longPath, kCchPlanPath);
    if (cch == 0 || cch >= kCchPlanPath) return path;
    std::string ansi = ansiPathOf(longPath);
    return ansi.empty() ? path : ansi;
}

// The name the restore gives a hive path: its long form when that converts exactly to the
// ANSI code page, else the path as SURVIN.INI stores it (the backup's 8.3 form), which
// every ANSI call resolves to the same file. A long form with best-fit or "?" stand-ins
// names another user's hive, or none.
std::string namedHivePath(const std::string& path) {
    wchar_t longPath[kCchPlanPath];
    DWORD cch = longPathName(wideOf(path).c_str(), longPath, kCchPlanPath);
    if (cch == 0 || cch >= kCchPlanPath) return path;
    std::string exact = ansiPathOf(longPath);
    if (exact.empty() || exact.size() >= kCchPlanPath) return path;
    // Only the exact long form is taken: a short form made up here is no better than the
    // stored one.
    return wideOf(exact) == longPath ? exact : path;
}

// A Hive value may only receive the saved copy of a hive of its Type (a machine hive in a
// config folder, a user's NTUSER.DAT or UsrClass.dat), named so that nothing else can be
// reached; a Saved value only a file inside the backup folder. The checks run on wide
// text, so that a double-byte character is never split into a false backslash.
bool isHiveTarget(const std::string& hive, const std::string& type) {
    return hivepath::isHiveTargetOfType(wideOf(hive).c_str(), wideOf(type).c_str());
}

// The same folder: by file identity where both exist, else by the long paths.
bool sameFolder(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    auto open = [](const std::string& path) {
        return FileHandle(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    };
    FileHandle first = open(a), second = open(b);
    BY_HANDLE_FILE_INFORMATION one, two;
    if (first && second && GetFileInformationByHandle(first.get(), &one) &&
        GetFileInformationByHandle(second.get(), &two)) {
        return one.dwVolumeSerialNumber == two.dwVolumeSerialNumber && one.nFileIndexHigh == two.nFileIndexHigh &&
               one.nFileIndexLow == two.nFileIndexLow;
    }
    std::string x = longFormOf(a), y = longFormOf(b);
    while (x.size() > 3 && x.back() == '\\') x.pop_back();
    while (y.size() > 3 && y.back() == '\\') y.pop_back();
    return lstrcmpiA(x.c_str(), y.c_str()) == 0;
}

// The Windows root that copied hives land in: only the drive letter of the stored paths
// follows the target root (none when it is empty), so the backup's own root under that
// drive letter.
std::string copyRootOf(const RestoreSession& session) {
    const std::string& target = session.targetWindowsRoot;
    std::string root = session.backupSysRoot;
    if (root.empty()) return target;
    if (!target.empty() && !PathIsSameRootA(root.c_str(), target.c_str())) root[0] = target[0];
    return root;
}

// Copying files over the hives of the Windows that runs the restore can only break it:
// whatever chose the target (detection, the options, an empty choice), that is refused.
bool copiesIntoRunningWindows(const RestoreSession& session) {
    const std::string& current = session.currentWindowsRoot;
    return sameFolder(session.targetWindowsRoot, current) || sameFolder(copyRootOf(session), current);
}

// A SID as text: S-1- and numbers separated by single dashes.
bool isSidText(const std::string& text) {
    if (text.size() < 5 || text.size() > 184 || text.compare(0, 4, "S-1-") != 0) return false;
    bool digit = false;
    for (size_t i = 4; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digit = true;
        } else if (text[i] == '-' && digit) {
            digit = false;
        } else {
            return false;
        }
    }
    return digit;
}

// The security of a restored hive file and of the copy that becomes it: SYSTEM and
// Administrators only; a user's own hive (NTUSER.DAT, UsrClass.dat) also grants that user,
// whose Type names its SID, as the profile's hive always did, so that the user can still
// log on. What the live hive's folder would pass on (users may read config on some
// machines) is never taken.
class HiveSecurity {
public:
    explicit HiveSecurity(const char* type) {
        std::string key;
        switch (hivepath::hiveKindOfType(type)) {
        case hivepath::HiveKind::UserProfile:
            key = strchr(type, '\\') + 1;
            break;
        case hivepath::HiveKind::UserClasses:
            key = strchr(type, '\\') + 1;
            key.resize(key.size() - 8);  // "_Classes"
            break;
        default:
            break;
        }
        if (isSidText(key)) {
            const std::wstring sddl = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + wideOf(key) + L")";
            // Looked up by name: it came with Windows 2000, and the program starts on NT 4.0
            // (which then gives the hive the administrators-only security).
            static const auto convert = systemFunction<decltype(&ConvertStringSecurityDescriptorToSecurityDescriptorW)>(
                L"advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorW");
            if (convert) convert(sddl.c_str(), SDDL_REVISION_1, &attributes_.lpSecurityDescriptor, nullptr);
        }
    }
    ~HiveSecurity() {
        if (attributes_.lpSecurityDescriptor) LocalFree(attributes_.lpSecurityDescriptor);
    }
    HiveSecurity(const HiveSecurity&) = delete;
    HiveSecurity& operator=(const HiveSecurity&) = delete;
    SECURITY_ATTRIBUTES* attributes() {
        return attributes_.lpSecurityDescriptor ? &attributes_ : adminOnlyFileAttributes();
    }

private:
    SECURITY_ATTRIBUTES attributes_ = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

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
QuestionCaption captionOfMode(const RestoreSession& session) {
    return session.restoreMode == CopyFiles ? QuestionCaption::RestoreError : QuestionCaption::Program;
}

bool askToGoOn(const RestoreSession& session, const std::string& text, QuestionCaption caption) {
    return callbackOf(session).askToGoOn(text, caption);
}

void postResultLine(const RestoreSession& session, int n, int count, const char* hivePath, bool ok,
                    DWORD error) {
    std::string line = format(kProgressLine, n, count, hivePath);
    if (ok)
        line += " 成功";
    else
        line += format(" 失败 %s", windowsErrorTextA(error).c_str());
    callbackOf(session).logLine(restoreStep(n), line);
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

// Copies source into a new file target made with the given security, and puts the data on
// the disk (a copy the cache still holds is lost in a power cut, and the hive named after
// it with it). An old target is deleted first: a file rewritten in place would keep its
// own DACL, and a link would take the data elsewhere. A copy that fails half-way is
// removed again; without a source nothing is touched. The error is set on failure.
bool copyToNewFile(const std::string& source, const std::string& target, SECURITY_ATTRIBUTES* security,
                   DWORD* error) {
    FileHandle in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) {
        *error = lastErrorAsHresult();
        return false;
    }
    DeleteFileA(target.c_str());
    FileHandle out(CreateFileA(target.c_str(), GENERIC_WRITE, 0, security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        *error = lastErrorAsHresult();
        return false;
    }
    static constexpr DWORD kCbChunk = 64 * 1024;
    std::string buffer(kCbChunk, '\0');
    bool ok = true;
    for (;;) {
        DWORD read = 0, written = 0;
        if (!ReadFile(in.get(), &buffer[0], kCbChunk, &read, nullptr)) {
            ok = false;
            break;
        }
        if (read == 0) break;
        if (!WriteFile(out.get(), buffer.data(), read, &written, nullptr) || written != read) {
            ok = false;
            break;
        }
    }
    if (ok) ok = FlushFileBuffers(out.get()) != FALSE;
    if (ok) return true;
    *error = lastErrorAsHresult();
    out.reset();
    DeleteFileA(target.c_str());
    return false;
}

// The live hive is replaced in one move from a complete copy beside it, so a copy that
// fails half-way never leaves a truncated hive behind; the copy is on the disk before the
// move, and the move itself is written through.
bool copyOverLiveHive(const std::string& source, const std::string& hivePath, SECURITY_ATTRIBUTES* security,
                      DWORD* error) {
    const std::string tempPath = temporaryCopyPath(hivePath);
    if (!copyToNewFile(source, tempPath, security, error)) return false;
    if (!MoveFileExA(tempPath.c_str(), hivePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = lastErrorAsHresult();
        DeleteFileA(tempPath.c_str());
        return false;
    }
    return true;
}

// The Type text of an entry, as SURVIN.INI gave it.
std::string typeOf(const RestorePlanEntry& entry) {
    return std::string(entry.rootKey == HKEY_USERS ? "USERS\\" : "MACHINE\\") + entry.subKey;
}

// What the checks of an entry found before anything of it is written.
enum class Gate { Restore, Skip, Stop };

// The question a failed entry asks in its mode: Yes goes on with the run, No stops it.
bool askAboutEntry(RestoreSession& session, const RestorePlanEntry& entry) {
    const bool copy = session.restoreMode == CopyFiles;
    const char* pattern = copy ? "无法复制 %s\n到\n%s.\n\n继续下一个文件吗？" : "无法恢复 %s\n到\n%s.\n\n继续下一个文件吗？";
    bool goOn = askToGoOn(session, format(pattern, entry.savedFile, entry.hivePath), captionOfMode(session));
    noteFailure(session, err::kRestoreHive);
    return goOn;
}

// A refused entry is that entry's failure alone: its line names the refused value.
Gate refuseEntry(RestoreSession& session, const RestorePlanEntry& entry, int n, int count) {
    reportStatus(session, kProgressLine, n, count, entry.refused);
    std::string line = format(kProgressLine, n, count, entry.refused) + " 失败 " + errorMessageA(err::kHiveInfoInvalid);
    callbackOf(session).logLine(restoreStep(n), line);
    return askAboutEntry(session, entry) ? Gate::Skip : Gate::Stop;
}

// A saved file that begins like a hive file must have a sound base block before the
// registry is asked; a damaged one fails as a file that does not load (1009).
HiveCheckResult checkSavedHive(const RestoreSession& session, const std::string& savedFile,
                               const std::wstring& scratch) {
    const std::wstring file = wideOf(savedFile);
    FileHandle in(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (in) {
        unsigned char head[regf::kCbHead];
        DWORD read = 0, high = 0;
        const DWORD low = GetFileSize(in.get(), &high);
        if (low != INVALID_FILE_SIZE && ReadFile(in.get(), head, sizeof(head), &read, nullptr)) {
            const uint32_t cbFile = high ? 0xFFFFFFFFu : low;
            if (regf::checkBaseBlock(head, static_cast<int>(read), cbFile) == regf::Verdict::Broken)
                return {HiveVerdict::NotAHive, ERROR_BADDB};
        }
    }
    return callbackOf(session).loadCheck(file, scratch);
}

// A saved file that is no sound hive is never written anywhere: Yes leaves the entry out.
// A check that could not be made says nothing about the file: it gets a line of its own
// ("of", so the entry's own lines do not merge into it) and a question whose Yes goes on
// with this hive, worded like the one after a failed backup copy.
Gate checkEntry(RestoreSession& session, const RestorePlanEntry& entry, int n, int count,
                const std::wstring& scratch) {
    const HiveCheckResult check = checkSavedHive(session, entry.savedFile, scratch);
    if (check.verdict == HiveVerdict::Loads) return Gate::Restore;
    if (check.verdict == HiveVerdict::NotAHive) {
        postResultLine(session, n, count, entry.hivePath, false, check.error);
        return askAboutEntry(session, entry) ? Gate::Skip : Gate::Stop;
    }
    reportLine(session, kOwnLine, "恢复 (%d of %d) %s ... 失败 %s", n, count, entry.hivePath,
               windowsErrorTextA(check.error).c_str());
    bool goOn = askToGoOn(session, format("无法验证 %s.\n\n继续吗？", entry.savedFile), captionOfMode(session));
    noteFailure(session, err::kRestoreHive);
    return goOn ? Gate::Restore : Gate::Stop;
}

// One hive copied over the file of an inactive installation. False stops the run.
bool restoreByCopy(RestoreSession& session, RestorePlanEntry& entry, int n, int count, const std::wstring& scratch) {
    if (entry.refused[0]) return refuseEntry(session, entry, n, count) == Gate::Skip;
    const char* hive = entry.hivePath;
    reportStatus(session, kProgressLine, n, count, hive);
    // The live hive and its ".BAK" stay as they are unless the saved file is restored.
    const Gate gate = checkEntry(session, entry, n, count, scratch);
    if (gate != Gate::Restore) return gate == Gate::Skip;
    if (session.backupExisting) {
        reportLine(session, backupCopyStep(n), "备份配置单元 (%d / %d) %s...", n, count, hive);
        DWORD error = 0;
        if (!copyToNewFile(hive, entry.backupCopy, adminOnlyFileAttributes(), &error)) {
            reportLine(session, kOwnLine, "备份配置单元 (%d of %d) %s... 失败 %s", n, count, hive,
                       windowsErrorTextA(error).c_str());
            bool goOn = askToGoOn(session, format("无法备份 %s.\n\n继续吗？", hive), QuestionCaption::RestoreError);
            noteFailure(session, err::kBackupExisting);
            if (!goOn) return false;
        }
    }
    reportLine(session, restoreStep(n), kProgressLine, n, count, hive);
    HiveSecurity security(typeOf(entry).c_str());
    DWORD error = 0;
    if (copyOverLiveHive(entry.savedFile, hive, security.attributes(), &error)) {
        postResultLine(session, n, count, hive, true, 0);
        return true;
    }
    postResultLine(session, n, count, hive, false, error);
    bool goOn = askToGoOn(session, format("无法复制 %s\n到\n%s.\n\n继续下一个文件吗？", entry.savedFile, hive),
                          QuestionCaption::RestoreError);
    noteFailure(session, err::kRestoreHive);
    return goOn;
}

// One hive of the running Windows handed to the registry's replacement, effective at the
// next start. False stops the run.
bool restoreByReplace(RestoreSession& session, RestorePlanEntry& entry, int n, int count, const std::wstring& scratch,
                      bool* restartNeeded) {
    if (entry.refused[0]) return refuseEntry(session, entry, n, count) == Gate::Skip;
    const char* hive = entry.hivePath;
    reportStatus(session, kProgressLine, n, count, hive);
    reportLine(session, restoreStep(n), kProgressLine, n, count, hive);

    // Nothing beside the live hive is touched unless the saved file is restored.
    const Gate gate = checkEntry(session, entry, n, count, scratch);
    if (gate != Gate::Restore) return gate == Gate::Skip;

    DeleteFileA(entry.backupCopy);
    const std::string temp = temporaryCopyPath(hive);
    DeleteFileA(temp.c_str());

    // The temporary copy becomes the hive at the next start: it is made with the hive's
    // security, never with what its folder passes on.
    HiveSecurity security(typeOf(entry).c_str());
    DWORD error = 0;
    if (!copyToNewFile(entry.savedFile, temp, security.attributes(), &error)) {
        postResultLine(session, n, count, hive, false, error);
        bool goOn = askToGoOn(session, format("无法复制 %s\n到\n%s.\n\n继续下一个文件吗？", entry.savedFile, temp.c_str()),
                              QuestionCaption::Program);
        noteFailure(session, err::kRestoreHive);
        return goOn;
    }
    copyText(entry.savedFile, temp);
    LONG result = callbackOf(session).replaceKey(entry.rootKey, entry.subKey, temp, entry.backupCopy);
    if (result != ERROR_SUCCESS) {
        postResultLine(session, n, count, hive, false, static_cast<DWORD>(result));
        bool goOn = askToGoOn(session, format("无法恢复 %s\n到\n%s.\n\n继续下一个文件吗？", temp.c_str(), hive),
                              QuestionCaption::Program);
        noteFailure(session, err::kRestoreHive);
        return goOn;
    }
    postResultLine(session, n, count, hive, true, 0);
    *restartNeeded = true;
    return true;
}

// The hive check's private copies lie in a scratch folder made inside the backup folder,
// which needs no room elsewhere and is for administrators only. The registry loads hives
// only from local files: a backup on a network share, and one where nothing can be made
// (a CD), is checked from a folder the run makes for itself in the temporary folder.
std::wstring scratchParentFor(const RestoreSession& session, LocalCheckFolder& local) {
    const std::wstring folder = wideOf(session.backupFolder);
    if (!folder.empty() && !isNetworkPath(folder)) {
        wchar_t name[64];
        wsprintfW(name, L"SURVIN.%lu.%lu.TMP", GetCurrentProcessId(), GetTickCount());
        const std::wstring probe = folder + name;
        if (CreateDirectoryW(probe.c_str(), adminOnlyFolderAttributes())) {
            RemoveDirectoryW(probe.c_str());
            return folder;
        }
    }
    // None made: every check then says it could not be made.
    return local.make() ? local.path() : std::wstring();
}

// The options dialog's own words for a copy over the running Windows.
const char kCopyIntoRunningWindows[] = "在“文件复制”模式，目标 Windows 根目录不能与当前 Windows 根目录相同";

}  // namespace

LONG RestoreCallback::replaceKey(HKEY root, const std::string& subKey, const std::string& newFile,
                                 const std::string& oldFile) {
    static const auto fn = systemFunction<decltype(&RegReplaceKeyA)>(L"advapi32.dll", "RegReplaceKeyA");
    if (!fn) return ERROR_PROC_NOT_FOUND;
    return fn(root, subKey.c_str(), newFile.c_str(), oldFile.c_str());
}

void RestoreCallback::restartWindows() { RestartWindows(); }

HiveCheckResult RestoreCallback::loadCheck(const std::wstring& file, const std::wstring& scratchParent) {
    return checkHive(file.c_str(), scratchParent);
}

bool BuildRestorePlan(RestoreSession& session) {
    const std::string& file = session.infoFilePath;
    if (file.empty() || !PathFileExistsA(file.c_str())) return false;
    session.plan.clear();

    auto readKey = [&file](const char* section, const char* key, char* out, int cch) {
        return static_cast<int>(GetPrivateProfileStringA(section, key, "", out, static_cast<DWORD>(cch), file.c_str()));
    };
    // Sections whose Category has no bit of the selection are skipped unread.
    ini::ProfileDataWalk<char, decltype(readKey), kCchPlanPath> walk(readKey, session.selectedCategories, true);
    for (ini::DataEntry<char> section; walk.next(section);) {
        RestorePlanEntry entry = {};
        char hive[kCchPlanPath];
        copyText(hive, section.hive);
        if (!hive[0]) break;
        PathRemoveBlanksA(hive);
        PathUnquoteSpacesA(hive);
        if (lstrlenA(hive) < 2) break;
        // Only the drive letter follows the target root; the folders stay as written.
        const std::string& target = session.targetWindowsRoot;
        if (!target.empty() && !PathIsSameRootA(hive, target.c_str())) hive[0] = target[0];

        char saved[kCchPlanPath];
        copyText(saved, section.saved);
        if (!saved[0]) break;
        PathRemoveBlanksA(saved);
        if (lstrlenA(saved) < 2) break;
        reportStatus(session, "验证配置单元 %s", saved);
        // A Saved value that leads out of the backup folder is never looked at. The rule runs
        // on wide text: the trail byte of a double-byte character can be a backslash.
        const bool savedInside = ini::isInsideBackupFolder(wideOf(saved).c_str());
        std::string joined = session.backupFolder + saved;
        if (savedInside) {
            char savedPath[MAX_PATH * 2] = "";
            if (PathCombineA(savedPath, session.backupFolder.c_str(), saved)) joined = savedPath;
            if (!fileExists(joined)) {
                reportLine(session, kOwnLine, "配置单元 %s 没有找到", saved);
                session.failed = 1;
                session.failureCode = err::kSavedHiveMissing;
                return false;
            }
        }
        copyText(entry.savedFile, joined);

        char type[kCchPlanPath];
        copyText(type, section.type);
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

        // The Hive is looked at on the disk only once its text is a path that can receive
        // a hive of its Type; its long form must be one too.
        std::string named = hive;
        if (!savedInside) {
            copyText(entry.refused, saved);
        } else if (!isHiveTarget(hive, type)) {
            copyText(entry.refused, hive);
        } else {
            named = namedHivePath(hive);
            if (!isHiveTarget(named, type)) copyText(entry.refused, named);
        }
        copyText(entry.hivePath, named);
        copyText(entry.backupCopy, named + ".BAK");
        entry.category = static_cast<int>(section.category);
        session.plan.push_back(entry);
    }
    if (session.plan.empty()) {
        session.failed = 1;
        session.failureCode = err::kSavedHiveMissing;
        return false;
    }
    return true;
}

void RunRestore(RestoreSession& session, RestoreCallback& callback) {
    session.callback = &callback;
    session.failed = 0;
    session.failureCode = 0;
    callback.started();

    bool restartNeeded = false;
    if (session.restoreMode == CopyFiles && copiesIntoRunningWindows(session)) {
        // Refused before anything is read or written.
        callback.logLine(kOwnLine, kCopyIntoRunningWindows);
        noteFailure(session, err::kRestoreHive);
    } else {
        // Keys and scratch folders of a hive check that an earlier run could not clean up.
        unloadLeftoverHiveChecks();
        LocalCheckFolder local;
        const std::wstring scratch = scratchParentFor(session, local);
        if (!scratch.empty()) removeLeftoverScratch(scratch);
        const bool planned = BuildRestorePlan(session);
        // SURVIN.INI gone since the start sets no code of its own, yet nothing was
        // restored: the run must not end as a success.
        if (!planned) noteFailure(session, err::kSavedHiveMissing);
        const int count = planned ? static_cast<int>(session.plan.size()) : 0;
        for (int i = 0; i < count; ++i) {
            RestorePlanEntry& entry = session.plan[i];
            bool goOn = session.restoreMode == CopyFiles
                            ? restoreByCopy(session, entry, i + 1, count, scratch)
                            : restoreByReplace(session, entry, i + 1, count, scratch, &restartNeeded);
            if (!goOn) break;
        }
    }

    callback.finished();
    reportLine(session, kOwnLine, "处理 %s", session.failed ? "包含错误" : " ");
    if (restartNeeded) {
        callback.restartNote("Windows 必须重新启动才能完成恢复操作。单击“确定”，Windows 将自动重新启动。",
                             "注册表恢复完成。");
        callback.restartWindows();
    }
    // The front end lives no longer than the run.
    session.callback = nullptr;
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
