// The welcome page: shows the backup's information and the planned restore each time it
// becomes active; the options link leads to the advanced options.
#include "restore_welcome_page.h"

#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "edition.h"
#include "loader.h"
#include "resource.h"
#include "restore_help.h"
#include "restore_options_dialog.h"
#include "session.h"

namespace {

RestoreSession* sessionOf(HWND page) {
    return reinterpret_cast<RestoreSession*>(GetWindowLongPtrA(page, DWLP_USER));
}

bool isDirectory(const std::string& path) {
    if (path.empty()) return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Steps shared by activation and the return from the options: buttons, detection and the
// two information texts. False when SURVIN.INI was not loaded (the page then offers
// nothing but Cancel).
bool refresh(HWND page, RestoreSession& session) {
    HWND sheet = GetParent(page);
    PostMessageA(sheet, PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
    DetectRestoreTarget(session);
    if (!session.infoLoaded) {
        PostMessageA(sheet, PSM_SETWIZBUTTONS, 0, PSWIZB_DISABLEDFINISH);
        return false;
    }

    std::string backupInfo = "日期 && 时间\t:    " + session.backupDateTime + "\nWindows\t:    " +
                             session.backupOsString + "\n备份目录  \t:    " +
                             session.backupFolder + "\n";
    SetDlgItemTextA(page, IDC_BACKUP_INFO, backupInfo.c_str());

    std::string running;
    OsInfoRecord record = {};
    if (!identifyWindowsA(running, record, IdentifyMode::Query)) running.clear();
    std::string restoreInfo =
        "恢复来源      \t:    " + running + "\n恢复模式    \t:    " +
        (session.autoDetect ? "自动检测; " : "用户检测; ") + " " +
        (session.restoreMode == WindowsApi ? "(相同 Windows) 将使用 Windows API"
                                           : "(不同 Windows) 将复制文件") +
        "\n恢复到根目录   \t:    " + session.targetWindowsRoot;
    SetDlgItemTextA(page, IDC_RESTORE_INFO, restoreInfo.c_str());
    return true;
}

void onSetActive(HWND page, RestoreSession& session) {
    if (!refresh(page, session)) return;
    // Detection found nothing usable: a copy over the running Windows or a missing folder.
    if (session.autoDetect &&
        ((session.detectedMode == CopyFiles &&
          lstrcmpiA(session.targetWindowsRoot.c_str(), session.currentWindowsRoot.c_str()) == 0) ||
         !isDirectory(session.targetWindowsRoot))) {
        MessageBoxA(page, "无法正常自动检测。\n\n请验证“模式”和“恢复到根目录”选项。",
                    "自动检测失败", MB_OK | MB_ICONWARNING);
    }
}

void onCommand(HWND page, RestoreSession& session, int id) {
    switch (id) {
    case IDC_OPTIONS_LINK:
        if (showRestoreOptionsDialog(GetActiveWindow(), session)) refresh(page, session);
        break;
    case IDC_HELP_LINK:
        showRestoreHelp(page);
        break;
    }
}

}  // namespace

INT_PTR CALLBACK welcomePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        const PROPSHEETPAGEA* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
        SetWindowLongPtrA(page, DWLP_USER, sheetPage->lParam);
        return TRUE;
    }
    case WM_COMMAND:
        if (RestoreSession* session = sessionOf(page)) onCommand(page, *session, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        RestoreSession* session = sessionOf(page);
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!session) return FALSE;
        switch (header->code) {
        case NM_CLICK:
        case NM_RETURN:
            // The link controls act like push buttons.
            if (header->idFrom == IDC_OPTIONS_LINK || header->idFrom == IDC_HELP_LINK) {
                onCommand(page, *session, static_cast<int>(header->idFrom));
                return TRUE;
            }
            break;
        case PSN_SETACTIVE:
            onSetActive(page, *session);
            SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}
