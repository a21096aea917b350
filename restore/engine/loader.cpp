#include "loader.h"

#include <shlwapi.h>

#include <cstdint>
#include <cstring>

#include "edition.h"
#include "platform.h"
#include "session.h"
#include "survin_ini.h"
#include "windows_level.h"

namespace {

namespace ini = survinini;

constexpr DWORD kCchProfileText = 260;

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string trimmed(const std::string& text, const char* strip) {
    size_t first = text.find_first_not_of(strip);
    if (first == std::string::npos) return {};
    size_t last = text.find_last_not_of(strip);
    return text.substr(first, last - first + 1);
}

std::string trimmedWhite(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && isWhite(text[first])) ++first;
    while (last > first && isWhite(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// Windows roots are compared and stored without quotes, blanks or a trailing backslash.
const char kRootStrip[] = "\" \\";

std::string readInfo(const std::string& file, const char* key) {
    char buffer[kCchProfileText] = "";
    GetPrivateProfileStringA(ini::kSectionInfo<char>, key, "", buffer, kCchProfileText, file.c_str());
    return buffer;
}

// Windows 8 and every later Windows report 6.2 or more (or a major above 6) and share one
// version code: only their major, minor and build numbers tell one from another.
bool laterThanSeven(int64_t major, int64_t minor) { return major > 6 || (major == 6 && minor >= 2); }

// OSString was written in the code page of the machine that made the backup, which the
// restore machine need not share: the one Chinese phrase of Windows 8 and later, and a
// service-pack text, then read as other bytes. The record and OSString belong together
// when the record's text in the running code page, or in another ANSI code page, is
// OSString.
bool osStringOfRecord(const OsInfoRecord& record, const std::string& osString) {
    static const UINT kCodePages[] = {CP_ACP, 936, 950, 932, 949, 874, 1250, 1251,
                                      1252,   1253, 1254, 1255, 1256, 1257, 1258};
    const bool serverR2 = GetSystemMetrics(SM_SERVERR2) != 0;
    for (UINT codePage : kCodePages) {
        if (codePage != CP_ACP && !IsValidCodePage(codePage)) continue;
        std::string derived;
        if (!editionTextInCodePage(record, serverR2, codePage, derived)) continue;
        if (lstrcmpiA(trimmedWhite(derived).c_str(), osString.c_str()) == 0) return true;
    }
    return false;
}

// Windows PE, and Windows RE that is built on it, mark their own SYSTEM hive with this key.
// Such a session is never the Windows of a backup: its registry is the recovery system's
// own, loaded from its image, and a hive replaced there would replace nothing of the
// installation on the disk.
bool runningInWindowsPe() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\MiniNT", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool isDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The text in the ANSI code page, or false when a character of it has none there (a
// best-fit stand-in would name another file: ö would become o).
bool toAnsiExactly(const std::wstring& text, std::string& ansi) {
    BOOL usedDefault = FALSE;
    int cb = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, nullptr, &usedDefault);
    if (cb <= 0 || usedDefault) return false;
    std::string buffer(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, &buffer[0], cb, nullptr, &usedDefault);
    if (usedDefault) return false;
    buffer.resize(static_cast<size_t>(cb - 1));
    ansi = buffer;
    return true;
}

}  // namespace

std::string ansiPathOf(const std::wstring& path) {
    std::string ansi;
    if (toAnsiExactly(path, ansi)) return ansi;
    // The short form is plain ASCII wherever the volume keeps short names.
    wchar_t shortPath[MAX_PATH] = L"";
    DWORD cch = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    if (cch > 0 && cch < MAX_PATH && toAnsiExactly(shortPath, ansi)) return ansi;
    return {};
}

std::string programPathA() {
    const std::wstring path = programPath();
    return path.empty() ? std::string() : ansiPathOf(path);
}

std::string programFolderA() {
    std::string path = programPathA();
    size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

void restrictDllSearch() {
    // Windows 8, and 7 and Vista with their update, know the restricted search; XP SP1 and
    // later at least drop the current folder. Both looked up, as NT 4 and 2000 have neither.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    static const auto setDefault =
        systemFunction<SetDefaultDllDirectoriesFn>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    static const auto setDirectory = systemFunction<decltype(&SetDllDirectoryA)>(L"kernel32.dll", "SetDllDirectoryA");
    if (setDirectory) setDirectory("");
}


std::string currentWindowsRootA() {
    char buffer[MAX_PATH] = "";
    UINT cch = GetWindowsDirectoryA(buffer, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return {};
    return trimmed(buffer, kRootStrip);
}

void initSession(RestoreSession& session, const std::string& programFolder) {
    // A program folder that has no ANSI name (programFolderA) is no folder to read: a
    // SURVIN.INI found through an empty path would be one of the current drive's root.
    session.backupFolder = programFolder;
    if (!session.backupFolder.empty() && session.backupFolder.back() != '\\') session.backupFolder += '\\';
    session.infoFilePath =
        session.backupFolder.empty() ? std::string() : session.backupFolder + ini::kFileName<char>.text;
    session.callback = nullptr;
    session.failed = 0;
    session.failureCode = 0;
    session.backupExisting = 1;
    session.autoDetect = 1;
    session.osDiffers = 0;
    session.restoreMode = WindowsApi;
    session.detectedMode = WindowsApi;
    session.availableCategories = 0;
    session.selectedCategories = 0;
    session.currentWindowsRoot = currentWindowsRootA();
    session.infoLoaded = LoadRestoreInfo(session) ? 1 : 0;
    DetectRestoreTarget(session);
}

bool LoadRestoreInfo(RestoreSession& session) {
    const std::string& file = session.infoFilePath;
    if (file.empty() || !PathFileExistsA(file.c_str())) return false;

    std::string dateTime = readInfo(file, ini::kKeyDateTime<char>);
    if (dateTime.empty()) return false;
    session.backupDateTime = dateTime;

    std::string winVer = readInfo(file, ini::kKeyWinVer<char>);
    if (winVer.empty()) return false;
    int versionCode = levelNumber(windowsLevelOfWinVer(winVer.c_str()));
    if (versionCode == 0) return false;
    session.backupVersionCode = versionCode;
    winVerNumbers(winVer.c_str(), &session.backupWinVerMajor, &session.backupWinVerMinor);

    std::string osString = readInfo(file, ini::kKeyOsString<char>);
    if (osString.empty()) return false;
    session.backupOsString = trimmedWhite(osString);

    // OSINFO must be intact (the structure read checks length and checksum) and must be
    // the record OSString was made from.
    session.backupOsInfo = OsInfoRecord{};
    if (!GetPrivateProfileStructA(ini::kSectionInfo<char>, ini::kKeyOsInfo<char>, &session.backupOsInfo,
                                  sizeof(OsInfoRecord), file.c_str()))
        return false;
    if (!osStringOfRecord(session.backupOsInfo, session.backupOsString)) return false;

    std::string sysRoot = readInfo(file, ini::kKeySysRoot<char>);
    if (sysRoot.empty()) return false;
    // A root that is nothing but quotes, blanks and backslashes names no installation.
    std::string root = trimmed(sysRoot, kRootStrip);
    if (root.empty()) return false;
    session.backupSysRoot = root;
    session.targetWindowsRoot = root;

    auto readKey = [&file](const char* section, const char* key, char* out, int cch) {
        return static_cast<int>(GetPrivateProfileStringA(section, key, "", out, static_cast<DWORD>(cch), file.c_str()));
    };
    session.availableCategories |= ini::categoriesOf<char>(readKey);
    if (session.availableCategories == 0) return false;
    session.selectedCategories = session.availableCategories;
    return true;
}

void detectRestoreTargetFrom(RestoreSession& session, const std::string& programFile) {
    if (!session.infoLoaded || !session.autoDetect) return;

    std::string runningText;
    OsInfoRecord running = {};
    identifyWindowsA(runningText, running, IdentifyMode::Query);

    const OsInfoRecord& backup = session.backupOsInfo;
    bool recordSame = backup.platformId == running.platformId && backup.suiteMask == running.suiteMask &&
                      backup.productType == running.productType &&
                      backup.productNumber == running.productNumber &&
                      backup.architecture == running.architecture;
    // Up to Windows 7 the version code tells the versions apart. From Windows 8 on (on
    // either side: Windows 7 upgraded in place to 10 has the code of 7) it is the same
    // Windows only with the same version and build: a feature update is another Windows.
    bool sameVersion;
    if (laterThanSeven(session.backupWinVerMajor, session.backupWinVerMinor) ||
        laterThanSeven(running.majorVersion, running.minorVersion)) {
        sameVersion = session.backupWinVerMajor == static_cast<int64_t>(running.majorVersion) &&
                      session.backupWinVerMinor == static_cast<int64_t>(running.minorVersion) &&
                      backup.majorVersion == running.majorVersion && backup.minorVersion == running.minorVersion &&
                      backup.buildNumber == running.buildNumber;
    } else {
        sameVersion = session.backupVersionCode == levelNumber(runningWindowsLevel());
    }
    // In Windows PE the record and the root can still match (a recovery system of the same
    // build, started from a disk that is C: again): it is not that Windows all the same.
    const bool windowsPe = runningInWindowsPe();
    bool sameWindows = !windowsPe && recordSame && sameVersion &&
                       lstrcmpiA(session.backupSysRoot.c_str(), session.currentWindowsRoot.c_str()) == 0;

    if (sameWindows) {
        session.restoreMode = WindowsApi;
        session.targetWindowsRoot = session.currentWindowsRoot;
    } else {
        session.restoreMode = CopyFiles;
        // A backup folder inside the Windows folder of an installation now seen under
        // another drive letter: that drive letter names the target.
        if (session.backupSysRoot.size() >= 2 && !programFile.empty()) {
            std::string tail = session.backupSysRoot.substr(1);
            std::string pattern = "?" + tail + "\\*";
            if (PathMatchSpecA(programFile.c_str(), pattern.c_str())) {
                std::string candidate = programFile.substr(0, 1) + tail;
                if (isDirectory(candidate)) session.targetWindowsRoot = candidate;
            }
        }
    }
    session.detectedMode = session.restoreMode;
    // The running system differs from the backup's: the options then offer automatic
    // detection only, so hive replacement cannot be chosen by hand either.
    if (!recordSame || windowsPe) session.osDiffers = 1;
}

void DetectRestoreTarget(RestoreSession& session) { detectRestoreTargetFrom(session, programPathA()); }
