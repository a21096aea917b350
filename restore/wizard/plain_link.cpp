#include "plain_link.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

// Window data: the font the dialog gave the control.
constexpr int kFontOffset = 0;

std::string shownText(HWND window) {
    const int cch = GetWindowTextLengthA(window);
    std::vector<char> buffer(cch > 0 ? cch + 1 : 1, '\0');
    GetWindowTextA(window, buffer.data(), static_cast<int>(buffer.size()));
    std::string text = buffer.data();
    for (const char* tag : {"<a>", "</a>", "<A>", "</A>"})
        for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag))
            text.erase(at, lstrlenA(tag));
    return text;
}

void paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(window, &client);
    HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(GetParent(window), WM_CTLCOLORSTATIC,
                                                         reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)));
    FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));

    HFONT font = reinterpret_cast<HFONT>(GetWindowLongPtrA(window, kFontOffset));
    LOGFONTA lf = {};
    HFONT underlined = nullptr;
    if (GetObjectA(font ? font : GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf)) {
        lf.lfUnderline = TRUE;
        underlined = CreateFontIndirectA(&lf);
    }
    HGDIOBJ old = SelectObject(dc, underlined ? underlined : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(window) ? RGB(0, 0, 255) : GetSysColor(COLOR_GRAYTEXT));
    const std::string text = shownText(window);
    RECT extent = client;
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &extent, DT_SINGLELINE | DT_NOPREFIX);
    if (GetFocus() == window) {
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &extent,
                  DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        DrawFocusRect(dc, &extent);
    }
    SelectObject(dc, old);
    if (underlined) DeleteObject(underlined);
    EndPaint(window, &ps);
}

void notifyParent(HWND window, UINT code) {
    NMLINK link = {};
    link.hdr.hwndFrom = window;
    link.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(window));
    link.hdr.code = code;
    SendMessageA(GetParent(window), WM_NOTIFY, link.hdr.idFrom, reinterpret_cast<LPARAM>(&link));
}

LRESULT CALLBACK linkProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_SETFONT:
        SetWindowLongPtrA(window, kFontOffset, static_cast<LONG_PTR>(wParam));
        if (LOWORD(lParam)) InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return GetWindowLongPtrA(window, kFontOffset);
    case WM_SETTEXT:
    case WM_ENABLE: {
        LRESULT result = DefWindowProcA(window, msg, wParam, lParam);
        InvalidateRect(window, nullptr, TRUE);
        return result;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_SETCURSOR: {
        // The hand came with Windows 2000 (and 98); the arrow stays before.
        HCURSOR hand = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));
        SetCursor(hand ? hand : LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
        return TRUE;
    }
    case WM_GETDLGCODE:
        // Return reaches the control while it has the focus, not the sheet's default button.
        if (lParam && reinterpret_cast<const MSG*>(lParam)->message == WM_KEYDOWN &&
            reinterpret_cast<const MSG*>(lParam)->wParam == VK_RETURN)
            return DLGC_WANTMESSAGE;
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_SPACE) {
            notifyParent(window, NM_RETURN);
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
        SetFocus(window);
        SetCapture(window);
        return 0;
    case WM_LBUTTONUP: {
        if (GetCapture() != window) return 0;
        ReleaseCapture();
        RECT client;
        GetClientRect(window, &client);
        POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (PtInRect(&client, pt)) notifyParent(window, NM_CLICK);
        return 0;
    }
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

bool ensureLinkClass(const char* className) {
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof(existing);
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    if (GetClassInfoExA(nullptr, className, &existing) || GetClassInfoExA(instance, className, &existing))
        return true;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    // A class for every module of the process: the pages may come from a resource module.
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = linkProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.lpszClassName = className;
    return RegisterClassExA(&wc) != 0;
}
