// The restore wizard: a Wizard97 sheet with the welcome and the progress page.
#include "restore_wizard.h"

#include <commctrl.h>

#include <vector>

#include "plain_link.h"
#include "platform.h"
#include "resource.h"
#include "restore_help.h"
#include "restore_progress_page.h"
#include "restore_ui.h"
#include "restore_welcome_page.h"
#include "session.h"
#include "subclass.h"

namespace {

HINSTANCE gResources = nullptr;

// The sheet centres itself on its first size message (after the pages have given it its
// final size) and opens the help file on F1.
LRESULT sheetSubclassProc(HWND sheet, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR refData) {
    bool* centred = reinterpret_cast<bool*>(refData);
    switch (msg) {
    case WM_SIZE:
        if (!*centred) {
            *centred = true;
            centreWindow(sheet, GetWindow(sheet, GW_OWNER));
        }
        break;
    case WM_HELP:
        showRestoreHelp(sheet);
        return TRUE;
    }
    return callOriginalProc(sheet, msg, wParam, lParam);
}

bool gCentred = false;

const char kSheetCaption[] = "注册表恢复工具";

int CALLBACK sheetCallback(HWND sheet, UINT msg, LPARAM) {
    if (msg == PSCB_INITIALIZED) {
        gCentred = false;
        // The sheet may already have its final size, so no further size message comes.
        centreWindow(sheet, GetWindow(sheet, GW_OWNER));
        subclassWindow(sheet, sheetSubclassProc, reinterpret_cast<DWORD_PTR>(&gCentred));
    }
    return 0;
}

}  // namespace

void setRestoreResourceModule(HINSTANCE module) { gResources = module; }

HINSTANCE restoreResourceModule() {
    return gResources ? gResources : GetModuleHandleA(nullptr);
}

void centreWindow(HWND wnd, HWND owner) {
    RECT rc;
    if (!GetWindowRect(wnd, &rc)) return;
    const RECT area = workAreaNear(owner && IsWindowVisible(owner) ? owner : wnd);
    RECT around = area;
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);
    const LONG width = rc.right - rc.left;
    const LONG height = rc.bottom - rc.top;
    LONG x = around.left + ((around.right - around.left) - width) / 2;
    LONG y = around.top + ((around.bottom - around.top) - height) / 2;
    if (x + width > area.right) x = area.right - width;
    if (y + height > area.bottom) y = area.bottom - height;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    SetWindowPos(wnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string windowTextA(HWND wnd) {
    const int cch = GetWindowTextLengthA(wnd);
    if (cch <= 0) return std::string();
    std::vector<char> buffer(cch + 1);
    const int got = GetWindowTextA(wnd, buffer.data(), cch + 1);
    return std::string(buffer.data(), got > 0 ? got : 0);
}

std::string dlgItemTextA(HWND dlg, int id) { return windowTextA(GetDlgItem(dlg, id)); }

void runRestoreWizard(RestoreSession& session, HWND owner, RestoreCallback* platform) {
    HINSTANCE resources = restoreResourceModule();
    ensureLinkClass("SysLink");

    // The size that the common controls of Windows NT 4.0 and 2000 know: they refuse a page
    // of the later, larger size, whose added fields the wizard does not use.
    PROPSHEETPAGEA pages[2] = {};
    pages[0].dwSize = PROPSHEETPAGEA_V2_SIZE;
    pages[0].dwFlags = PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
    pages[0].hInstance = resources;
    pages[0].pszTemplate = MAKEINTRESOURCEA(IDD_WELCOME);
    pages[0].pfnDlgProc = welcomePageProc;
    pages[0].lParam = reinterpret_cast<LPARAM>(&session);
    pages[0].pszHeaderTitle = "注册表恢复 - 欢迎使用";
    pages[0].pszHeaderSubTitle = "恢复 Windows 注册表";

    pages[1].dwSize = PROPSHEETPAGEA_V2_SIZE;
    pages[1].dwFlags = PSP_USEHEADERTITLE;
    pages[1].hInstance = resources;
    pages[1].pszTemplate = MAKEINTRESOURCEA(IDD_PROGRESS);
    pages[1].pfnDlgProc = progressPageProc;
    ProgressPageStart progressStart = {&session, platform};
    pages[1].lParam = reinterpret_cast<LPARAM>(&progressStart);
    pages[1].pszHeaderTitle = "注册表恢复";
    HPROPSHEETPAGE handles[2] = {CreatePropertySheetPageA(&pages[0]), CreatePropertySheetPageA(&pages[1])};
    if (!handles[0] || !handles[1]) {
        for (HPROPSHEETPAGE handle : handles)
            if (handle) DestroyPropertySheetPage(handle);
        return;
    }

    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_WIZARD97 | PSH_HEADER | PSH_NOAPPLYNOW | PSH_USECALLBACK;
    header.hwndParent = owner;
    header.hInstance = resources;
    header.pszCaption = kSheetCaption;
    header.nPages = 2;
    header.nStartPage = 0;
    header.phpage = handles;
    header.pfnCallback = sheetCallback;
    // The header bitmap is handed over loaded: the sheet did not draw it from a resource id.
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(resources, MAKEINTRESOURCEA(IDB_HEADER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (bitmap) {
        header.dwFlags |= PSH_USEHBMHEADER;
        header.hbmHeader = bitmap;
    } else {
        header.pszbmHeader = MAKEINTRESOURCEA(IDB_HEADER);
    }
    PropertySheetA(&header);
    if (bitmap) DeleteObject(bitmap);
}
