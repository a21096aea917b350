// The advanced options dialog. Mode changes act on the session at once (also when the
// dialog is then cancelled); OK stores the rest.
#include "restore_options_dialog.h"

#include <shlwapi.h>

#include <string>

#include "loader.h"
#include "resource.h"
#include "restore_ui.h"
#include "restore_wizard.h"
#include "session.h"

namespace {

// Mode list items.
constexpr int kModeAutomatic = 0;
constexpr int kModeWindowsApi = 1;
constexpr int kModeCopyFiles = 2;

// Target list item masks.
constexpr LPARAM kOnTargetDrive = 1;
constexpr LPARAM kOnCurrentDrive = 2;

struct OptionsContext {
    RestoreSession* session;
};

RestoreSession* sessionOf(HWND dlg) {
    OptionsContext* context =
        reinterpret_cast<OptionsContext*>(GetWindowLongPtrA(dlg, DWLP_USER));
    return context ? context->session : nullptr;
}

int modeItem(HWND dlg) {
    return static_cast<int>(SendDlgItemMessageA(dlg, IDC_MODE_LIST, CB_GETCURSEL, 0, 0));
}

std::string trimmed(const std::string& text, const char* characters) {
    const size_t first = text.find_first_not_of(characters);
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}

bool isDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool sameDrive(const std::string& a, const std::string& b) {
    return !a.empty() && !b.empty() && PathIsSameRootA(a.c_str(), b.c_str());
}

void fillModeList(HWND dlg, const RestoreSession& session) {
    HWND list = GetDlgItem(dlg, IDC_MODE_LIST);
    std::string automatic = std::string("自动检测     (检测: ") +
                            (session.detectedMode == WindowsApi ? "Windows API)" : "复制文件)");
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(automatic.c_str()));
    // A backup of another kind of Windows can never be forced into the running one.
    if (!session.osDiffers) {
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Windows API"));
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("复制文件"));
    }
    int item = kModeAutomatic;
    if (!session.autoDetect) item = session.restoreMode == WindowsApi ? kModeWindowsApi : kModeCopyFiles;
    if (SendMessageA(list, CB_SETCURSEL, item, 0) == CB_ERR)
        SendMessageA(list, CB_SETCURSEL, kModeAutomatic, 0);
}

// The same folder as the target root on every fixed drive where it exists.
void fillTargetList(HWND dlg, const RestoreSession& session) {
    HWND list = GetDlgItem(dlg, IDC_TARGET_LIST);
    const std::string root = trimmed(session.targetWindowsRoot, "\" ");
    if (root.empty()) return;
    char drives[260] = {};
    const DWORD cch = GetLogicalDriveStringsA(259, drives);
    if (cch == 0 || cch > 259) return;
    for (const char* drive = drives; *drive; drive += lstrlenA(drive) + 1) {
        std::string candidate = root;
        candidate[0] = drive[0];
        char candidateRoot[MAX_PATH] = {};
        lstrcpynA(candidateRoot, candidate.c_str(), MAX_PATH);
        if (!PathStripToRootA(candidateRoot)) continue;
        PathAddBackslashA(candidateRoot);
        if (GetDriveTypeA(candidateRoot) != DRIVE_FIXED || !isDirectory(candidate)) continue;
        LRESULT index = SendMessageA(list, CB_ADDSTRING, 0,
                                     reinterpret_cast<LPARAM>(candidate.c_str()));
        if (index < 0) continue;
        LPARAM mask = 0;
        if (sameDrive(candidate, session.targetWindowsRoot)) mask |= kOnTargetDrive;
        if (sameDrive(candidate, session.currentWindowsRoot)) mask |= kOnCurrentDrive;
        SendMessageA(list, CB_SETITEMDATA, index, mask);
    }
}

void updateDependentControls(HWND dlg, const RestoreSession& session) {
    const int item = modeItem(dlg);
    const bool replacing =
        item == kModeWindowsApi || (item == kModeAutomatic && session.detectedMode == WindowsApi);
    // Hive replacement always keeps the old hive, so its backup cannot be switched off.
    CheckDlgButton(dlg, IDC_BACKUP_EXISTING,
                   replacing || session.backupExisting ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dlg, IDC_BACKUP_EXISTING), !replacing);
    EnableWindow(GetDlgItem(dlg, IDC_TARGET_LIST), !replacing);

    HWND list = GetDlgItem(dlg, IDC_TARGET_LIST);
    const LPARAM wanted = replacing ? kOnCurrentDrive : kOnTargetDrive;
    const int count = static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (SendMessageA(list, CB_GETITEMDATA, i, 0) & wanted) {
            SendMessageA(list, CB_SETCURSEL, i, 0);
            break;
        }
    }
}

void onModeChange(HWND dlg, RestoreSession& session) {
    int item = modeItem(dlg);
    if (item != kModeAutomatic && item != CB_ERR) {
        if (MessageBoxA(dlg,
                        "恢复模式的更改只能由专家来完成。\n\n设置不正确的模式将导致当前注册表出现问题。"
                        "\n\n要继续吗？",
                        "警告", MB_YESNO | MB_ICONWARNING) == IDNO) {
            SendDlgItemMessageA(dlg, IDC_MODE_LIST, CB_SETCURSEL, kModeAutomatic, 0);
            item = kModeAutomatic;
        }
    }
    if (item == kModeAutomatic) {
        session.autoDetect = 1;
        DetectRestoreTarget(session);
    } else if (item == kModeWindowsApi) {
        session.targetWindowsRoot = session.currentWindowsRoot;
    }
    updateDependentControls(dlg, session);
}

void onTargetChange(HWND dlg, RestoreSession& session) {
    if (modeItem(dlg) != kModeCopyFiles) return;
    HWND list = GetDlgItem(dlg, IDC_TARGET_LIST);
    const LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return;
    const LRESULT cch = SendMessageA(list, CB_GETLBTEXTLEN, index, 0);
    if (cch <= 0) return;
    std::string text(static_cast<size_t>(cch) + 1, '\0');
    SendMessageA(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(lstrlenA(text.c_str()));
    // Copying files over the hives of the running Windows cannot work.
    if (text.empty() || !sameDrive(text, session.currentWindowsRoot)) return;
    MessageBoxA(dlg, "在“文件复制”模式，目标 Windows 根目录不能与当前 Windows 根目录相同", nullptr,
                MB_OK | MB_ICONINFORMATION);
    SendDlgItemMessageA(dlg, IDC_MODE_LIST, CB_SETCURSEL, kModeAutomatic, 0);
    onModeChange(dlg, session);
}

void onOk(HWND dlg, RestoreSession& session) {
    const int item = modeItem(dlg);
    if (item == kModeWindowsApi || item == kModeCopyFiles) {
        session.autoDetect = 0;
        session.restoreMode = item == kModeWindowsApi ? WindowsApi : CopyFiles;
    } else {
        session.autoDetect = 1;
        DetectRestoreTarget(session);
    }

    HWND list = GetDlgItem(dlg, IDC_TARGET_LIST);
    std::string target;
    const LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (index != CB_ERR) {
        const LRESULT cch = SendMessageA(list, CB_GETLBTEXTLEN, index, 0);
        if (cch > 0) {
            target.assign(static_cast<size_t>(cch) + 1, '\0');
            SendMessageA(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&target[0]));
            target.resize(lstrlenA(target.c_str()));
        }
    }
    session.targetWindowsRoot = target;

    DWORD categories = 0;
    if (IsDlgButtonChecked(dlg, IDC_CAT_SYSTEM) == BST_CHECKED) categories |= 1;
    if (IsDlgButtonChecked(dlg, IDC_CAT_CURRENT_USER) == BST_CHECKED) categories |= 2;
    if (IsDlgButtonChecked(dlg, IDC_CAT_OTHERS) == BST_CHECKED) categories |= 4;
    if (categories) session.selectedCategories = categories;

    session.backupExisting = IsDlgButtonChecked(dlg, IDC_BACKUP_EXISTING) == BST_CHECKED;
    EndDialog(dlg, IDOK);
}

void onInit(HWND dlg, RestoreSession& session) {
    centreWindow(dlg, GetWindow(dlg, GW_OWNER));
    const struct {
        int id;
        DWORD bit;
    } boxes[] = {{IDC_CAT_SYSTEM, 1}, {IDC_CAT_CURRENT_USER, 2}, {IDC_CAT_OTHERS, 4}};
    for (const auto& box : boxes) {
        CheckDlgButton(dlg, box.id, (session.selectedCategories & box.bit) ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(dlg, box.id), (session.availableCategories & box.bit) != 0);
    }
    fillModeList(dlg, session);
    fillTargetList(dlg, session);
    updateDependentControls(dlg, session);
}

INT_PTR CALLBACK optionsProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
        if (RestoreSession* session = sessionOf(dlg)) onInit(dlg, *session);
        return TRUE;
    }
    case WM_COMMAND: {
        RestoreSession* session = sessionOf(dlg);
        if (!session) return FALSE;
        switch (LOWORD(wParam)) {
        case IDOK:
            onOk(dlg, *session);
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        case IDC_MODE_LIST:
            if (HIWORD(wParam) == CBN_SELCHANGE) onModeChange(dlg, *session);
            return TRUE;
        case IDC_TARGET_LIST:
            if (HIWORD(wParam) == CBN_SELCHANGE) onTargetChange(dlg, *session);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

}  // namespace

bool showRestoreOptionsDialog(HWND owner, RestoreSession& session) {
    OptionsContext context = {&session};
    return DialogBoxParamA(restoreResourceModule(), MAKEINTRESOURCEA(IDD_OPTIONS), owner,
                           optionsProc, reinterpret_cast<LPARAM>(&context)) == IDOK;
}
