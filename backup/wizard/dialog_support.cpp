#include "dialog_support.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdarg>

#include "platform.h"
#include "resource.h"
#include "subclass.h"

void centreOverOwner(HWND window) {
    RECT self;
    if (!GetWindowRect(window, &self)) return;
    const RECT area = workAreaNear(window);

    RECT centre = area;
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &centre);

    const int width = self.right - self.left, height = self.bottom - self.top;
    int x = (centre.left + centre.right - width) / 2;
    int y = (centre.top + centre.bottom - height) / 2;
    if (x + width > area.right) x = area.right - width;
    if (y + height > area.bottom) y = area.bottom - height;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring programCaption() {
    wchar_t text[64];
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_CAPTION, text, 64) > 0) return text;
    return L"注册表备份";
}

int messageBox(HWND owner, const std::wstring& text, UINT flags) {
    return MessageBoxW(owner, text.c_str(), programCaption().c_str(), flags);
}

int messageBox(HWND owner, const std::wstring& text, const wchar_t* caption, UINT flags) {
    return MessageBoxW(owner, text.c_str(), caption, flags);
}

std::wstring windowText(HWND window) {
    int cch = GetWindowTextLengthW(window);
    if (cch <= 0) return {};
    std::wstring text(cch + 1, L'\0');
    cch = GetWindowTextW(window, &text[0], cch + 1);
    text.resize(cch > 0 ? cch : 0);
    return text;
}

std::wstring dlgItemText(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }

std::wstring formatText(const wchar_t* format, ...) {
    wchar_t buffer[1025];
    va_list args;
    va_start(args, format);
    int cch = wvsprintfW(buffer, format, args);
    va_end(args);
    return std::wstring(buffer, cch > 0 ? cch : 0);
}

void shellOpen(HWND owner, const std::wstring& target, const wchar_t* workingFolder) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = L"open";
    info.lpFile = target.c_str();
    info.lpDirectory = workingFolder;
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
}

namespace {

// What a link label remembers: its text split around the tags and its mouse state.
struct LinkLabel {
    std::wstring before, link, after;
    bool hover = false;
    bool visited = false;
    bool pressed = false;
    RECT linkRect = {};
};

void splitLinkText(const std::wstring& text, LinkLabel& label) {
    size_t open = text.find(L"<a>");
    size_t close = open == std::wstring::npos ? std::wstring::npos : text.find(L"</a>", open + 3);
    if (close == std::wstring::npos) {
        label.link = text;  // no tags: the whole text is the link
        return;
    }
    label.before = text.substr(0, open);
    label.link = text.substr(open + 3, close - open - 3);
    label.after = text.substr(close + 4);
}

// The control's font with an underline; null when none could be made.
HFONT underlinedFont(HFONT base) {
    LOGFONTW lf = {};
    if (!base || !GetObjectW(base, sizeof(lf), &lf)) return nullptr;
    lf.lfUnderline = TRUE;
    return CreateFontIndirectW(&lf);
}

void paintLinkLabel(HWND window, LinkLabel& label) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(window, &client);
    HWND parent = GetParent(window);
    HBRUSH brush = reinterpret_cast<HBRUSH>(
        SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)));
    FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);

    HFONT plain = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    HFONT underlined = label.hover ? underlinedFont(plain) : nullptr;
    HGDIOBJ old = SelectObject(dc, plain ? plain : GetStockObject(DEFAULT_GUI_FONT));
    int x = 0;
    SIZE size = {};
    auto drawPart = [&](const std::wstring& part, COLORREF colour) {
        if (part.empty()) return;
        SetTextColor(dc, colour);
        TextOutW(dc, x, 0, part.c_str(), static_cast<int>(part.size()));
        GetTextExtentPoint32W(dc, part.c_str(), static_cast<int>(part.size()), &size);
        x += size.cx;
    };
    drawPart(label.before, GetSysColor(COLOR_WINDOWTEXT));
    if (underlined) SelectObject(dc, underlined);
    int start = x;
    drawPart(label.link, label.visited ? RGB(128, 0, 128) : RGB(0, 0, 255));
    label.linkRect = {start, 0, x, size.cy ? size.cy : client.bottom};
    if (underlined) SelectObject(dc, plain);
    drawPart(label.after, GetSysColor(COLOR_WINDOWTEXT));
    SelectObject(dc, old);
    if (underlined) DeleteObject(underlined);
    EndPaint(window, &ps);
}

bool overLink(HWND window, LinkLabel& label, LPARAM lParam) {
    // Before the first paint the link rectangle is unknown: take the whole control.
    if (IsRectEmpty(&label.linkRect)) GetClientRect(window, &label.linkRect);
    POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    return PtInRect(&label.linkRect, pt) != FALSE;
}

LRESULT linkLabelProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR data) {
    auto* label = reinterpret_cast<LinkLabel*>(data);
    switch (msg) {
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_PAINT:
        paintLinkLabel(window, *label);
        return 0;
    case WM_SETTEXT: {
        LRESULT result = callOriginalProc(window, msg, wParam, lParam);
        *label = LinkLabel();
        splitLinkText(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"", *label);
        InvalidateRect(window, nullptr, TRUE);
        return result;
    }
    case WM_SETCURSOR: {
        POINT pt;
        GetCursorPos(&pt);
        ScreenToClient(window, &pt);
        if (IsRectEmpty(&label->linkRect) || PtInRect(&label->linkRect, pt)) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    case WM_MOUSEMOVE: {
        bool hover = overLink(window, *label, lParam);
        if (hover != label->hover) {
            label->hover = hover;
            InvalidateRect(window, nullptr, TRUE);
            if (hover) {
                TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, window, 0};
                TrackMouseEvent(&track);
            }
        }
        return 0;
    }
    case WM_MOUSELEAVE:
        label->hover = false;
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_LBUTTONDOWN:
        label->pressed = overLink(window, *label, lParam);
        return 0;
    case WM_LBUTTONUP:
        if (label->pressed && overLink(window, *label, lParam)) {
            label->pressed = false;
            label->visited = true;
            InvalidateRect(window, nullptr, TRUE);
            SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), BN_CLICKED),
                         reinterpret_cast<LPARAM>(window));
        }
        label->pressed = false;
        return 0;
    case WM_NCDESTROY:
        delete label;
        break;
    }
    return callOriginalProc(window, msg, wParam, lParam);
}

}  // namespace

void makeLinkLabel(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return;
    auto* label = new LinkLabel();
    splitLinkText(windowText(control), *label);
    if (!subclassWindow(control, linkLabelProc, reinterpret_cast<DWORD_PTR>(label))) {
        delete label;
        return;
    }
    InvalidateRect(control, nullptr, TRUE);
}

void setUpSingleColumnList(HWND list, const wchar_t* title, int width) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(title);
    column.cx = width;
    ListView_InsertColumn(list, 0, &column);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
}
