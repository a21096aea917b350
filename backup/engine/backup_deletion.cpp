#include "backup_deletion.h"

#include <winternl.h>
#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "handles.h"
#include "platform.h"

namespace {

constexpr int kMaxFilesKeys = 1000;
constexpr DWORD kCchProfilePath = 520;
constexpr DWORD kCchFinalPath = 2048;

struct DispositionInformation {
    BOOLEAN deleteFile;
};

struct BasicInformation {
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
    ULONG fileAttributes;
};

// One class of information about an open file, through the native call (present on every
// NT system). False when the call is missing or fails.
bool queryFile(HANDLE handle, void* buffer, ULONG cb, int informationClass) {
    static const auto ntQueryInformationFile =
        systemFunction<decltype(&NtQueryInformationFile)>(L"ntdll.dll", "NtQueryInformationFile");
    IO_STATUS_BLOCK io = {};
    return ntQueryInformationFile &&
           ntQueryInformationFile(handle, &io, buffer, cb, static_cast<FILE_INFORMATION_CLASS>(informationClass)) >= 0;
}

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

bool samePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && upperCase(withoutBackslash(a)) == upperCase(withoutBackslash(b));
}

std::wstring parentOf(const std::wstring& folder) {
    std::wstring path = withoutBackslash(folder);
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring rootOf(const std::wstring& path) {
    std::vector<wchar_t> root(path.begin(), path.end());
    root.push_back(L'\0');
    if (!PathStripToRootW(root.data())) return {};
    return withBackslash(root.data());
}

// The full path in its long form, as the final path of a handle names it. Only a path
// with a "~" can hold a short name that differs from its long one; asking for the long
// form of every path costs a listing per folder on the way. A short name without one
// (set by hand) is left as it stands, and the checks against the final path then refuse
// the folder rather than delete anything else.
bool qualified(const std::wstring& path, std::wstring& out) {
    wchar_t full[kCchProfilePath], longForm[kCchProfilePath];
    DWORD cch = GetFullPathNameW(path.c_str(), kCchProfilePath, full, nullptr);
    if (path.empty() || cch == 0 || cch >= kCchProfilePath) return false;
    DWORD cchLong = wcschr(full, L'~') ? longPathName(full, longForm, kCchProfilePath) : 0;
    if (cchLong != 0 && cchLong < kCchProfilePath)
        out = withBackslash(std::wstring(longForm, cchLong));
    else
        out = withBackslash(std::wstring(full, cch));
    return true;
}

bool isPlainFolder(HANDLE handle) {
    DWORD attributes = attributesOf(handle);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool isPlainFile(HANDLE handle) {
    DWORD attributes = attributesOf(handle);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

// Opens a name relative to an open folder (never a path of its own), without following
// a link at its end.
FileHandle openRelative(HANDLE folder, const std::wstring& name, bool directory, ACCESS_MASK access) {
    static const auto ntCreateFile = systemFunction<decltype(&NtCreateFile)>(L"ntdll.dll", "NtCreateFile");
    if (!ntCreateFile || name.empty() || name.size() * sizeof(wchar_t) >= 0xFFFF) return {};
    UNICODE_STRING ntName;
    ntName.Buffer = const_cast<wchar_t*>(name.c_str());
    ntName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    ntName.MaximumLength = ntName.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &ntName, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    const ULONG options = (directory ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE) | FILE_OPEN_REPARSE_POINT |
                          FILE_SYNCHRONOUS_IO_NONALERT;
    NTSTATUS status = ntCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, options,
                                   nullptr, 0);
    if (status < 0 || !handle) return {};
    return FileHandle(handle);
}

// Marks an open file (or empty folder) for deletion; it goes when its last handle closes.
bool deleteThrough(HANDLE handle) {
    static const auto ntSetInformationFile =
        systemFunction<decltype(&NtSetInformationFile)>(L"ntdll.dll", "NtSetInformationFile");
    if (!ntSetInformationFile) return false;
    DispositionInformation disposition = {TRUE};
    IO_STATUS_BLOCK io = {};
    return ntSetInformationFile(handle, &io, &disposition, sizeof(disposition),
                                static_cast<FILE_INFORMATION_CLASS>(13 /* FileDispositionInformation */)) >= 0;
}

// A Files entry names a file inside the backup folder only when it is relative and never
// climbs out; anything else (a crafted SURVIN.INI) is left alone.
bool isPlainRelative(const std::wstring& entry) {
    if (entry.empty() || entry[0] == L'\\' || entry[0] == L'/') return false;
    if (entry.find(L':') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= entry.size()) {
        size_t end = entry.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = entry.size();
        std::wstring part = entry.substr(start, end - start);
        part.erase(std::remove(part.begin(), part.end(), L' '), part.end());
        if (part.empty() || part.find_first_not_of(L'.') == std::wstring::npos) return false;
        start = end + 1;
    }
    return true;
}

// Deletes one listed file of the folder: it must be a plain file (not a link) at exactly
// the place its name gives, seen from the folder's real path.
void deleteEntry(HANDLE folder, const std::wstring& folderFinal, const std::wstring& root,
                 const std::wstring& entry) {
    if (!isPlainRelative(entry)) return;
    std::wstring name = entry;
    std::replace(name.begin(), name.end(), L'/', L'\\');
    FileHandle file = openRelative(folder, name, false, DELETE | FILE_READ_ATTRIBUTES);
    if (!file || !isPlainFile(file.get())) return;
    if (!samePath(finalPathOf(file.get(), root), folderFinal + L'\\' + name)) return;
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

DWORD attributesOf(HANDLE handle) {
    // The basic information alone: the whole file information also asks for the volume's
    // serial number, which costs far more on some systems than everything else here.
    BasicInformation basic = {};
    if (queryFile(handle, &basic, sizeof(basic), 4 /* FileBasicInformation */)) return basic.fileAttributes;
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(handle, &info) ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

bool fileIndexOf(HANDLE handle, ULONGLONG* index) {
    LARGE_INTEGER internal = {};
    if (queryFile(handle, &internal, sizeof(internal), 6 /* FileInternalInformation */)) {
        *index = static_cast<ULONGLONG>(internal.QuadPart);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return false;
    *index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

std::wstring finalPathOnVolume(HANDLE handle, const std::wstring& root) {
    if (root.size() != 3 || root[1] != L':') return {};
    std::vector<BYTE> buffer(sizeof(ULONG) + kCchFinalPath * sizeof(wchar_t));
    if (!queryFile(handle, buffer.data(), static_cast<ULONG>(buffer.size()), 9 /* FileNameInformation */)) return {};
    ULONG cb = 0;
    memcpy(&cb, buffer.data(), sizeof(cb));
    if (cb > buffer.size() - sizeof(ULONG)) return {};
    std::wstring name(reinterpret_cast<const wchar_t*>(buffer.data() + sizeof(ULONG)), cb / sizeof(wchar_t));

    BY_HANDLE_FILE_INFORMATION info;
    DWORD serial = 0;
    if (!GetFileInformationByHandle(handle, &info) ||
        !GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) ||
        serial != info.dwVolumeSerialNumber)
        return {};
    return root.substr(0, 2) + name;
}

std::wstring finalPathOf(HANDLE handle, const std::wstring& root) {
    using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    static const auto getFinalPath = systemFunction<GetFinalPathFn>(L"kernel32.dll", "GetFinalPathNameByHandleW");
    if (!getFinalPath) return finalPathOnVolume(handle, root);
    std::vector<wchar_t> buffer(kCchFinalPath);
    DWORD cch = getFinalPath(handle, buffer.data(), kCchFinalPath, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    // Some file systems cannot normalise; the opened name is the next best.
    if (cch == 0 || cch >= kCchFinalPath)
        cch = getFinalPath(handle, buffer.data(), kCchFinalPath, FILE_NAME_OPENED | VOLUME_NAME_DOS);
    if (cch == 0 || cch >= kCchFinalPath) return {};
    std::wstring path(buffer.data(), cch);
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

namespace {
// Guards alive on this thread: only the outermost switches the privileges.
thread_local int g_privilegesOffDepth = 0;
}  // namespace

BackupPrivilegesOff::BackupPrivilegesOff() {
    if (g_privilegesOffDepth++ > 0) return;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token_)) {
        token_ = nullptr;
        return;
    }
    TwoPrivileges off = {};
    off.count = 2;
    if (!LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &off.privileges[0].Luid) ||
        !LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &off.privileges[1].Luid))
        return;
    DWORD cb = 0;
    changed_ = AdjustTokenPrivileges(token_, FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&off), sizeof(previous_),
                                     reinterpret_cast<TOKEN_PRIVILEGES*>(&previous_), &cb) != FALSE;
}

BackupPrivilegesOff::~BackupPrivilegesOff() {
    --g_privilegesOffDepth;
    // The earlier state holds only what this object changed.
    if (changed_ && previous_.count > 0)
        AdjustTokenPrivileges(token_, FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&previous_), 0, nullptr, nullptr);
    if (token_) CloseHandle(token_);
}

bool deleteBackup(const std::wstring& folderPath, const std::wstring& placePath) {
    BackupPrivilegesOff privilegesOff;
    std::wstring folder, place;
    if (!qualified(folderPath, folder)) return false;
    if (placePath.empty())
        place = parentOf(folder);
    else if (!qualified(placePath, place))
        return false;
    if (place.empty() || folder.size() < place.size() || upperCase(folder.substr(0, place.size())) != upperCase(place))
        return false;
    const std::wstring root = rootOf(folder);

    // The place is taken where it leads (the backup program registered it); the folder
    // must be exactly where the found path goes from there, with no link on the way.
    FileHandle placeHandle(CreateFileW(withoutBackslash(place).c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!placeHandle) return false;
    const std::wstring placeFinal = finalPathOf(placeHandle.get(), root);
    placeHandle.reset();
    if (placeFinal.empty()) return false;
    const std::wstring folderFinal = withoutBackslash(withBackslash(placeFinal) + folder.substr(place.size()));

    FileHandle held(CreateFileW(withoutBackslash(folder).c_str(),
                                FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | DELETE | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!held || !isPlainFolder(held.get()) || !samePath(finalPathOf(held.get(), root), folderFinal)) return false;

    // Each entry is read just before its deletion: SURVIN.INI comes last and ends the list.
    // Whatever the list says, only files inside the held folder can go.
    const std::wstring ini = folder + L"SURVIN.INI";
    const DWORD iniAttributes = GetFileAttributesW(ini.c_str());
    const bool hadBackup = iniAttributes != INVALID_FILE_ATTRIBUTES && !(iniAttributes & FILE_ATTRIBUTE_DIRECTORY);
    for (int k = 0; k < kMaxFilesKeys; ++k) {
        wchar_t value[kCchProfilePath];
        DWORD cch = GetPrivateProfileStringW(L"Files", std::to_wstring(k).c_str(), L"", value, kCchProfilePath,
                                             ini.c_str());
        std::wstring entry(value, cch);
        std::wstring unblanked = entry;
        unblanked.erase(std::remove(unblanked.begin(), unblanked.end(), L' '), unblanked.end());
        if (unblanked.size() < 2) break;
        deleteEntry(held.get(), folderFinal, root, entry);
    }
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

    // The folder itself through the handle that has held it since its check, then each
    // parent that is left empty, up to the drive root. A link is not ours to remove, nor
    // is what lies above it.
    const bool folderGoes = !PathIsRootW(folder.c_str()) && deleteThrough(held.get());
    held.reset();
    if (!folderGoes) return true;
    for (std::wstring current = parentOf(folder); !current.empty() && !PathIsRootW(current.c_str());
         current = parentOf(current)) {
        if (!removeEmptyFolder(current, current, root)) break;
    }
    return true;
}
