#include "platform.h"

#include <string>

#include "handles.h"

std::wstring programFolder() {
    wchar_t path[MAX_PATH];
    DWORD cch = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return {};
    std::wstring folder(path, cch);
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
    if (!AdjustTokenPrivileges(token.get(), FALSE, &tp, sizeof(tp), nullptr, nullptr)) return false;
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
