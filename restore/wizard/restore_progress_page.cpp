// The progress page: Finish (labelled "开始") runs the restore on this thread; the
// engine's notices fill the status line and the progress list.
#include "restore_progress_page.h"

#include <commctrl.h>
#include <prsht.h>

#include <memory>

#include "errors.h"
#include "resource.h"
#include "restore_wizard.h"
#include "session.h"

namespace {

constexpr int kProgressPageIndex = 1;

// The text of a JOB_STATUS or JOB_LOGLINE notice, with the step of a log line; the
// receiver takes ownership.
struct NoticeText {
    RestoreStep step;
    std::string text;
};

std::unique_ptr<NoticeText> takeNotice(LPARAM lParam) {
    return std::unique_ptr<NoticeText>(reinterpret_cast<NoticeText*>(lParam));
}

// The page as the engine's front end: reports become notices the page posts to itself,
// questions and the restart note message boxes owned by the page.
class PageCallback final : public RestoreCallback {
public:
    PageCallback(HWND page, RestoreCallback* platform) : page_(page), platform_(platform) {}

    void started() override { PostMessageA(page_, WM_JOB_NOTIFY, JOB_STARTED, 0); }
    void status(const std::string& text) override { post(JOB_STATUS, kOwnLine, text); }
    void logLine(RestoreStep step, const std::string& text) override { post(JOB_LOGLINE, step, text); }
    void finished() override { PostMessageA(page_, WM_JOB_NOTIFY, JOB_FINISHED, 0); }

    bool askToGoOn(const std::string& text, QuestionCaption caption) override {
        const std::string title = caption == QuestionCaption::RestoreError ? "恢复错误" : programCaption();
        return MessageBoxA(page_, text.c_str(), title.c_str(), MB_YESNO | MB_ICONINFORMATION) != IDNO;
    }
    void restartNote(const std::string& text, const std::string& caption) override {
        MessageBoxA(page_, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
    }

    LONG replaceKey(HKEY root, const std::string& subKey, const std::string& newFile,
                    const std::string& oldFile) override {
        return platform_ ? platform_->replaceKey(root, subKey, newFile, oldFile)
                         : RestoreCallback::replaceKey(root, subKey, newFile, oldFile);
    }
    void restartWindows() override {
        if (platform_) {
            platform_->restartWindows();
        } else {
            RestoreCallback::restartWindows();
        }
    }
    HiveCheckResult loadCheck(const std::wstring& file, const std::wstring& scratchParent) override {
        return platform_ ? platform_->loadCheck(file, scratchParent) : RestoreCallback::loadCheck(file, scratchParent);
    }

private:
    void post(WPARAM kind, RestoreStep step, const std::string& text) {
        std::unique_ptr<NoticeText> notice(new NoticeText{step, text});
        if (PostMessageA(page_, WM_JOB_NOTIFY, kind, reinterpret_cast<LPARAM>(notice.get()))) notice.release();
    }
    static std::string programCaption() {
        char caption[128] = "";
        if (LoadStringA(restoreResourceModule(), IDS_CAPTION, caption, sizeof(caption)) <= 0) return "注册表恢复";
        return caption;
    }

    HWND page_;
    RestoreCallback* platform_;
};

struct ProgressContext {
    RestoreSession* session = nullptr;
    RestoreCallback* platform = nullptr;
    bool running = false;
};

ProgressContext* contextOf(HWND page) {
    return reinterpret_cast<ProgressContext*>(GetWindowLongPtrA(page, DWLP_USER));
}

int appendItem(HWND list, RestoreStep step, const std::string& text) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char*>(text.c_str());
    item.lParam = step;
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
    PageCallback callback(page, context.platform);
    RunRestore(*context.session, callback);
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
        std::unique_ptr<NoticeText> notice = takeNotice(lParam);
        if (notice) SetDlgItemTextA(page, IDC_STATUS_TEXT, notice->text.c_str());
        break;
    }
    case JOB_LOGLINE: {
        std::unique_ptr<NoticeText> notice = takeNotice(lParam);
        if (!notice) break;
        HWND list = GetDlgItem(page, IDC_PROGRESS_LIST);
        const int index = mergeLogLine(list, notice->step, notice->text);
        if (index >= 0) SendMessageA(list, LVM_ENSUREVISIBLE, index, FALSE);
        SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE);
        break;
    }
    }
}

}  // namespace

int mergeLogLine(HWND list, RestoreStep step, const std::string& text) {
    if (step == kOwnLine) return appendItem(list, step, text);
    LVFINDINFOA find = {};
    find.flags = LVFI_PARAM;
    find.lParam = step;
    const int index = static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                                    reinterpret_cast<LPARAM>(&find)));
    if (index < 0) return appendItem(list, step, text);
    LVITEMA item = {};
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(text.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    return index;
}

INT_PTR CALLBACK progressPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        const PROPSHEETPAGEA* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
        const ProgressPageStart* start = reinterpret_cast<const ProgressPageStart*>(sheetPage->lParam);
        ProgressContext* context = new ProgressContext;
        context->session = start->session;
        context->platform = start->platform;
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
            takeNotice(lParam);
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
