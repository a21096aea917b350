// The wizard's second page: starts the backup, shows its status line and log, and
// reports the outcome.
#include <windows.h>
#include <commctrl.h>

#include "backup_system.h"
#include "dialog_support.h"
#include "job.h"
#include "job_window.h"
#include "resource.h"
#include "wizard_pages.h"

namespace {

struct ProgressContext {
    BackupJob* job = nullptr;
    WindowJobListener listener{nullptr};  // posts the run's reports to the page
    HWND statusLink = nullptr;  // the status area from Windows XP on
    bool started = false;
};

ProgressContext* contextOf(HWND page) {
    return reinterpret_cast<ProgressContext*>(GetWindowLongPtrW(page, DWLP_USER));
}

HWND logOf(HWND page) { return GetDlgItem(page, IDC_LOG); }

void setStatus(HWND page, ProgressContext* ctx, const std::wstring& text) {
    SetWindowTextW(ctx->statusLink ? ctx->statusLink : GetDlgItem(page, IDC_STATUS), text.c_str());
}

void onInit(HWND page, ProgressContext* ctx) {
    HWND placeholder = GetDlgItem(page, IDC_STATUS);
    if (GetWindowsLevel() >= WindowsLevel::WindowsXp) {
        RECT rect;
        GetWindowRect(placeholder, &rect);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rect), 2);
        ctx->statusLink = CreateWindowExW(0, WC_LINK, L"", WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                                          rect.right - rect.left, rect.bottom - rect.top, page, nullptr,
                                          GetModuleHandleW(nullptr), nullptr);
        if (ctx->statusLink) SendMessageW(ctx->statusLink, WM_SETFONT, SendMessageW(page, WM_GETFONT, 0, 0), TRUE);
    }
    if (!ctx->statusLink) ShowWindow(placeholder, SW_SHOW);

    HWND list = logOf(page);
    setUpSingleColumnList(list, L"", 10);
    ListView_SetBkColor(list, GetSysColor(COLOR_BTNFACE));
    ListView_SetTextBkColor(list, GetSysColor(COLOR_BTNFACE));
    ListView_SetTextColor(list, GetSysColor(COLOR_BTNTEXT));
}

void onSetActive(HWND page, ProgressContext* ctx) {
    HWND sheet = GetParent(page);
    PostMessageW(sheet, PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_FINISH);
    SendMessageW(sheet, PSM_SETFINISHTEXT, 0, reinterpret_cast<LPARAM>(L"开始"));
    std::wstring message = formatText(L"单击 [开始] 保存注册表到文件夹:\n%s", ctx->job->backupFolder.c_str());
    SetDlgItemTextW(page, IDC_MAIN_MESSAGE, message.c_str());
    ListView_DeleteAllItems(logOf(page));
}

void onStart(HWND page, ProgressContext* ctx) {
    if (ctx->started) return;  // one backup per wizard
    ctx->started = true;
    ShowWindow(logOf(page), SW_SHOW);
    PostMessageW(GetParent(page), PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);
    SetDlgItemTextW(page, IDC_MAIN_MESSAGE, L"请稍等...\n备份时您的计算机可能会没有反应。");
    runBackup(*ctx->job, &ctx->listener);
}

void onFinished(HWND page, ProgressContext* ctx) {
    HWND sheet = GetParent(page);
    LRESULT index = SendMessageW(sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0);
    if (index >= 0) SendMessageW(sheet, PSM_SETHEADERTITLE, index, reinterpret_cast<LPARAM>(L"注册表备份 - 完成"));

    const BackupJob& job = *ctx->job;
    // A hive that could not be saved makes the run a failure too, not only a job error.
    if (jobHadErrors(job)) {
        SetDlgItemTextW(page, IDC_MAIN_MESSAGE, L"注册表备份遇到错误。");
        setStatus(page, ctx, formatText(L"错误: %s", jobErrorText(job).c_str()));
        return;
    }
    SetDlgItemTextW(page, IDC_MAIN_MESSAGE, L"注册表备份操作结束。");
    std::wstring status = L"要在以后恢复注册表，请从备份文件夹运行 SURVIN.EXE 程序\n";
    if (ctx->statusLink)
        status += formatText(L"<A ID=\"idBackupFolder\">%s</A>", job.backupFolder.c_str());
    else
        status += job.backupFolder;
    setStatus(page, ctx, status);
}

void onJobNotify(HWND page, ProgressContext* ctx, WPARAM wParam, LPARAM lParam) {
    // The text belongs to this page from now on, whatever the kind.
    std::wstring text = takeNotifyText(lParam);
    switch (notifyKindOf(wParam)) {
    case JOB_FINISHED:
        onFinished(page, ctx);
        break;
    case JOB_STATUS:
        setStatus(page, ctx, text);
        break;
    case JOB_LOGLINE:
        addLogLine(logOf(page), notifyStepOf(wParam), text);
        break;
    default:
        break;
    }
}

INT_PTR onNotify(HWND page, ProgressContext* ctx, NMHDR* header) {
    if (ctx->statusLink && header->hwndFrom == ctx->statusLink) {
        if (header->code == NM_CLICK || header->code == NM_RETURN) {
            auto* link = reinterpret_cast<NMLINK*>(header);
            if (wcscmp(link->item.szID, L"idBackupFolder") == 0) shellOpen(page, ctx->job->backupFolder);
        }
        return FALSE;
    }
    LONG_PTR result = 0;
    switch (header->code) {
    case PSN_SETACTIVE:
        onSetActive(page, ctx);
        break;
    case PSN_WIZFINISH:
        onStart(page, ctx);
        result = TRUE;  // the wizard stays open after the job
        break;
    case PSN_WIZBACK:
    case PSN_KILLACTIVE:
        break;
    case PSN_QUERYCANCEL:
        // Refused while the worker saves hives.
        result = jobIsSaving(*ctx->job);
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace

int addLogLine(HWND list, StepId step, const std::wstring& line) {
    int index = -1;
    if (step != kLineOfItsOwn) {
        LVFINDINFOW find = {};
        find.flags = LVFI_PARAM;
        find.lParam = static_cast<LPARAM>(step);
        index = ListView_FindItem(list, -1, &find);
        if (index >= 0) {
            std::wstring text = line;
            ListView_SetItemText(list, index, 0, &text[0]);
        }
    }
    if (index < 0) {
        std::wstring whole = line;
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = ListView_GetItemCount(list);
        item.pszText = &whole[0];
        item.lParam = static_cast<LPARAM>(step);
        index = ListView_InsertItem(list, &item);
    }
    ListView_EnsureVisible(list, index, FALSE);
    ListView_SetColumnWidth(list, 0, LVSCW_AUTOSIZE);
    return index;
}

INT_PTR CALLBACK progressPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* ctx = new ProgressContext();
        ctx->job = reinterpret_cast<BackupJob*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
        ctx->listener = WindowJobListener(page);
        SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(ctx));
        onInit(page, ctx);
        return TRUE;
    }
    ProgressContext* ctx = contextOf(page);
    if (!ctx) return FALSE;
    switch (msg) {
    case WM_JOB_NOTIFY:
        onJobNotify(page, ctx, wParam, lParam);
        return TRUE;
    case WM_NOTIFY:
        return onNotify(page, ctx, reinterpret_cast<NMHDR*>(lParam));
    case WM_DESTROY:
        SetWindowLongPtrW(page, DWLP_USER, 0);
        delete ctx;
        return FALSE;
    }
    return FALSE;
}
