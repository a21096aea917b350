// The backup wizard: a two-page property sheet (welcome, progress).
#include "backup_wizard.h"

#include <commctrl.h>

#include "backup_system.h"
#include "dialog_support.h"
#include "platform.h"
#include "resource.h"
#include "show_help.h"
#include "subclass.h"
#include "wizard_pages.h"

#ifndef PSH_AEROWIZARD
#define PSH_AEROWIZARD 0x00004000  // missing from the cross compiler's headers
#endif

namespace {

// Posted once the sheet exists: some platforms size the sheet before the callback runs,
// so the first size message may never reach the subclass.
constexpr UINT kCentreOnce = WM_APP + 1;

// The sheet centres itself once, when it first learns its size, and answers F1.
LRESULT sheetSubclassProc(HWND sheet, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR data) {
    auto* centred = reinterpret_cast<bool*>(data);
    switch (msg) {
    case WM_SIZE: {
        LRESULT result = callOriginalProc(sheet, msg, wParam, lParam);
        if (!*centred) {
            *centred = true;
            centreOverOwner(sheet);
        }
        return result;
    }
    case kCentreOnce:
        if (!*centred) {
            *centred = true;
            centreOverOwner(sheet);
        }
        return 0;
    case WM_HELP:
        ShowHelp(sheet);
        return TRUE;
    }
    return callOriginalProc(sheet, msg, wParam, lParam);
}

bool g_centred = false;

int CALLBACK sheetCallback(HWND sheet, UINT msg, LPARAM) {
    if (msg == PSCB_INITIALIZED) {
        g_centred = false;
        if (subclassWindow(sheet, sheetSubclassProc, reinterpret_cast<DWORD_PTR>(&g_centred)))
            PostMessageW(sheet, kCentreOnce, 0, 0);
    }
    return 0;
}

// The Aero wizard from Windows Vista on, except for a 32-bit program on 64-bit Windows.
bool useAeroWizard() { return GetWindowsLevel() >= WindowsLevel::Vista && !isWow64(); }

}  // namespace

void runBackupWizard(BackupJob& job, HWND owner) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    PROPSHEETPAGEW pages[2] = {};
    for (PROPSHEETPAGEW& page : pages) {
        // The size that the common controls of Windows 2000 know: they refuse a page of
        // the later, larger size, whose added fields the wizard does not use.
        page.dwSize = PROPSHEETPAGEW_V2_SIZE;
        page.dwFlags = PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
        page.hInstance = instance;
        page.lParam = reinterpret_cast<LPARAM>(&job);
    }
    pages[0].pszTemplate = MAKEINTRESOURCEW(IDD_WELCOME);
    pages[0].pfnDlgProc = welcomePageProc;
    pages[0].pszHeaderTitle = L"注册表备份 - 欢迎使用";
    pages[0].pszHeaderSubTitle = L"备份 Windows 注册表用于以后恢复";
    pages[1].pszTemplate = MAKEINTRESOURCEW(IDD_PROGRESS);
    pages[1].pfnDlgProc = progressPageProc;
    pages[1].pszHeaderTitle = L"注册表备份";
    pages[1].pszHeaderSubTitle = L"";
    HPROPSHEETPAGE handles[2] = {CreatePropertySheetPageW(&pages[0]), CreatePropertySheetPageW(&pages[1])};
    if (!handles[0] || !handles[1]) {
        for (HPROPSHEETPAGE handle : handles)
            if (handle) DestroyPropertySheetPage(handle);
        return;
    }

    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_WIZARD | PSH_NOAPPLYNOW | PSH_USECALLBACK;
    if (useAeroWizard())
        header.dwFlags |= PSH_AEROWIZARD;
    else
        header.dwFlags |= PSH_WIZARD97 | PSH_HEADER;
    header.hwndParent = owner;
    header.hInstance = instance;
    header.pszCaption = L"注册表备份/恢复工具";
    header.nPages = 2;
    header.phpage = handles;
    // The header bitmap is handed over loaded: the sheet did not draw it from a resource id.
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_HEADER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (bitmap) {
        header.dwFlags |= PSH_USEHBMHEADER;
        header.hbmHeader = bitmap;
    } else {
        header.pszbmHeader = MAKEINTRESOURCEW(IDB_HEADER);
    }
    header.pfnCallback = sheetCallback;
    PropertySheetW(&header);
    if (bitmap) DeleteObject(bitmap);
}
