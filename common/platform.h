// Platform helpers that both programs carry: WOW64 detection and file-system
// redirection, token privileges, system-library loading, and the few calls that not
// every supported Windows has.
#pragma once
#include <windows.h>

#include <string>

// True when this 32-bit process runs on 64-bit Windows. IsWow64Process is looked up
// by name once; where it is missing the answer is false.
bool isWow64();

// Switches WOW64 file-system redirection off for the calling thread. Returns false (and
// does nothing) unless isWow64(); callers revert only after a true result.
bool disableFsRedirection(PVOID* cookie);
void revertFsRedirection(PVOID cookie);

// Enables or disables one privilege of the process token. A privilege the account
// does not hold is not detected (AdjustTokenPrivileges still succeeds).
bool enablePrivilege(bool enable, const wchar_t* name);

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
