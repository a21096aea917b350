#include "backup_system.h"

#include "platform.h"

namespace {

BackupSystem& realSystem() {
    static BackupSystem real;
    return real;
}

BackupSystem* g_system = nullptr;

}  // namespace

bool BackupSystem::freeBytesAvailable(const std::wstring& folder, ULONGLONG* bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return false;
    *bytes = available.QuadPart;
    return true;
}

WindowsLevel BackupSystem::windowsLevel() { return backupLevelOf(runningWindowsLevel()); }

LONG BackupSystem::openHiveList(HKEY* key) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\hivelist", 0, KEY_READ,
                         key);
}

namespace {
using RegSaveKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPSECURITY_ATTRIBUTES, DWORD);
using NtSaveKeyFn = LONG(WINAPI*)(HANDLE, HANDLE);
using NtSaveKeyExFn = LONG(WINAPI*)(HANDLE, HANDLE, ULONG);

// Windows 2000 lacks RegSaveKeyExW: it is looked up by name on first use.
RegSaveKeyExFn regSaveKeyEx() {
    static const auto fn = systemFunction<RegSaveKeyExFn>(L"advapi32.dll", "RegSaveKeyExW");
    return fn;
}

LONG errorOf(LONG status) { return status >= 0 ? ERROR_SUCCESS : static_cast<LONG>(errorOfStatus(status)); }

LONG ntSaveKey(HKEY key, HANDLE file) {
    static const auto save = systemFunction<NtSaveKeyFn>(L"ntdll.dll", "NtSaveKey");
    if (!save) return ERROR_PROC_NOT_FOUND;
    return errorOf(save(key, file));
}
}  // namespace

bool BackupSystem::hasSaveKeyEx() { return regSaveKeyEx() != nullptr; }

// The saved file is the one saveHive created for administrators only, relative to the
// folder it holds; the registry writes into its handle, so no path is opened again.
LONG BackupSystem::saveKeyEx(HKEY key, HANDLE file, DWORD flags) {
    static const auto saveEx = systemFunction<NtSaveKeyExFn>(L"ntdll.dll", "NtSaveKeyEx");
    if (saveEx) return errorOf(saveEx(key, file, flags));
    // Where RegSaveKeyExW exists without it (Wine), that call saves in the one format.
    return ntSaveKey(key, file);
}

LONG BackupSystem::saveKey(HKEY key, HANDLE file) { return ntSaveKey(key, file); }

HiveCheckResult BackupSystem::checkSavedHive(const std::wstring& file, const std::wstring& scratchParent) {
    return checkHive(file.c_str(), scratchParent);
}

LONG BackupSystem::flushKey(HKEY key) { return RegFlushKey(key); }

std::wstring BackupSystem::shortPathOf(const std::wstring& path) {
    wchar_t shortPath[MAX_PATH];
    DWORD cch = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return cch == 0 || cch >= MAX_PATH ? std::wstring() : std::wstring(shortPath, cch);
}

BackupSystem& backupSystem() { return g_system ? *g_system : realSystem(); }

BackupSystem* setBackupSystem(BackupSystem* system) {
    BackupSystem* previous = g_system;
    g_system = system;
    return previous;
}

WindowsLevel GetWindowsLevel() { return backupSystem().windowsLevel(); }
