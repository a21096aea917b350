#include "backup_system.h"

#include "admin_only.h"
#include "platform.h"

namespace {

// The 9x family has the high bit of the packed GetVersion word set.
int queryWindowsLevel() {
    DWORD packed = GetVersion();
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return 0;
#pragma GCC diagnostic pop
    DWORD platform = (packed & 0x80000000u) ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
    return windowsLevelOf(platform, info.dwMajorVersion, info.dwMinorVersion);
}

BackupSystem& realSystem() {
    static BackupSystem real;
    return real;
}

BackupSystem* g_system = nullptr;

}  // namespace

int windowsLevelOf(DWORD platformId, DWORD major, DWORD minor) {
    if (platformId != VER_PLATFORM_WIN32_NT) {
        if (major < 4) return 0;
        if (major != 4) return 2;
        if (minor == 10) return 3;
        if (minor == 90) return 4;
        return 2;
    }
    if (major <= 3) return 1;
    if (major == 4) return 5;
    if (major == 5) {
        if (minor == 0) return 6;
        if (minor == 1) return 7;
        if (minor == 2) return 8;
        return 1;
    }
    return 9;
}

bool BackupSystem::freeBytesAvailable(const std::wstring& folder, ULONGLONG* bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return false;
    *bytes = available.QuadPart;
    return true;
}

int BackupSystem::windowsLevel() {
    // Computed once, as the program is loaded, and kept for the life of the process.
    static const int level = queryWindowsLevel();
    return level;
}

LONG BackupSystem::openHiveList(HKEY* key) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\hivelist", 0, KEY_READ,
                         key);
}

namespace {
using RegSaveKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPSECURITY_ATTRIBUTES, DWORD);

// Windows 2000 lacks RegSaveKeyExW: it is looked up by name on first use.
RegSaveKeyExFn regSaveKeyEx() {
    static const auto fn = systemFunction<RegSaveKeyExFn>(L"advapi32.dll", "RegSaveKeyExW");
    return fn;
}

// The saved file is created for administrators only. Wine refuses any security attributes
// on a save (ERROR_UNKNOWN_REVISION) and creates no file then: there the save runs without
// them, and saveHive gives the file the DACL afterwards, inside a folder that already has it.
template <class Save>
LONG saveWithAdminOnlyFile(const std::wstring& file, Save save) {
    LONG r = save(adminOnlyFileAttributes());
    if (r == ERROR_UNKNOWN_REVISION && GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        r = save(nullptr);
    return r;
}
}  // namespace

bool BackupSystem::hasSaveKeyEx() { return regSaveKeyEx() != nullptr; }

LONG BackupSystem::saveKeyEx(HKEY key, const std::wstring& file, DWORD flags) {
    RegSaveKeyExFn fn = regSaveKeyEx();
    if (!fn) return ERROR_PROC_NOT_FOUND;
    return saveWithAdminOnlyFile(file, [&](SECURITY_ATTRIBUTES* sa) { return fn(key, file.c_str(), sa, flags); });
}

LONG BackupSystem::saveKey(HKEY key, const std::wstring& file) {
    return saveWithAdminOnlyFile(file, [&](SECURITY_ATTRIBUTES* sa) { return RegSaveKeyW(key, file.c_str(), sa); });
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

int GetWindowsLevel() { return backupSystem().windowsLevel(); }
