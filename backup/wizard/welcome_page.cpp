// The wizard's first page: backup folder and hive groups, with the links to the
// advanced options, the backup browser and help.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "advanced_options_dialog.h"
#include "backup_browser.h"
#include "dialog_support.h"
#include "folder_naming.h"
#include "job.h"
#include "platform.h"
#include "resource.h"
#include "settings.h"
#include "show_help.h"
#include "wizard_pages.h"

namespace {

struct HiveBox {
    int id;
    DWORD bit;
};
constexpr HiveBox kHiveBoxes[] = {
    {IDC_HIVE_SYSTEM, kHiveSystem}, {IDC_HIVE_USER, kHiveCurrentUser}, {IDC_HIVE_OTHERS, kHiveOthers}};

BackupJob* jobOf(HWND page) { return reinterpret_cast<BackupJob*>(GetWindowLongPtrW(page, DWLP_USER)); }

void showDefaultFolder(HWND page, BackupJob& job) {
    SetDlgItemTextW(page, IDC_BACKUP_FOLDER, defaultFolderExpanded(job).c_str());
}

void onInit(HWND page, BackupJob& job) {
    SendDlgItemMessageW(page, IDC_BACKUP_FOLDER, EM_LIMITTEXT, 259, 0);
    showDefaultFolder(page, job);
    const DWORD mask = readDefHives();
    for (const HiveBox& box : kHiveBoxes)
        CheckDlgButton(page, box.id, (mask & box.bit) ? BST_CHECKED : BST_UNCHECKED);
    // Completion came with Internet Explorer 5: looked up, so that the program starts without it.
    static const auto autoComplete = systemFunction<decltype(&SHAutoComplete)>(L"shlwapi.dll", "SHAutoComplete");
    if (autoComplete)
        autoComplete(GetDlgItem(page, IDC_BACKUP_FOLDER), SHACF_FILESYS_DIRS | SHACF_AUTOSUGGEST_FORCE_ON | SHACF_USETAB);
    for (int id : {IDC_LINK_OPTIONS, IDC_LINK_BROWSER, IDC_LINK_HELP}) makeLinkLabel(page, id);
}

void onBrowse(HWND page) {
    BROWSEINFOW info = {};
    info.hwndOwner = GetActiveWindow();
    info.lpszTitle = L"选择备份位置:";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE picked = SHBrowseForFolderW(&info);
    if (!picked) return;
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(picked, path)) {
        PathRemoveBackslashW(path);
        SetDlgItemTextW(page, IDC_BACKUP_FOLDER, path);
    }
    CoTaskMemFree(picked);
}

void onAdvancedOptions(HWND page, BackupJob& job) {
    bool folderChanged = false;
    if (runAdvancedOptionsDialog(GetActiveWindow(), &folderChanged) != IDOK) return;
    loadJobSettings(job);
    if (folderChanged) showDefaultFolder(page, job);
}

std::wstring trimmed(const std::wstring& text) {
    const wchar_t* blanks = L" \t\r\n\v\f";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Next: true to go on, false to stay on the page. The first failure ends the checks.
bool onNext(HWND page, BackupJob& job) {
    const std::wstring text = trimmed(dlgItemText(page, IDC_BACKUP_FOLDER));
    if (text.empty()) {
        messageBox(page, L"无效保存位置", MB_OK | MB_ICONEXCLAMATION);
        showDefaultFolder(page, job);
        return false;
    }
    DWORD mask = 0;
    for (const HiveBox& box : kHiveBoxes)
        if (IsDlgButtonChecked(page, box.id) == BST_CHECKED) mask |= box.bit;
    if (mask == 0) {
        messageBox(page, L"请选择至少一个配置单元来备份", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    // Stored before the folder checks, so the choice survives a refused folder.
    writeDefHives(mask);

    std::wstring folder;
    if (!resolveFolder(text, job, folder)) {
        messageBox(page, L"无效保存位置", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    SetDlgItemTextW(page, IDC_BACKUP_FOLDER, folder.c_str());

    if (!PathFileExistsW(folder.c_str())) {
        // The folder is not created here: the backup job creates it.
        std::wstring question = formatText(L"保存注册表的文件夹不存在: \n%s\n\n要创建它吗？", folder.c_str());
        if (messageBox(page, question, MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
    }
    job.backupFolder = folder;
    job.hiveMask = mask;
    return true;
}

INT_PTR onNotify(HWND page, BackupJob& job, NMHDR* header) {
    switch (header->code) {
    case PSN_SETACTIVE:
        PostMessageW(GetParent(page), PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
        SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
        return TRUE;
    case PSN_WIZNEXT:
        SetWindowLongPtrW(page, DWLP_MSGRESULT, onNext(page, job) ? 0 : -1);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK welcomePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* sheetPage = reinterpret_cast<PROPSHEETPAGEW*>(lParam);
        SetWindowLongPtrW(page, DWLP_USER, sheetPage->lParam);
        onInit(page, *reinterpret_cast<BackupJob*>(sheetPage->lParam));
        return TRUE;
    }
    BackupJob* job = jobOf(page);
    if (!job) return FALSE;
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_BROWSE:
            onBrowse(page);
            return TRUE;
        case IDC_LINK_OPTIONS:
            onAdvancedOptions(page, *job);
            return TRUE;
        case IDC_LINK_BROWSER:
            runBackupBrowserDialog(GetActiveWindow());
            return TRUE;
        case IDC_LINK_HELP:
            ShowHelp(page);
            return TRUE;
        }
        return FALSE;
    case WM_NOTIFY:
        return onNotify(page, *job, reinterpret_cast<NMHDR*>(lParam));
    }
    return FALSE;
}
