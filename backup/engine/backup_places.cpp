#include "backup_places.h"

#include <shlwapi.h>

#include <algorithm>

#include "folder_naming.h"
#include "handles.h"
#include "job.h"
#include "settings.h"

namespace {

constexpr int kMaxFilesKeys = 1000;
constexpr DWORD kCchProfilePath = 520;
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

std::wstring withBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path;
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

std::wstring upperCase(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
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

// A Files entry names a file inside the backup folder only when it is relative and
// never climbs out; anything else (a crafted SURVIN.INI) is left alone.
bool isInsideEntry(const std::wstring& folder, const std::wstring& entry) {
    if (entry.empty() || entry[0] == L'\\' || entry[0] == L'/') return false;
    if (entry.find(L':') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= entry.size()) {
        size_t end = entry.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = entry.size();
        std::wstring part = trimmed(entry.substr(start, end - start), isBlank);
        if (part.size() >= 2 && part.find_first_not_of(L'.') == std::wstring::npos) return false;
        // A link planted as a subfolder would lead the deletion elsewhere.
        if (end < entry.size()) {
            DWORD attributes = GetFileAttributesW((folder + entry.substr(0, end)).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
        }
        start = end + 1;
    }
    wchar_t full[kCchProfilePath * 2];
    DWORD cch = GetFullPathNameW((folder + entry).c_str(), ARRAYSIZE(full), full, nullptr);
    if (cch == 0 || cch >= ARRAYSIZE(full)) return false;
    return cch > folder.size() && upperCase(std::wstring(full, folder.size())) == upperCase(folder);
}

std::wstring parentOf(const std::wstring& folder) {
    std::wstring path = folder;
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

std::vector<FoundBackup> searchBackups() {
    std::vector<FoundBackup> found;
    for (const std::wstring& value : readBackupDirs()) {
        std::wstring place;
        if (!storedPlace(value, place)) break;
        walk(place, 0, found);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const FoundBackup& a, const FoundBackup& b) { return a.time < b.time; });
    // The same backup reached through two places counts once.
    found.erase(std::unique(found.begin(), found.end(),
                            [](const FoundBackup& a, const FoundBackup& b) { return a.time == b.time; }),
                found.end());
    return found;
}

void deleteBackup(const std::wstring& folderPath) {
    wchar_t qualified[kCchProfilePath];
    DWORD cchFolder = GetFullPathNameW(folderPath.c_str(), kCchProfilePath, qualified, nullptr);
    if (folderPath.empty() || cchFolder == 0 || cchFolder >= kCchProfilePath) return;
    const std::wstring folder = withBackslash(std::wstring(qualified, cchFolder));
    const std::wstring ini = folder + L"SURVIN.INI";

    // Each entry is read just before its deletion: SURVIN.INI comes last and ends the list.
    for (int k = 0; k < kMaxFilesKeys; ++k) {
        wchar_t value[kCchProfilePath];
        DWORD cch = GetPrivateProfileStringW(L"Files", std::to_wstring(k).c_str(), L"", value, kCchProfilePath,
                                             ini.c_str());
        std::wstring entry(value, cch);
        std::wstring unblanked = entry;
        unblanked.erase(std::remove(unblanked.begin(), unblanked.end(), L' '), unblanked.end());
        if (unblanked.size() < 2) break;
        if (isInsideEntry(folder, entry)) DeleteFileW((folder + entry).c_str());
    }
    // The help file is not listed, yet the kit put it there.
    DeleteFileW((folder + L"Tolmen.chm").c_str());

    for (int n = 1; n <= 99; ++n) {
        std::wstring users = folder + L"Users\\" + std::to_wstring(n);
        if (!isFolder(users)) break;
        RemoveDirectoryW(users.c_str());  // fails while the folder holds anything
    }
    RemoveDirectoryW((folder + L"Users").c_str());

    for (std::wstring current = folder; !current.empty() && !PathIsRootW(current.c_str());
         current = parentOf(current)) {
        DWORD attributes = GetFileAttributesW(current.c_str());
        // A link is not ours to remove, nor is what lies above it.
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) break;
        if (!RemoveDirectoryW(current.c_str())) break;
    }
}

void registerPlace(BackupJob& job) {
    std::vector<std::wstring> places;
    std::wstring root;
    if (backupRootOf(job, root) && onFixedDisk(root)) places.push_back(root);

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

void pruneBackups(BackupJob& job) {
    const int mode = job.retentionMode;
    if (mode == 0) return;
    postProgress(job, JOB_LOGLINE, L"搜索以前备份 ...");
    std::vector<FoundBackup> found = searchBackups();
    postProgress(job, JOB_LOGLINE, L"删除以前备份（如果有） ...");

    // The limits are unsigned in the settings file; a huge count keeps everything.
    const ULONGLONG keep = static_cast<UINT>(job.retentionCount);
    const ULONGLONG total = found.size();
    if (mode == 2) {
        for (ULONGLONG i = total > keep ? total - keep : 0; i-- > 0;) deleteBackup(found[i].folder);
    } else if (mode == 1) {
        // The newest LimitBackupCount backups stay whatever their age.
        FILETIME nowTime;
        GetSystemTimeAsFileTime(&nowTime);
        const ULONGLONG now = fileTime(nowTime);
        const ULONGLONG days = static_cast<UINT>(job.retentionDays);
        for (ULONGLONG i = 0; i + keep < total; ++i) {
            if (found[i].time > now) continue;  // dated in the future: its age is unknown
            if ((now - found[i].time) / kFileTimePerDay > days) deleteBackup(found[i].folder);
        }
    }
}
