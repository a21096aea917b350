// Platform helpers that both programs carry: WOW64 detection and file-system
// redirection, token privileges, and system-library loading.
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
