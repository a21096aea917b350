#include "backup_places.h"

#include <shlwapi.h>

#include <algorithm>

#include "admin_only.h"
#include "folder_naming.h"
#include "handles.h"
#include "platform.h"
#include "settings.h"

namespace {

// Deeper than any real backup tree; ends a walk caught in a folder loop.
constexpr int kMaxWalkDepth = 32;
constexpr ULONGLONG kFileTimePerDay = 864000000000ULL;

bool isBlank(wchar_t c) { return c == L' '; }
bool isWhite(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring trimmed(const std::wstring& text, bool (*drop)(wchar_t)) {
    size_t first = 0, last = text.size();
    while (first < last && drop(text[first])) ++first;
    while (last > first && drop(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// A stored place as the list rules read it; false ends the list.
bool storedPlace(const std::wstring& value, std::wstring& place) {
    std::wstring text = trimmed(value, isBlank);
    if (text.size() < 2) return false;
    text = trimmed(withBackslash(text), isWhite);
    if (text.empty()) return false;
    place = text;
    return true;
}

// Shell wildcard match without regard to case: "*" any run, "?" one character. Unlike
// PathMatchSpec, a ";" in a folder name is an ordinary character.
bool wildcardMatch(const std::wstring& text, const std::wstring& pattern) {
    const std::wstring t = upperCase(text), p = upperCase(pattern);
    size_t ti = 0, pi = 0, starP = std::wstring::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && (p[pi] == L'?' || p[pi] == t[ti])) {
            ++ti;
            ++pi;
        } else if (pi < p.size() && p[pi] == L'*') {
            starP = pi++;
            starT = ti;
        } else if (starP != std::wstring::npos) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == L'*') ++pi;
    return pi == p.size();
}

bool onFixedDisk(const std::wstring& path) {
    // Some systems report a share's drive type as the type of the disk that holds it.
    if (isNetworkPath(path)) return false;
    wchar_t root[MAX_PATH + 1] = {};
    if (path.size() >= MAX_PATH) return false;
    lstrcpynW(root, path.c_str(), MAX_PATH);
    if (!PathStripToRootW(root) || !PathAddBackslashW(root)) return false;
    return GetDriveTypeW(root) == DRIVE_FIXED;
}

bool isFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

ULONGLONG fileTime(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// File names compared as the file system does for these ASCII names: a-z match A-Z.
// Called for every entry of every folder the search lists; the locale-aware string
// functions cost several times the listing itself there.
bool isNameNoCase(const wchar_t* name, const wchar_t* upperName) {
    for (; *name && *upperName; ++name, ++upperName) {
        const wchar_t c = (*name >= L'a' && *name <= L'z') ? static_cast<wchar_t>(*name - (L'a' - L'A')) : *name;
        if (c != *upperName) return false;
    }
    return *name == *upperName;
}

bool isDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

HANDLE findFirst(const std::wstring& pattern, WIN32_FIND_DATAW* data) {
    // The basic level skips short names and is quicker; systems before Windows 7 refuse it.
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        find = FindFirstFileW(pattern.c_str(), data);
    return find;
}

// One folder listing serves both the backup test and the list of subfolders.
void walk(const std::wstring& folder, int depth, std::vector<FoundBackup>& found) {
    WIN32_FIND_DATAW data;
    FindHandle find(findFirst(folder + L"*", &data));
    if (!find) return;

    bool hasExe = false, hasIni = false;
    ULONGLONG iniTime = 0;
    std::vector<std::wstring> subfolders;
    do {
        const wchar_t* name = data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (isDotOrDotDot(name)) continue;
            // Junctions and links may lead back up the tree or to another disk.
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            subfolders.push_back(name);
        } else if (isNameNoCase(name, L"SURVIN.INI")) {
            hasIni = true;
            iniTime = fileTime(data.ftCreationTime);
        } else if (isNameNoCase(name, L"SURVIN.EXE")) {
            hasExe = true;
        }
    } while (FindNextFileW(find.get(), &data));
    find.reset();

    if (hasIni && hasExe) found.push_back({folder, iniTime});
    if (depth >= kMaxWalkDepth) return;
    for (const std::wstring& name : subfolders) walk(folder + name + L'\\', depth + 1, found);
}

// An open folder's identity (volume and file index), which no other spelling of its
// path, through a short name or a link, changes.
struct FolderIdentity {
    FileHandle handle;
    ULONGLONG index = 0;
};

bool openIdentity(const std::wstring& folder, FolderIdentity& identity) {
    identity.handle.reset(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return identity.handle && fileIndexOf(identity.handle.get(), &identity.index);
}

// Removes the found backups that are the given folder; true when there was one. The file
// index is compared first; the volume, which is dearer to ask for, only when it matches.
bool takeOut(std::vector<FoundBackup>& found, const std::wstring& folder) {
    FolderIdentity own;
    if (folder.empty() || !openIdentity(folder, own)) return false;
    const auto isOwn = [&](const FoundBackup& backup) {
        FolderIdentity other;
        return openIdentity(backup.folder, other) && other.index == own.index &&
               sameFile(other.handle.get(), own.handle.get());
    };
    const auto end = std::remove_if(found.begin(), found.end(), isOwn);
    const bool any = end != found.end();
    found.erase(end, found.end());
    return any;
}

// Every backup below the places, oldest first, equal times counted once.
std::vector<FoundBackup> searchPlaces(const std::vector<std::wstring>& places) {
    std::vector<FoundBackup> found;
    for (const std::wstring& place : places) {
        // The search never goes through a link, the place itself included: a place that a
        // user swapped for a link to a folder of their own would lead it there.
        const std::wstring bare = place.size() > 3 ? place.substr(0, place.size() - 1) : place;
        const DWORD attributes = GetFileAttributesW(bare.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        const size_t before = found.size();
        walk(place, 0, found);
        for (size_t i = before; i < found.size(); ++i) found[i].place = place;
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const FoundBackup& a, const FoundBackup& b) { return a.time < b.time; });
    // The same backup reached through two places counts once.
    found.erase(std::unique(found.begin(), found.end(),
                            [](const FoundBackup& a, const FoundBackup& b) { return a.time == b.time; }),
                found.end());
    return found;
}

// The stored places, as the list rules read them.
std::vector<std::wstring> storedPlaces() {
    std::vector<std::wstring> places;
    for (const std::wstring& value : readBackupDirs()) {
        std::wstring place;
        if (!storedPlace(value, place)) break;
        places.push_back(place);
    }
    return places;
}

}  // namespace

std::vector<FoundBackup> searchBackups() { return searchPlaces(storedPlaces()); }

bool isBackup(const std::wstring& folder) {
    for (const wchar_t* name : {L"SURVIN.INI", L"SURVIN.EXE"}) {
        DWORD attributes = GetFileAttributesW((folder + name).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    }
    return true;
}

void registerPlace(BackupRun& backup) {
    std::vector<std::wstring> places;
    std::wstring root;
    if (backupRootOf(backup, root) && onFixedDisk(root)) places.push_back(root);

    for (const std::wstring& value : readBackupDirs()) {
        std::wstring stored;
        if (!storedPlace(value, stored)) break;
        bool covered = std::any_of(places.begin(), places.end(),
                                   [&](const std::wstring& place) { return wildcardMatch(stored, place + L"*"); });
        if (covered) continue;
        // A stored place that is gone must not take the places inside it with it.
        if (!isFolder(stored) || !onFixedDisk(stored)) continue;
        places.erase(std::remove_if(places.begin(), places.end(),
                                    [&](const std::wstring& place) { return wildcardMatch(place, stored + L"*"); }),
                     places.end());
        places.push_back(stored);
    }

    if (!settingsReadOnly()) writeBackupDirs(places);
}

void pruneBackups(const BackupRun& backup, JobReport& report) {
    const UINT mode = backup.retention.mode;
    if (mode == Retention::kKeepAll) return;
    // File permissions apply to everything the pruning opens.
    BackupPrivileges privilegesOff(false);
    reportLine(report, kStepSearchBackups, L"搜索以前备份 ...");
    // A network place is never stored. A limit named on the command line also reaches
    // the backups of the run's own backup root on a share, searched the same way; there
    // only what the server says this run's account owns can go.
    std::vector<std::wstring> places = storedPlaces();
    std::wstring shareRoot;
    if (backup.limitOnCommandLine && backup.onNetwork && !backup.shareOwner.empty()) {
        FolderNaming naming = backup;
        // The share itself is no root: it would reach the backups of every machine there.
        if (backupRootOf(backup.backupFolder, naming, shareRoot) && isNetworkPath(shareRoot) && !isRootPath(shareRoot))
            places.push_back(shareRoot);
        else
            shareRoot.clear();
    }
    std::vector<FoundBackup> found = searchPlaces(places);
    // There only this run's account's backups count: another computer's (or one planted
    // with a later time) can neither go nor push this machine's own out of the count.
    if (!shareRoot.empty()) {
        const auto othersOnShare = [&](const FoundBackup& other) {
            if (other.place != shareRoot) return false;
            FileHandle folder(CreateFileW(other.folder.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
            return !folder || !isOwnedBy(folder.get(), backup.shareOwner);
        };
        found.erase(std::remove_if(found.begin(), found.end(), othersOnShare), found.end());
    }
    reportLine(report, kStepDeleteBackups, L"删除以前备份（如果有） ...");

    // The backup this run has just written counts as the newest, whatever times the others
    // carry (a clock set back, a backup copied or planted with a later time), and is never
    // deleted: it is taken out of the list, and one place of the count is kept for it.
    const bool ownFound = takeOut(found, backup.backupFolder);
    const ULONGLONG keep = backup.retention.count;
    const ULONGLONG keepOthers = ownFound && keep > 0 ? keep - 1 : keep;
    const ULONGLONG total = found.size();
    BackupDeletion deletion(backup.shareOwner);
    if (mode == Retention::kByCount) {
        for (ULONGLONG i = total > keepOthers ? total - keepOthers : 0; i-- > 0;)
            deletion.remove(found[i].folder, found[i].place);
    } else if (mode == Retention::kByAge) {
        // The newest LimitBackupCount backups stay whatever their age.
        FILETIME nowTime;
        GetSystemTimeAsFileTime(&nowTime);
        const ULONGLONG now = fileTime(nowTime);
        const ULONGLONG days = backup.retention.days;
        for (ULONGLONG i = 0; i + keepOthers < total; ++i) {
            if (found[i].time > now) continue;  // dated in the future: its age is unknown
            if ((now - found[i].time) / kFileTimePerDay > days)
                deletion.remove(found[i].folder, found[i].place);
        }
    }
}
