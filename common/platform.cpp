#include "platform.h"

#include <winternl.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "admin_only.h"
#include "handles.h"

std::wstring programPath() {
    wchar_t path[MAX_PATH];
    DWORD cch = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return {};
    std::wstring file(path, cch);
    // A program started by a network or a long path may be named in the long-path form
    // ("\\?\UNC\server\share\...", "\\?\C:\..."), which some systems give without its
    // "\\?\" ("UNC\server\share\..."; no full path begins so otherwise).
    if (file.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        file = L"\\\\" + file.substr(8);
    else if (_wcsnicmp(file.c_str(), L"UNC\\", 4) == 0)
        file = L"\\\\" + file.substr(4);
    else if (file.compare(0, 4, L"\\\\?\\") == 0)
        file = file.substr(4);
    return file;
}

std::wstring programFolder() {
    const std::wstring folder = programPath();
    size_t slash = folder.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

HMODULE loadSystemLibrary(const wchar_t* name) {
    wchar_t dir[MAX_PATH];
    UINT cch = GetSystemDirectoryW(dir, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return nullptr;
    std::wstring path(dir, cch);
    if (path.back() != L'\\') path += L'\\';
    path += name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC systemProc(const wchar_t* module, const char* proc) {
    HMODULE h = GetModuleHandleW(module);
    if (!h) h = loadSystemLibrary(module);  // kept loaded for the life of the process
    return h ? GetProcAddress(h, proc) : nullptr;
}

namespace {
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using LongPathNameWFn = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);
using LongPathNameAFn = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, DWORD);
using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
using Wow64DisableFn = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID);
}  // namespace

bool isWow64() {
    static const auto fn = systemFunction<IsWow64ProcessFn>(L"kernel32.dll", "IsWow64Process");
    if (!fn) return false;
    BOOL wow = FALSE;
    return fn(GetCurrentProcess(), &wow) && wow;
}

bool disableFsRedirection(PVOID* cookie) {
    if (!isWow64()) return false;
    static const auto fn =
        systemFunction<Wow64DisableFn>(L"kernel32.dll", "Wow64DisableWow64FsRedirection");
    return fn && fn(cookie);
}

void revertFsRedirection(PVOID cookie) {
    static const auto fn =
        systemFunction<Wow64RevertFn>(L"kernel32.dll", "Wow64RevertWow64FsRedirection");
    if (fn) fn(cookie);
}

bool enablePrivilege(bool enable, const wchar_t* name) {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.receive()))
        return false;
    TOKEN_PRIVILEGES tp = {};
    if (!LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid)) return false;
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    // The call succeeds also for a privilege the token lacks; only its last error says so.
    SetLastError(ERROR_SUCCESS);
    if (!AdjustTokenPrivileges(token.get(), FALSE, &tp, sizeof(tp), nullptr, nullptr)) return false;
    if (GetLastError() == ERROR_NOT_ALL_ASSIGNED) return false;
    return CloseHandle(token.detach()) != FALSE;
}

DWORD longPathName(const wchar_t* path, wchar_t* out, DWORD cch) {
    static const auto fn = systemFunction<LongPathNameWFn>(L"kernel32.dll", "GetLongPathNameW");
    if (fn) return fn(path, out, cch);
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}

DWORD longPathName(const char* path, char* out, DWORD cch) {
    static const auto fn = systemFunction<LongPathNameAFn>(L"kernel32.dll", "GetLongPathNameA");
    if (fn) return fn(path, out, cch);
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}

RECT workAreaNear(HWND window) {
    static const auto monitorFrom = systemFunction<MonitorFromWindowFn>(L"user32.dll", "MonitorFromWindow");
    static const auto monitorInfo = systemFunction<GetMonitorInfoFn>(L"user32.dll", "GetMonitorInfoW");
    RECT area = {};
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    HMONITOR monitor = monitorFrom && monitorInfo ? monitorFrom(window, MONITOR_DEFAULTTONEAREST) : nullptr;
    if (monitor && monitorInfo(monitor, &info))
        area = info.rcWork;
    else if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
        SetRect(&area, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return area;
}

namespace {
// The state the innermost BackupPrivileges of this thread set: 0 none, 1 on, 2 off.
// Nested scopes of the same state leave the token alone.
thread_local int g_privilegeState = 0;
}  // namespace

BackupPrivileges::BackupPrivileges(bool enabled) : outerState_(g_privilegeState) {
    const int state = enabled ? 1 : 2;
    if (g_privilegeState == state) return;
    g_privilegeState = state;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.receive())) return;
    TwoPrivileges wanted = {};
    wanted.count = 2;
    if (!LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &wanted.privileges[0].Luid) ||
        !LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &wanted.privileges[1].Luid))
        return;
    wanted.privileges[0].Attributes = wanted.privileges[1].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
    DWORD cb = 0;
    changed_ = AdjustTokenPrivileges(token_.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted),
                                     sizeof(previous_), reinterpret_cast<TOKEN_PRIVILEGES*>(&previous_), &cb) != FALSE;
}

BackupPrivileges::~BackupPrivileges() {
    g_privilegeState = outerState_;
    // The earlier state holds only what this object changed.
    if (changed_ && previous_.count > 0)
        AdjustTokenPrivileges(token_.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&previous_), 0, nullptr,
                              nullptr);
}

SingleInstance::SingleInstance(const wchar_t* name) {
    // Every instance tries the names in this order; a user can take a few of them, and the
    // instances then meet at the first one left.
    constexpr int kNames = 8;
    for (int i = 0; i < kNames; ++i) {
        std::wstring candidate = name;
        if (i > 0) candidate += L"." + std::to_wstring(i);
        KernelHandle mutex(CreateMutexW(adminOnlyObjectAttributes(), TRUE, candidate.c_str()));
        const DWORD error = GetLastError();
        // No handle: the name is taken by an object this program did not make (another
        // kind of object, or one closed to administrators).
        if (!mutex) continue;
        if (error != ERROR_ALREADY_EXISTS) {
            ReleaseMutex(mutex.get());  // the handle stays open until the process ends
            mutex_ = std::move(mutex);
            return;
        }
        if (isMadeByAdmins(mutex.get())) {
            otherRunning_ = true;
            return;
        }
    }
    // Every name taken by others: this instance runs without the lock rather than never.
}

void randomBytes(void* buffer, DWORD cb) {
    // The system's generator: the crypto provider's, present from Windows 2000 on.
    using AcquireFn = BOOL(WINAPI*)(HCRYPTPROV*, LPCWSTR, LPCWSTR, DWORD, DWORD);
    using GenRandomFn = BOOL(WINAPI*)(HCRYPTPROV, DWORD, BYTE*);
    static const auto acquire = systemFunction<AcquireFn>(L"advapi32.dll", "CryptAcquireContextW");
    static const auto genRandom = systemFunction<GenRandomFn>(L"advapi32.dll", "CryptGenRandom");
    static HCRYPTPROV provider = 0;  // kept for the life of the process
    if (!provider && acquire) acquire(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT);
    if (provider && genRandom && genRandom(provider, cb, static_cast<BYTE*>(buffer))) return;

    // Without it: clocks, counters and this process's identity, stirred.
    static ULONGLONG state = 0x9E3779B97F4A7C15ULL;
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    state ^= static_cast<ULONGLONG>(counter.QuadPart) ^ (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) ^
             now.dwLowDateTime ^ (static_cast<ULONGLONG>(GetCurrentProcessId()) << 16) ^ GetTickCount() ^
             reinterpret_cast<ULONG_PTR>(&counter);
    auto* out = static_cast<BYTE*>(buffer);
    for (DWORD i = 0; i < cb; ++i) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        out[i] = static_cast<BYTE>((state * 0x2545F4914F6CDD1DULL) >> 56);
    }
}

DWORD errorOfStatus(LONG status) {
    using ToDosErrorFn = ULONG(WINAPI*)(LONG);
    static const auto toDosError = systemFunction<ToDosErrorFn>(L"ntdll.dll", "RtlNtStatusToDosError");
    return toDosError ? toDosError(status) : ERROR_GEN_FAILURE;
}

namespace {

constexpr DWORD kCchFinalPath = 2048;
constexpr LONG kStatusObjectNameCollision = static_cast<LONG>(0xC0000035);

struct DispositionInformation {
    BOOLEAN deleteFile;
};

struct BasicInformation {
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
    ULONG fileAttributes;
};

// One entry of a folder listing (FileDirectoryInformation).
struct DirectoryInformation {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
    LARGE_INTEGER endOfFile, allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;
    WCHAR fileName[1];
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

// The native open or create of a name relative to an open folder; the status is returned.
LONG ntOpen(HANDLE folder, const std::wstring& name, bool directory, ACCESS_MASK access,
            PSECURITY_DESCRIPTOR security, ULONG disposition, HANDLE* out, ULONG_PTR* information,
            ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) {
    static const auto ntCreateFile = systemFunction<decltype(&NtCreateFile)>(L"ntdll.dll", "NtCreateFile");
    *out = nullptr;
    if (!ntCreateFile) return static_cast<LONG>(0xC0000002);  // not implemented
    if (!folder || folder == INVALID_HANDLE_VALUE || name.empty() || name.size() * sizeof(wchar_t) >= 0xFFFF)
        return static_cast<LONG>(0xC000000D);  // invalid parameter
    UNICODE_STRING ntName;
    ntName.Buffer = const_cast<wchar_t*>(name.c_str());
    ntName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    ntName.MaximumLength = ntName.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &ntName, OBJ_CASE_INSENSITIVE, folder, security);
    IO_STATUS_BLOCK io = {};
    const ULONG options = (directory ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE) | FILE_OPEN_REPARSE_POINT |
                          FILE_SYNCHRONOUS_IO_NONALERT;
    NTSTATUS status = ntCreateFile(out, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                   share, disposition, options, nullptr, 0);
    if (information) *information = io.Information;
    if (status < 0) *out = nullptr;
    return status;
}

}  // namespace

FileHandle openRelative(HANDLE folder, const std::wstring& name, bool directory, ACCESS_MASK access) {
    HANDLE handle = nullptr;
    if (ntOpen(folder, name, directory, access, nullptr, FILE_OPEN, &handle, nullptr) < 0 || !handle) return {};
    return FileHandle(handle);
}

FileHandle createRelative(HANDLE folder, const std::wstring& name, bool directory, ACCESS_MASK access,
                          PSECURITY_DESCRIPTOR security, bool openExisting, bool* created, ULONG share) {
    HANDLE handle = nullptr;
    ULONG_PTR information = 0;
    const LONG status = ntOpen(folder, name, directory, access, security, openExisting ? FILE_OPEN_IF : FILE_CREATE,
                               &handle, &information, share);
    if (created) *created = status >= 0 && information == 2 /* FILE_CREATED */;
    if (status < 0 || !handle) {
        SetLastError(status == kStatusObjectNameCollision ? ERROR_ALREADY_EXISTS : errorOfStatus(status));
        return {};
    }
    return FileHandle(handle);
}

bool deleteThrough(HANDLE handle) {
    static const auto ntSetInformationFile =
        systemFunction<decltype(&NtSetInformationFile)>(L"ntdll.dll", "NtSetInformationFile");
    if (!ntSetInformationFile) return false;
    DispositionInformation disposition = {TRUE};
    IO_STATUS_BLOCK io = {};
    return ntSetInformationFile(handle, &io, &disposition, sizeof(disposition),
                                static_cast<FILE_INFORMATION_CLASS>(13 /* FileDispositionInformation */)) >= 0;
}

std::vector<FolderEntry> entriesOf(HANDLE folder) {
    using QueryDirectoryFn = LONG(WINAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG, int,
                                           BOOLEAN, PUNICODE_STRING, BOOLEAN);
    static const auto query = systemFunction<QueryDirectoryFn>(L"ntdll.dll", "NtQueryDirectoryFile");
    std::vector<FolderEntry> entries;
    if (!query) return entries;
    std::vector<ULONGLONG> buffer(8192);  // 64 KiB, aligned for the entries
    for (bool first = true;; first = false) {
        IO_STATUS_BLOCK io = {};
        const LONG status = query(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                                  static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG)),
                                  1 /* FileDirectoryInformation */, FALSE, nullptr, first);
        if (status < 0 || io.Information == 0) break;
        const BYTE* at = reinterpret_cast<const BYTE*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const DirectoryInformation*>(at);
            std::wstring name(entry->fileName, entry->fileNameLength / sizeof(WCHAR));
            if (name != L"." && name != L"..") entries.push_back({name, entry->fileAttributes});
            if (entry->nextEntryOffset == 0) break;
            at += entry->nextEntryOffset;
        }
    }
    return entries;
}

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

bool sameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION infoA, infoB;
    return GetFileInformationByHandle(a, &infoA) && GetFileInformationByHandle(b, &infoB) &&
           infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
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

std::wstring rootOfPath(const std::wstring& path) {
    std::vector<wchar_t> root(path.begin(), path.end());
    root.push_back(L'\0');
    if (!PathStripToRootW(root.data())) return {};
    std::wstring out = root.data();
    if (out.empty() || out.back() != L'\\') out += L'\\';
    return out;
}

bool samePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && upperCase(withoutBackslash(a)) == upperCase(withoutBackslash(b));
}

bool isRootPath(const std::wstring& path) {
    const std::wstring root = rootOfPath(path);
    return !root.empty() && samePath(path, root);
}

bool isNetworkPath(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return true;
    // The long and device forms name local drives otherwise.
    if (path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\\\.\\") == 0)
        return isNetworkPath(path.substr(4));
    if (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/'))
        return true;
    if (path.size() < 2 || path[1] != L':') return false;
    const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
    return GetDriveTypeW(root) == DRIVE_REMOTE;
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
