// Help through the HTML Help module: the registered one, else hhctrl.ocx from the
// system folder. The display entry is exported by ordinal 14.
#include "restore_help.h"

#include <shlwapi.h>

#include <string>

#include "handles.h"
#include "loader.h"
#include "platform.h"

namespace {

using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

enum class HelpState { Untried, Ready, Missing };
HelpState gState = HelpState::Untried;
HtmlHelpFn gHtmlHelp = nullptr;
// Kept loaded for the rest of the process: help windows live in this module.
ModuleHandle gModule;

HMODULE loadRegisteredModule() {
    KeyHandle key;
    // The machine's registration only: the user's own (merged into HKEY_CLASSES_ROOT)
    // could name any module for this elevated program.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "Software\\Classes\\CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0,
                      KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS)
        return nullptr;
    char value[MAX_PATH] = {};
    DWORD cb = sizeof(value) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &cb) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || value[0] == '\0')
        return nullptr;
    std::string path = value;
    if (path.find('%') != std::string::npos) {
        char expanded[MAX_PATH] = {};
        DWORD cch = ExpandEnvironmentStringsA(value, expanded, MAX_PATH);
        if (cch == 0 || cch > MAX_PATH) return nullptr;
        path = expanded;
    }
    // Only a full path: a bare name would be searched for in the backup folder.
    if (PathIsRelativeA(path.c_str())) return nullptr;
    return LoadLibraryA(path.c_str());
}

bool bindHtmlHelp() {
    if (gState == HelpState::Untried) {
        gState = HelpState::Missing;
        gModule.reset(loadRegisteredModule());
        if (!gModule) gModule.reset(loadSystemLibrary(L"hhctrl.ocx"));
        if (gModule) {
            gHtmlHelp = reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(
                GetProcAddress(gModule.get(), MAKEINTRESOURCEA(14))));
            if (gHtmlHelp) gState = HelpState::Ready;
        }
    }
    return gState == HelpState::Ready;
}

}  // namespace

void showRestoreHelp(HWND owner) {
    // The program's folder as the rest of the program sees it (its short form where the
    // code page lacks a character of it).
    const std::string folder = programFolderA();
    if (folder.empty() || folder.size() + 10 >= MAX_PATH) return;
    char path[MAX_PATH] = {};
    lstrcpynA(path, folder.c_str(), MAX_PATH);
    if (!PathAppendA(path, "tolmen.chm")) return;
    // The help file lies in the backup folder only when the backup program had one.
    if (!PathFileExistsA(path)) return;
    if (!bindHtmlHelp()) return;
    gHtmlHelp(owner, path, 0 /* display topic */, 0);
}
