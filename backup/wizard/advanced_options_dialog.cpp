#include "advanced_options_dialog.h"

#include "dialog_support.h"
#include "resource.h"
#include "settings.h"

namespace {

struct OptionsContext {
    bool folderChanged = false;
};

OptionsContext* contextOf(HWND dialog) {
    return reinterpret_cast<OptionsContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void onInit(HWND dialog, OptionsContext* ctx) {
    centreOverOwner(dialog);
    AdvancedOptions options = loadAdvancedOptions();

    SendDlgItemMessageW(dialog, IDC_DEF_BACKUP_DIR, EM_LIMITTEXT, 259, 0);
    SetDlgItemTextW(dialog, IDC_DEF_BACKUP_DIR, options.defBackupDir.c_str());
    ctx->folderChanged = false;  // filling the field is not an edit

    CheckDlgButton(dialog, IDC_OVERWRITE, options.overwrite ? BST_CHECKED : BST_UNCHECKED);
    const UINT mode = options.retention.mode;
    int radio = mode == Retention::kByAge ? IDC_LIMIT_BY_DAYS : mode == Retention::kByCount ? IDC_LIMIT_BY_COUNT : IDC_KEEP_ALL;
    CheckRadioButton(dialog, IDC_KEEP_ALL, IDC_LIMIT_BY_COUNT, radio);
    SetDlgItemInt(dialog, IDC_LIMIT_DAYS, options.retention.days, FALSE);
    SetDlgItemInt(dialog, IDC_LIMIT_COUNT, options.retention.count, FALSE);

    // Enter cancels: Cancel is the default button.
    SendMessageW(dialog, DM_SETDEFID, IDCANCEL, 0);

    if (settingsReadOnly()) {
        for (int id : {IDOK, IDC_DEF_BACKUP_DIR, IDC_LIMIT_DAYS, IDC_LIMIT_COUNT, IDC_OVERWRITE, IDC_LIMIT_BY_DAYS,
                       IDC_LIMIT_BY_COUNT, IDC_KEEP_ALL})
            EnableWindow(GetDlgItem(dialog, id), FALSE);
    }
}

void onOk(HWND dialog) {
    AdvancedOptions options;
    wchar_t folder[260] = {};
    GetDlgItemTextW(dialog, IDC_DEF_BACKUP_DIR, folder, 260);
    options.defBackupDir = folder;
    options.overwrite = IsDlgButtonChecked(dialog, IDC_OVERWRITE) == BST_CHECKED;
    options.retention.mode = IsDlgButtonChecked(dialog, IDC_LIMIT_BY_DAYS) == BST_CHECKED    ? Retention::kByAge
                             : IsDlgButtonChecked(dialog, IDC_LIMIT_BY_COUNT) == BST_CHECKED ? Retention::kByCount
                                                                                              : Retention::kKeepAll;
    // An empty or unreadable field gives 0, which the limit repair turns into the default.
    options.retention.days = GetDlgItemInt(dialog, IDC_LIMIT_DAYS, nullptr, FALSE);
    options.retention.count = GetDlgItemInt(dialog, IDC_LIMIT_COUNT, nullptr, FALSE);
    saveAdvancedOptions(options);
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK advancedOptionsProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        onInit(dialog, reinterpret_cast<OptionsContext*>(lParam));
        return TRUE;
    }
    OptionsContext* ctx = contextOf(dialog);
    if (!ctx) return FALSE;
    if (msg != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_DEF_BACKUP_DIR:
        if (HIWORD(wParam) == EN_CHANGE) ctx->folderChanged = true;
        return TRUE;
    case IDOK:
        if (IsWindowEnabled(GetDlgItem(dialog, IDOK))) onOk(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR runAdvancedOptionsDialog(HWND owner, bool* folderChanged) {
    OptionsContext ctx;
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ADVANCED_OPTIONS), owner,
                                     advancedOptionsProc, reinterpret_cast<LPARAM>(&ctx));
    if (folderChanged) *folderChanged = ctx.folderChanged;
    return result == IDOK ? IDOK : IDCANCEL;
}
