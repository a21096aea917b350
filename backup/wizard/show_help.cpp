#include "show_help.h"

#include <shlwapi.h>

#include "dialog_support.h"
#include "handles.h"
#include "platform.h"

namespace {

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

// The viewer module stays loaded for the rest of the run: its windows outlive the call.
HtmlHelpFn htmlHelp() {
    static ModuleHandle module;
    static HtmlHelpFn function = nullptr;
    static bool tried = false;
    if (tried) return function;
    tried = true;

    const std::wstring registered = registeredHelpModule();
    if (!registered.empty()) module.reset(LoadLibraryW(registered.c_str()));
    if (!module) module.reset(loadSystemLibrary(L"hhctrl.ocx"));
    if (!module) return nullptr;
    function = reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(GetProcAddress(module.get(), "HtmlHelpW")));
    return function;
}

}  // namespace

std::wstring registeredHelpModule() {
    // The machine's own registration: the merged HKEY_CLASSES_ROOT would take a
    // registration of the user's (HKEY_CURRENT_USER\Software\Classes), which any program
    // the user runs can write, and this program runs elevated.
    KeyHandle key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"Software\\Classes\\CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0,
                      KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS)
        return {};
    wchar_t value[MAX_PATH] = {}, expanded[MAX_PATH] = {};
    DWORD cb = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &cb) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    DWORD cch = ExpandEnvironmentStringsW(value, expanded, MAX_PATH);
    // Only a full path: a bare name would be searched for in the program's folder.
    if (cch == 0 || cch > MAX_PATH || PathIsRelativeW(expanded)) return {};
    return expanded;
}

bool UseOnlineHelp(const std::wstring& folder) {
    if (!exists(folder + L"Tolmen.chm")) return true;
    return !exists(folder + L"lorn.exe") && !exists(folder + L"quib.exe");
}

void ShowHelp(HWND owner) {
    const std::wstring folder = programFolder();
    if (!UseOnlineHelp(folder)) {
        const std::wstring file = folder + L"Tolmen.chm";
        if (HtmlHelpFn help = htmlHelp()) help(owner, file.c_str(), 0 /* HH_DISPLAY_TOPIC */, 0);
        return;
    }
    shellOpen(owner, kOnlineHelpAddress);
}
