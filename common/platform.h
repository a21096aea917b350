// Platform helpers that both programs carry: WOW64 detection and file-system
// redirection, token privileges, the single-instance lock, system-library loading, files
// reached relative to folders the program holds open, and the few calls that not every
// supported Windows has.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "handles.h"

// True when this 32-bit process runs on 64-bit Windows. IsWow64Process is looked up
// by name once; where it is missing the answer is false.
bool isWow64();

// Switches WOW64 file-system redirection off for the calling thread. Returns false (and
// does nothing) unless isWow64(); callers revert only after a true result.
bool disableFsRedirection(PVOID* cookie);
void revertFsRedirection(PVOID cookie);

// Enables or disables one privilege of the process token. Enabling a privilege the
// account does not hold fails (the adjust call reports ERROR_NOT_ALL_ASSIGNED then).
bool enablePrivilege(bool enable, const wchar_t* name);

// Switches SeBackupPrivilege and SeRestorePrivilege on or off for its lifetime and back
// to their earlier state afterwards. Both programs keep them off for file work, where
// they would let a planted link steer an elevated open past the file's permissions, and
// on only around the registry calls that need them.
class BackupPrivileges {
public:
    explicit BackupPrivileges(bool enabled);
    ~BackupPrivileges();
    BackupPrivileges(const BackupPrivileges&) = delete;
    BackupPrivileges& operator=(const BackupPrivileges&) = delete;

private:
    struct TwoPrivileges {  // TOKEN_PRIVILEGES with room for two
        DWORD count;
        LUID_AND_ATTRIBUTES privileges[2];
    };
    KernelHandle token_;
    TwoPrivileges previous_ = {};
    bool changed_ = false;
    int outerState_ = 0;
};

// The single-instance lock of a program: a named mutex that only an instance running as
// an administrator or SYSTEM can have made. A mutex of that name made by any other
// account (a user who took the name first to stop every scheduled run) is not another
// instance: the lock then moves on to the next of a few derived names, which the
// program's instances try in the same order.
class SingleInstance {
public:
    // Takes the lock; otherRunning() tells whether another instance holds it.
    explicit SingleInstance(const wchar_t* name);
    bool otherRunning() const { return otherRunning_; }

private:
    KernelHandle mutex_;  // kept open until the process ends
    bool otherRunning_ = false;
};

// Path text: upper case (the system's case mapping), without any trailing backslash, and
// with exactly one at the end (an empty path gets one).
std::wstring upperCase(std::wstring text);
std::wstring withoutBackslash(std::wstring path);
std::wstring withBackslash(std::wstring path);

// The full path of the running program in its plain form (a network path as
// "\\server\share\..."); empty when it cannot be told.
std::wstring programPath();
// The folder of the running program, ending in a backslash; empty when it cannot be told.
std::wstring programFolder();

// Loads a DLL from the system directory only, never from the program's folder or the
// current directory. Returns the module or NULL.
HMODULE loadSystemLibrary(const wchar_t* name);

// Returns an export of a system DLL (already loaded, else loaded from the system
// directory), or NULL.
FARPROC systemProc(const wchar_t* module, const char* proc);

// The same, typed: systemFunction<decltype(&RegSaveKeyExW)>(L"advapi32.dll", "RegSaveKeyExW").
template <class Fn>
Fn systemFunction(const wchar_t* module, const char* proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(systemProc(module, proc)));
}

// The calls below came with Windows 2000 (and 98): the programs look them up by name so
// that they start on Windows NT 4.0, and do without them there.

// The long form of an existing path (GetLongPathName): the length without the terminator,
// the size needed when cch is too small, 0 on failure. Where the call is missing it fails
// with ERROR_CALL_NOT_IMPLEMENTED, and callers keep the path as it was given.
DWORD longPathName(const wchar_t* path, wchar_t* out, DWORD cch);
DWORD longPathName(const char* path, char* out, DWORD cch);

// The work area of the monitor nearest the window; the primary monitor's where the system
// has no monitor calls.
RECT workAreaNear(HWND window);

// Random bytes from the system's generator where it has one, else from counters and
// clocks (names nobody should guess, not keys).
void randomBytes(void* buffer, DWORD cb);

// The Windows error code of a native status.
DWORD errorOfStatus(LONG status);

// --- Files relative to an open folder ---------------------------------------------
// A folder held open cannot be renamed or replaced while it is held; a name opened
// relative to it, without following a link at its end, is the entry in that folder and
// nowhere else.

// Opens a name relative to an open folder (never a path of its own), without following
// a link at its end.
FileHandle openRelative(HANDLE folder, const std::wstring& name, bool directory, ACCESS_MASK access);
// Creates a new file or folder relative to an open folder, with the given security
// (none: inherited). Fails with ERROR_ALREADY_EXISTS when the name exists in any form,
// a link included. `openExisting` opens an existing name instead (never following a link
// at its end); `created` tells which happened. `share` is the sharing of the handle.
FileHandle createRelative(HANDLE folder, const std::wstring& name, bool directory, ACCESS_MASK access,
                          PSECURITY_DESCRIPTOR security, bool openExisting = false, bool* created = nullptr,
                          ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
// Marks an open file (or empty folder) for deletion; it goes when its last handle closes.
bool deleteThrough(HANDLE handle);
// The names in an open folder ("." and ".." left out), with their attributes.
struct FolderEntry {
    std::wstring name;
    DWORD attributes;
};
std::vector<FolderEntry> entriesOf(HANDLE folder);

// Attributes of an open file or folder; INVALID_FILE_ATTRIBUTES when unknown.
DWORD attributesOf(HANDLE handle);
// The file system's index of an open file or folder, unique on its volume.
bool fileIndexOf(HANDLE handle, ULONGLONG* index);
// True when both handles are the same file or folder (volume and file index).
bool sameFile(HANDLE a, HANDLE b);
// A directory that is no link and no mount point, judged by its open handle.
bool isPlainFolder(HANDLE handle);
// A file that is neither a folder nor a link.
bool isPlainFile(HANDLE handle);

// Where an open file or folder really is, as a DOS path without "\\?\" ("C:\a\b",
// "\\server\share\a"); empty when the system cannot say. `root` ("C:\") names the drive
// to report it on where the system has no final-path call (before Vista).
std::wstring finalPathOf(HANDLE handle, const std::wstring& root);
// The same, made from the volume-relative name the file system gives and the drive
// `root` when that drive holds the handle's volume; the way used before Vista.
std::wstring finalPathOnVolume(HANDLE handle, const std::wstring& root);
// The drive root of a path ("C:\", "\\server\share\"); empty when it has none.
std::wstring rootOfPath(const std::wstring& path);
// Paths equal without regard to case and to a trailing backslash; empty never matches.
bool samePath(const std::wstring& a, const std::wstring& b);
// A drive root ("C:\") or a share ("\\server\share\"), with or without its backslash: a
// place the programs never create or remove.
bool isRootPath(const std::wstring& path);
// A path on another computer: a network path ("\\server\share\...") or a drive letter that
// the system reports as a network drive. The registry loads hives only from local files, and
// the accounts in a DACL there are the server's, not this machine's.
bool isNetworkPath(const std::wstring& path);
