// The platform's side of the wizard start benchmark (tools/bench-wizard.sh): a wizard
// property sheet with one empty page, nothing else. Not a test.
#include <windows.h>
#include <commctrl.h>

namespace {

INT_PTR CALLBACK pageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof(page);
    page.hInstance = instance;
    page.pszTemplate = MAKEINTRESOURCEW(100);
    page.pfnDlgProc = pageProc;
    HPROPSHEETPAGE pages[1] = {CreatePropertySheetPageW(&page)};
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_WIZARD | PSH_NOAPPLYNOW;
    header.hInstance = instance;
    header.pszCaption = L"Sheet";
    header.nPages = 1;
    header.phpage = pages;
    PropertySheetW(&header);
    return 0;
}
