// The progress page: Finish (labelled "开始") runs the restore on this thread; the
// engine's notices fill the status line and the progress list.
#include "restore_progress_page.h"

#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "engine.h"
#include "errors.h"
#include "resource.h"
#include "session.h"

namespace {

constexpr int kProgressPageIndex = 1;

struct ProgressContext {
    RestoreSession* session = nullptr;
    bool running = false;
};

ProgressContext* contextOf(HWND page) {
    return reinterpret_cast<ProgressContext*>(GetWindowLongPtrA(page, DWLP_USER));
}

std::string itemText(HWND list, int index) {
    std::vector<char> buffer(2048);
    for (;;) {
        LVITEMA item = {};
        item.iSubItem = 0;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        const int cch = static_cast<int>(
            SendMessageA(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item)));
        if (cch < static_cast<int>(buffer.size()) - 1) return std::string(buffer.data(), cch);
        buffer.resize(buffer.size() * 2);
    }
}

// Byte offset of the first "..." in GBK text, skipping the trail bytes of double-byte
// characters; npos when there is none.
size_t findEllipsis(const std::string& text) {
    const char* start = text.c_str();
    for (const char* p = start; *p; p = CharNextA(p)) {
        if (p[0] == '.' && p[1] == '.' && p[2] == '.') return static_cast<size_t>(p - start);
    }
    return std::string::npos;
}

int appendItem(HWND list, const std::string& text) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char*>(text.c_str());
    return static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void setHeaderTitle(HWND page, const char* title) {
    SendMessageA(GetParent(page), PSM_SETHEADERTITLEA, kProgressPageIndex,
                 reinterpret_cast<LPARAM>(title));
}

void onInit(HWND page, ProgressContext* context) {
    SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(context));
    context->running = false;
    HWND list = GetDlgItem(page, IDC_PROGRESS_LIST);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = 10;
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
}

void onSetActive(HWND page) {
    HWND sheet = GetParent(page);
    PostMessageA(sheet, PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_FINISH);
    SendMessageA(sheet, PSM_SETFINISHTEXTA, 0, reinterpret_cast<LPARAM>("开始"));
    SendDlgItemMessageA(page, IDC_PROGRESS_LIST, LVM_DELETEALLITEMS, 0, 0);
}

void onFinish(HWND page, ProgressContext& context) {
    PostMessageA(GetParent(page), PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);
    SetDlgItemTextA(page, IDC_MAIN_TEXT, "请稍等...\n恢复时您的计算机可能没有反应。");
    RunRestore(*context.session, page);
}

void onNotify(HWND page, ProgressContext& context, WPARAM kind, LPARAM lParam) {
    switch (kind) {
    case JOB_STARTED:
        context.running = true;
        break;
    case JOB_FINISHED: {
        context.running = false;
        setHeaderTitle(page, "注册表恢复 - 完成");
        const RestoreSession& session = *context.session;
        if (session.failed) {
            SetDlgItemTextA(page, IDC_MAIN_TEXT, "注册表恢复遇到错误。");
            std::string detail = "错误: " + errorMessageA(session.failureCode);
            SetDlgItemTextA(page, IDC_STATUS_TEXT, detail.c_str());
        } else {
            SetDlgItemTextA(page, IDC_MAIN_TEXT, "注册表恢复操作完成。");
            SetDlgItemTextA(page, IDC_STATUS_TEXT, "");
        }
        break;
    }
    case JOB_STATUS: {
        std::string text = takeNotifyText(lParam);
        SetDlgItemTextA(page, IDC_STATUS_TEXT, text.c_str());
        break;
    }
    case JOB_LOGLINE: {
        std::string text = takeNotifyText(lParam);
        HWND list = GetDlgItem(page, IDC_PROGRESS_LIST);
        const int index = mergeLogLine(list, text);
        if (index >= 0) SendMessageA(list, LVM_ENSUREVISIBLE, index, FALSE);
        SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE);
        break;
    }
    }
}

}  // namespace

int mergeLogLine(HWND list, const std::string& text) {
    const size_t ellipsis = findEllipsis(text);
    if (ellipsis == std::string::npos) return appendItem(list, text);
    const std::string key = text.substr(0, ellipsis);
    const std::string rest = text.substr(ellipsis + 3);
    const int keyLength = static_cast<int>(key.size());
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::string old = itemText(list, i);
        if (static_cast<int>(old.size()) < keyLength) continue;
        if (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, old.c_str(), keyLength,
                           key.c_str(), keyLength) != CSTR_EQUAL)
            continue;
        std::string merged = old + rest;
        LVITEMA item = {};
        item.iSubItem = 0;
        item.pszText = const_cast<char*>(merged.c_str());
        SendMessageA(list, LVM_SETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
        return i;
    }
    return appendItem(list, text);
}

INT_PTR CALLBACK progressPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        const PROPSHEETPAGEA* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
        ProgressContext* context = new ProgressContext;
        context->session = reinterpret_cast<RestoreSession*>(sheetPage->lParam);
        onInit(page, context);
        return TRUE;
    }
    case WM_NCDESTROY:
        delete contextOf(page);
        SetWindowLongPtrA(page, DWLP_USER, 0);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SHOW_PROGRESS && HIWORD(wParam) == BN_CLICKED) {
            ShowWindow(GetDlgItem(page, IDC_PROGRESS_LIST), SW_SHOW);
            ShowWindow(GetDlgItem(page, IDC_SHOW_PROGRESS), SW_HIDE);
            return TRUE;
        }
        return FALSE;
    case WM_JOB_NOTIFY: {
        ProgressContext* context = contextOf(page);
        if (context) {
            onNotify(page, *context, wParam, lParam);
        } else if (wParam == JOB_STATUS || wParam == JOB_LOGLINE) {
            takeNotifyText(lParam);
        }
        return TRUE;
    }
    case WM_NOTIFY: {
        ProgressContext* context = contextOf(page);
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!context) return FALSE;
        switch (header->code) {
        case PSN_SETACTIVE:
            onSetActive(page);
            SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
            return TRUE;
        case PSN_WIZFINISH:
            onFinish(page, *context);
            // The wizard stays open with the results; only Cancel leaves it.
            SetWindowLongPtrA(page, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case PSN_QUERYCANCEL:
            SetWindowLongPtrA(page, DWLP_MSGRESULT, context->running ? TRUE : FALSE);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}
