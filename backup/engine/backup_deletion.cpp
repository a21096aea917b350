#include "backup_deletion.h"

#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "admin_only.h"
#include "handles.h"
#include "hive_check.h"
#include "platform.h"
#include "survin_ini.h"

namespace {

constexpr DWORD kCchPath = 520;

std::wstring upperCase(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring withoutBackslash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring withBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path;
}

std::wstring parentOf(const std::wstring& folder) {
    std::wstring path = withoutBackslash(folder);
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The full path in its long form, as the final path of a handle names it. Only a path
// with a "~" can hold a short name that differs from its long one; asking for the long
// form of every path costs a listing per folder on the way. A short name without one
// (set by hand) is left as it stands, and the checks against the final path then refuse
// the folder rather than delete anything else.
bool qualified(const std::wstring& path, std::wstring& out) {
    wchar_t full[kCchPath], longForm[kCchPath];
    DWORD cch = GetFullPathNameW(path.c_str(), kCchPath, full, nullptr);
    if (path.empty() || cch == 0 || cch >= kCchPath) return false;
    DWORD cchLong = wcschr(full, L'~') ? longPathName(full, longForm, kCchPath) : 0;
    if (cchLong != 0 && cchLong < kCchPath)
        out = withBackslash(std::wstring(longForm, cchLong));
    else
        out = withBackslash(std::wstring(full, cch));
    return true;
}

bool isDigits(const std::wstring& text) {
    return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

// A Files entry names a file of this backup only in the two forms a backup writes: a plain
// name in the folder, or Users\<n>\<name> for a user hive, and only when it stays inside
// the folder by the rule every reader of SURVIN.INI applies. Anything else (a crafted
// SURVIN.INI naming a path into a backup below it, or out of the folder) is left alone.
bool isBackupFileEntry(const std::wstring& entry, std::wstring& userFolder, std::wstring& name) {
    if (!survinini::isInsideBackupFolder(entry.c_str())) return false;
    const size_t first = entry.find(L'\\');
    if (first == std::wstring::npos) {
        userFolder.clear();
        name = entry;
        return true;
    }
    const size_t second = entry.find(L'\\', first + 1);
    if (second == std::wstring::npos || entry.find(L'\\', second + 1) != std::wstring::npos) return false;
    if (lstrcmpiW(entry.substr(0, first).c_str(), L"Users") != 0) return false;
    if (!isDigits(entry.substr(first + 1, second - first - 1))) return false;
    userFolder = entry.substr(0, second);
    name = entry.substr(second + 1);
    return true;
}

// True when an open folder holds a SURVIN.INI: it is (or may pass for) a backup of its own.
bool holdsRestoreInfo(HANDLE folder) {
    return static_cast<bool>(openRelative(folder, survinini::kFileName<wchar_t>.text, false, FILE_READ_ATTRIBUTES));
}

// Deletes one listed file of the folder: it must be a plain file (not a link) at exactly
// the place its name gives, seen from the folder's real path, and never inside a user
// folder that holds a backup of its own.
void deleteEntry(HANDLE folder, const std::wstring& folderFinal, const std::wstring& root,
                 const std::wstring& entry) {
    std::wstring userFolder, name;
    if (!isBackupFileEntry(entry, userFolder, name)) return;
    if (!userFolder.empty()) {
        for (const std::wstring& level : {std::wstring(L"Users"), userFolder}) {
            FileHandle inner = openRelative(folder, level, true, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
            if (!inner || !isPlainFolder(inner.get()) || holdsRestoreInfo(inner.get())) return;
        }
    }
    const std::wstring relative = userFolder.empty() ? name : userFolder + L'\\' + name;
    FileHandle file = openRelative(folder, relative, false, DELETE | FILE_READ_ATTRIBUTES);
    if (!file || !isPlainFile(file.get())) return;
    if (!samePath(finalPathOf(file.get(), root), folderFinal + L'\\' + relative)) return;
    deleteThrough(file.get());
}

// Removes an empty folder of the backup through a handle, when it is a plain folder whose
// real path is `expected`. False when it stays (not empty, a link, somewhere else).
bool removeEmptyFolder(const std::wstring& path, const std::wstring& expected, const std::wstring& root) {
    FileHandle folder(CreateFileW(withoutBackslash(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder || !isPlainFolder(folder.get())) return false;
    if (!samePath(finalPathOf(folder.get(), root), expected)) return false;
    return deleteThrough(folder.get());
}

void removeEmptyUserFolder(HANDLE folder, const std::wstring& folderFinal, const std::wstring& root,
                           const std::wstring& name) {
    FileHandle users = openRelative(folder, name, true, DELETE | FILE_READ_ATTRIBUTES);
    if (users && isPlainFolder(users.get()) && samePath(finalPathOf(users.get(), root), folderFinal + L'\\' + name))
        deleteThrough(users.get());  // fails while the folder holds anything
}

}  // namespace

bool deleteBackup(const std::wstring& folderPath, const std::wstring& placePath,
                  const std::vector<BYTE>& shareOwner) {
    BackupPrivileges privilegesOff(false);
    std::wstring folder, place;
    if (!qualified(folderPath, folder)) return false;
    if (placePath.empty())
        place = parentOf(folder);
    else if (!qualified(placePath, place))
        return false;
    if (place.empty() || folder.size() < place.size() || upperCase(folder.substr(0, place.size())) != upperCase(place))
        return false;
    const std::wstring root = rootOfPath(folder);
    // Whose backups these may be: on a share only the account the server gives this run.
    const bool network = isNetworkPath(folder);
    if (network && shareOwner.empty()) return false;
    const auto isOurs = [&](HANDLE handle) { return network ? isOwnedBy(handle, shareOwner) : isOwnedByAdmins(handle); };

    // The place is taken where it leads (the backup program registered it); the folder
    // must be exactly where the found path goes from there, with no link on the way.
    FileHandle placeHandle(CreateFileW(withoutBackslash(place).c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // A place or a backup that another user made is not the program's to delete (a drive
    // root is nobody's to make). On a share the place is the run's own backup root, which
    // a computer's first backup there made and an administrator may have made for it.
    if (!placeHandle || (!network && !isRootPath(place) && !isOwnedByAdmins(placeHandle.get()))) return false;
    const std::wstring placeFinal = finalPathOf(placeHandle.get(), root);
    placeHandle.reset();
    if (placeFinal.empty()) return false;
    const std::wstring folderFinal = withoutBackslash(withBackslash(placeFinal) + folder.substr(place.size()));

    FileHandle held(CreateFileW(withoutBackslash(folder).c_str(),
                                FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | DELETE | READ_CONTROL |
                                    SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!held || !isPlainFolder(held.get()) || !samePath(finalPathOf(held.get(), root), folderFinal)) return false;
    if (!isOurs(held.get())) return false;
    {
        // A list that another user wrote steers nothing.
        FileHandle info = openRelative(held.get(), survinini::kFileName<wchar_t>.text, false, FILE_READ_ATTRIBUTES | READ_CONTROL);
        if (info && !isOurs(info.get())) return false;
    }

    // Each entry is read just before its deletion: SURVIN.INI comes last and ends the list.
    // Whatever the list says, only files inside the held folder can go.
    const std::wstring ini = folder + survinini::kFileName<wchar_t>.text;
    const DWORD iniAttributes = GetFileAttributesW(ini.c_str());
    const bool hadBackup = iniAttributes != INVALID_FILE_ATTRIBUTES && !(iniAttributes & FILE_ATTRIBUTE_DIRECTORY);
    auto readKey = [&ini](const wchar_t* section, const wchar_t* key, wchar_t* out, int cch) {
        return static_cast<int>(GetPrivateProfileStringW(section, key, L"", out, cch, ini.c_str()));
    };
    survinini::FilesWalk<wchar_t, decltype(readKey)> files(readKey);
    while (const wchar_t* entry = files.next()) deleteEntry(held.get(), folderFinal, root, entry);
    // The help file is not listed, yet the kit put it there: it goes with a backup, never
    // from a folder that holds none, nor from the program's own folder (its only copy).
    if (hadBackup && !samePath(folder, programFolder()))
        deleteEntry(held.get(), folderFinal, root, L"Tolmen.chm");

    FileHandle users = openRelative(held.get(), L"Users", true, FILE_READ_ATTRIBUTES);
    if (users && isPlainFolder(users.get())) {
        users.reset();
        for (int n = 1; n <= 99; ++n) {
            const std::wstring name = L"Users\\" + std::to_wstring(n);
            FileHandle user = openRelative(held.get(), name, true, FILE_READ_ATTRIBUTES);
            if (!user || !isPlainFolder(user.get())) break;
            user.reset();
            removeEmptyUserFolder(held.get(), folderFinal, root, name);
        }
        removeEmptyUserFolder(held.get(), folderFinal, root, L"Users");
    }
    // What a hive check interrupted in this backup left behind (never on a share).
    if (!network) removeLeftoverScratch(folder);

    // The folder itself through the handle that has held it since its check, then each
    // parent that is left empty, up to the drive root or the share. A link is not ours to
    // remove, nor is what lies above it. Each parent must really be where the held
    // folder's real path says, one level up.
    const bool folderGoes = !isRootPath(folder) && deleteThrough(held.get());
    held.reset();
    if (!folderGoes) return true;
    std::wstring currentFinal = folderFinal;
    for (std::wstring current = parentOf(folder); !current.empty() && !isRootPath(current);
         current = parentOf(current)) {
        currentFinal = withoutBackslash(parentOf(currentFinal));
        if (currentFinal.empty() || !removeEmptyFolder(current, currentFinal, root)) break;
    }
    return true;
}
