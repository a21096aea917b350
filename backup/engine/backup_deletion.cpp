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

bool isListed(const std::vector<FolderEntry>& entries, const std::wstring& name, bool directory) {
    for (const FolderEntry& entry : entries) {
        if (lstrcmpiW(entry.name.c_str(), name.c_str()) != 0) continue;
        const bool isDirectory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return isDirectory == directory && !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }
    return false;
}

std::wstring trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// The keys of one section of SURVIN.INI, read once from the very file whose owner was
// checked, answering as the profile-string read of each key would: the first section and
// the first key of a name count, the value without blanks around it and without one pair
// of quotes that encloses it. The file is UTF-16 after its byte-order mark (as the backup
// writes it), UTF-8 after its mark, else in the ANSI code page.
class SectionKeys {
public:
    SectionKeys(HANDLE file, const wchar_t* section) {
        std::string bytes;
        char chunk[16384];
        DWORD got = 0;
        while (bytes.size() < kMaxBytes && ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
            bytes.append(chunk, got);
        std::wstring text;
        if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
            static_cast<unsigned char>(bytes[1]) == 0xFE) {
            text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        } else {
            UINT codePage = CP_ACP;
            size_t start = 0;
            if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) codePage = CP_UTF8, start = 3;
            const int cch = MultiByteToWideChar(codePage, 0, bytes.data() + start, static_cast<int>(bytes.size() - start),
                                                nullptr, 0);
            if (cch > 0) {
                text.resize(cch);
                MultiByteToWideChar(codePage, 0, bytes.data() + start, static_cast<int>(bytes.size() - start), &text[0],
                                    cch);
            }
        }
        bool inSection = false, seen = false;
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find_first_of(L"\r\n", at);
            if (end == std::wstring::npos) end = text.size();
            const std::wstring line = trimmed(text.substr(at, end - at));
            at = end + 1;
            if (!line.empty() && line[0] == L'[') {
                const size_t close = line.find(L']');
                const std::wstring name = trimmed(line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
                inSection = !seen && lstrcmpiW(name.c_str(), section) == 0;
                seen = seen || inSection;
                continue;
            }
            const size_t equals = line.find(L'=');
            if (!inSection || equals == std::wstring::npos) continue;
            std::wstring value = trimmed(line.substr(equals + 1));
            if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
                value = value.substr(1, value.size() - 2);
            keys_.emplace_back(trimmed(line.substr(0, equals)), value);
        }
    }

    int operator()(const wchar_t*, const wchar_t* key, wchar_t* out, int cch) const {
        out[0] = 0;
        for (const auto& pair : keys_) {
            if (lstrcmpiW(pair.first.c_str(), key) != 0) continue;
            lstrcpynW(out, pair.second.c_str(), cch);
            return lstrlenW(out);
        }
        return 0;
    }

private:
    // A backup's list is a few hundred bytes; a larger file is read only this far.
    static constexpr size_t kMaxBytes = 1 << 20;
    std::vector<std::pair<std::wstring, std::wstring>> keys_;
};

// The user folders of a backup, each opened relative to the one above it without
// following a link, and checked to be where its name says seen from the backup's real
// path (where the file system shows no link as one), once per backup. A level that is
// not such a plain folder, or holds a SURVIN.INI of its own (a backup below this one), is
// never entered.
class UserFolders {
public:
    UserFolders(HANDLE backup, const std::wstring& backupFinal, const std::wstring& root)
        : backup_(backup), usersFinal_(backupFinal + L"\\Users"), root_(root) {}

    // The held Users folder, or nullptr.
    HANDLE users() {
        if (!usersOpened_) {
            usersOpened_ = true;
            users_ = openRelative(backup_, L"Users", true, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
            if (users_ && !isEnterable(users_.get(), usersFinal_)) users_.reset();
        }
        return users_.get();
    }

    // The held Users\<number> folder, or nullptr.
    HANDLE user(const std::wstring& number) {
        for (const auto& known : userHandles_)
            if (known.first == number) return known.second.get();
        HANDLE parent = this->users();
        FileHandle user;
        if (parent) user = openRelative(parent, number, true, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
        if (user && !isEnterable(user.get(), usersFinal_ + L'\\' + number)) user.reset();
        userHandles_.emplace_back(number, std::move(user));
        return userHandles_.back().second.get();
    }

    // Removes the empty user folders, then Users when it is left empty.
    void removeEmpty() {
        HANDLE parent = this->users();
        if (!parent) return;
        for (const FolderEntry& entry : entriesOf(parent)) {
            if (!isDigits(entry.name) || (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
            HANDLE user = this->user(entry.name);
            if (user) deleteThrough(user);  // fails while the folder holds anything
        }
        userHandles_.clear();
        deleteThrough(parent);
        users_.reset();
    }

private:
    bool isEnterable(HANDLE folder, const std::wstring& expected) const {
        return isPlainFolder(folder) && samePath(finalPathOf(folder, root_), expected) && !holdsRestoreInfo(folder);
    }

    HANDLE backup_;
    std::wstring usersFinal_;
    std::wstring root_;
    bool usersOpened_ = false;
    FileHandle users_;
    std::vector<std::pair<std::wstring, FileHandle>> userHandles_;
};

// Deletes one listed file of the folder: a plain file (not a link) right in the held
// folder or in one of its held user folders, opened relative to it, so that no link on
// the way can lead elsewhere.
void deleteEntry(HANDLE folder, UserFolders& userFolders, const std::vector<FolderEntry>& listing,
                 const std::wstring& entry) {
    std::wstring userFolder, name;
    if (!isBackupFileEntry(entry, userFolder, name)) return;
    HANDLE parent = folder;
    if (!userFolder.empty()) {
        parent = userFolders.user(userFolder.substr(userFolder.find(L'\\') + 1));
        if (!parent) return;
    } else if (!isListed(listing, name, false) && name.find(L'~') == std::wstring::npos) {
        return;  // not there (a short alias is not listed: it is opened)
    }
    FileHandle file = openRelative(parent, name, false, DELETE | FILE_READ_ATTRIBUTES);
    if (file && isPlainFile(file.get())) deleteThrough(file.get());
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

}  // namespace

bool deleteBackup(const std::wstring& folder, const std::wstring& place, const std::vector<BYTE>& shareOwner) {
    BackupDeletion deletion(shareOwner);
    return deletion.remove(folder, place);
}

const std::wstring* BackupDeletion::placeFinal(const std::wstring& place, const std::wstring& root, bool network) {
    for (const Place& known : places_)
        if (samePath(known.path, place)) return known.final.empty() ? nullptr : &known.final;
    // The place is taken where it leads (the backup program registered it); each folder
    // must be exactly where the found path goes from there, with no link on the way.
    FileHandle handle(CreateFileW(withoutBackslash(place).c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // A place or a backup that another user made is not the program's to delete (a drive
    // root is nobody's to make). On a share the place is the run's own backup root, which
    // a computer's first backup there made and an administrator may have made for it.
    std::wstring final;
    if (handle && (network || isRootPath(place) || isOwnedByAdmins(handle.get()))) final = finalPathOf(handle.get(), root);
    places_.push_back(Place{place, final});
    return final.empty() ? nullptr : &places_.back().final;
}

bool BackupDeletion::remove(const std::wstring& folderPath, const std::wstring& placePath) {
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
    if (network && shareOwner_.empty()) return false;
    const auto isOurs = [&](HANDLE handle) {
        return network ? isOwnedBy(handle, shareOwner_) : isOwnedByAdmins(handle);
    };
    const std::wstring* placeReal = placeFinal(place, root, network);
    if (!placeReal) return false;
    const std::wstring folderFinal = withoutBackslash(withBackslash(*placeReal) + folder.substr(place.size()));

    // The folder is held from its check to its end: everything below is opened relative
    // to it, and a folder swapped for a link after the search is not where its real path
    // must be.
    FileHandle held(CreateFileW(withoutBackslash(folder).c_str(),
                                FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | DELETE | READ_CONTROL |
                                    SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!held || !isPlainFolder(held.get()) || !samePath(finalPathOf(held.get(), root), folderFinal)) return false;
    if (!isOurs(held.get())) return false;
    const std::vector<FolderEntry> listing = entriesOf(held.get());
    const wchar_t* const infoName = survinini::kFileName<wchar_t>.text;
    const bool hadBackup = isListed(listing, infoName, false);
    UserFolders userFolders(held.get(), folderFinal, root);
    if (hadBackup) {
        // A list that another user wrote steers nothing.
        FileHandle info = openRelative(held.get(), infoName, false, FILE_READ_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL);
        if (info && !isOurs(info.get())) return false;
        // The list is read once, from the file just checked; SURVIN.INI, the last file a
        // backup lists, ends it as its deletion ends the list. Whatever the list says, only
        // files inside the held folder can go.
        const SectionKeys files(info.get(), survinini::kSectionFiles<wchar_t>.text);
        info.reset();
        survinini::FilesWalk<wchar_t, const SectionKeys> walk(files);
        while (const wchar_t* entry = walk.next()) {
            deleteEntry(held.get(), userFolders, listing, entry);
            if (lstrcmpiW(trimmed(entry).c_str(), infoName) == 0) break;
        }
    }
    // The help file is not listed, yet the kit put it there: it goes with a backup, never
    // from a folder that holds none, nor from the program's own folder (its only copy).
    if (hadBackup && isListed(listing, L"Tolmen.chm", false) && !samePath(folder, programFolder()))
        deleteEntry(held.get(), userFolders, listing, L"Tolmen.chm");
    if (isListed(listing, L"Users", true)) userFolders.removeEmpty();
    // What a hive check interrupted in this backup left behind (never on a share).
    const size_t prefix = wcslen(kHiveCheckKeyPrefix);
    for (const FolderEntry& entry : listing) {
        if (network || !(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (_wcsnicmp(entry.name.c_str(), kHiveCheckKeyPrefix, prefix) != 0) continue;
        removeLeftoverScratch(folder);
        break;
    }

    // The folder itself through the handle that has held it since its check; its parents
    // that are left empty go at the end (finish).
    const bool folderGoes = !isRootPath(folder) && deleteThrough(held.get());
    held.reset();
    if (folderGoes) {
        const std::wstring parent = parentOf(folder);
        if (!parent.empty() && !isRootPath(parent)) {
            bool known = false;
            for (const Parent& other : parents_) known = known || samePath(other.path, parent);
            if (!known) parents_.push_back(Parent{parent, withoutBackslash(parentOf(folderFinal))});
        }
    }
    return true;
}

void BackupDeletion::finish() {
    // Each parent left empty, deepest first, then its own parent, up to the drive root or
    // the share. A link is not ours to remove, nor is what lies above it. Each parent must
    // really be where the held folder's real path said, one level up.
    while (!parents_.empty()) {
        auto deepest = std::max_element(parents_.begin(), parents_.end(), [](const Parent& a, const Parent& b) {
            return a.path.size() < b.path.size();
        });
        const Parent parent = *deepest;
        parents_.erase(deepest);
        if (parent.final.empty() || !removeEmptyFolder(parent.path, parent.final, rootOfPath(parent.path))) continue;
        const std::wstring above = parentOf(parent.path);
        if (above.empty() || isRootPath(above)) continue;
        bool known = false;
        for (const Parent& other : parents_) known = known || samePath(other.path, above);
        if (!known) parents_.push_back(Parent{above, withoutBackslash(parentOf(parent.final))});
    }
}
