// Help through the HTML Help module: the registered one, else hhctrl.ocx from the
// system folder. The display entry is exported by ordinal 14.
#include "restore_help.h"

#include <shlwapi.h>

#include <string>

#include "admin_only.h"
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

// The help file lies in the backup folder, and the help viewer runs what a help file
// holds inside this elevated program: only a file that no other user made or may change
// is opened (owned by Administrators, SYSTEM or this account, written by nobody else, as
// the backup program leaves it), and it stays held against changes for the rest of the
// run.
FileHandle gHelpFile;

std::wstring wideOf(const std::string& text) {
    const int cch = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (cch <= 0) return {};
    std::wstring wide(static_cast<size_t>(cch), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], cch);
    wide.resize(static_cast<size_t>(cch - 1));
    return wide;
}

bool holdAdminOnlyHelp(const std::string& folder, const char* path) {
    if (gHelpFile) return true;
    // No data access and no sharing for writing or deleting: the viewer can read it, and
    // nobody can change, rename or delete it while it is held.
    FileHandle file(CreateFileA(path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !isPlainFile(file.get()) || !isAdminOnly(file.get(), true)) return false;
    // Right there in the folder, not where a link leads.
    FileHandle parent(CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent) return false;
    const std::wstring root = rootOfPath(wideOf(folder));
    const std::wstring parentFinal = finalPathOf(parent.get(), root);
    const std::wstring fileFinal = finalPathOf(file.get(), root);
    const size_t slash = fileFinal.rfind(L'\\');
    if (parentFinal.empty() || slash == std::wstring::npos || !samePath(fileFinal.substr(0, slash), parentFinal))
        return false;
    gHelpFile = std::move(file);
    return true;
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
    if (!holdAdminOnlyHelp(folder, path)) return;
    if (!bindHtmlHelp()) return;
    gHtmlHelp(owner, path, 0 /* display topic */, 0);
}
