#include "backup_browser.h"

#include <commctrl.h>

#include <vector>

#include "backup_places.h"
#include "dialog_support.h"
#include "resource.h"
#include "restore_kit.h"
#include "survin_ini.h"

namespace {

constexpr const wchar_t* kSelectHint = L"选择一个备份可查看其详细信息或恢复它";

struct BrowserContext {
    std::vector<BackupRecord> records;  // the list items carry indexes into this
};

std::wstring trimmed(const std::wstring& text) {
    const wchar_t* blanks = L" \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool readInfo(const std::wstring& ini, const wchar_t* key, std::wstring& out) {
    wchar_t buffer[260] = {};
    DWORD cch = GetPrivateProfileStringW(survinini::kSectionInfo<wchar_t>, key, L"", buffer, 260, ini.c_str());
    out.assign(buffer, cch);
    return cch > 0;
}

HWND listOf(HWND dialog) { return GetDlgItem(dialog, IDC_BACKUP_LIST); }

// The record of the one selected item, or null unless exactly one is selected.
const BackupRecord* selectedRecord(HWND dialog, BrowserContext* ctx) {
    HWND list = listOf(dialog);
    if (ListView_GetSelectedCount(list) != 1) return nullptr;
    int item = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (item < 0) return nullptr;
    LVITEMW lvi = {};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = item;
    if (!ListView_GetItem(list, &lvi)) return nullptr;
    size_t index = static_cast<size_t>(lvi.lParam);
    return index < ctx->records.size() ? &ctx->records[index] : nullptr;
}

void setDetails(HWND dialog, const std::wstring& text) { SetDlgItemTextW(dialog, IDC_DETAILS, text.c_str()); }

void onInit(HWND dialog) {
    centreOverOwner(dialog);
    setUpSingleColumnList(listOf(dialog), L"可用备份", 100);
    setDetails(dialog, L"单击“搜索”列表出所有可用备份");
}

void onSearch(HWND dialog, BrowserContext* ctx) {
    HWND list = listOf(dialog);
    ListView_DeleteAllItems(list);
    ctx->records.clear();
    setDetails(dialog, kSelectHint);

    for (const FoundBackup& found : searchBackups()) {
        BackupRecord record;
        if (!readBackupRecord(found.folder, record)) continue;
        record.place = found.place;
        ctx->records.push_back(record);
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = ListView_GetItemCount(list);
        item.pszText = const_cast<wchar_t*>(ctx->records.back().dateTime.c_str());
        item.lParam = static_cast<LPARAM>(ctx->records.size() - 1);
        ListView_InsertItem(list, &item);
    }
    ListView_SetColumnWidth(list, 0, LVSCW_AUTOSIZE);
}

void onSelectionChanged(HWND dialog, BrowserContext* ctx) {
    const BOOL any = ListView_GetSelectedCount(listOf(dialog)) > 0;
    for (int id : {IDC_DELETE, IDC_RESTORE, IDC_VIEW}) EnableWindow(GetDlgItem(dialog, id), any);
    const BackupRecord* record = selectedRecord(dialog, ctx);
    setDetails(dialog, record ? backupDetails(*record) : kSelectHint);
}

void onRestore(HWND dialog, BrowserContext* ctx) {
    const BackupRecord* record = selectedRecord(dialog, ctx);
    if (!record) return;
    std::wstring question = formatText(L"确实要恢复选定的注册表吗？\n\n日期: %s\n路径: %s", record->dateTime.c_str(),
                                       record->folder.c_str());
    if (messageBox(dialog, question, L"恢复", MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
    // This program runs elevated: it starts only the restore program it carries, held
    // unchanged until the start. One it cannot put there is not started.
    FileHandle program = holdCarriedRestoreProgram(record->folder, IDR_SURVIN_EXE);
    if (!program) return;
    shellOpen(dialog, record->folder + L"SURVIN.EXE", record->folder.c_str());
}

void onView(HWND dialog, BrowserContext* ctx) {
    if (const BackupRecord* record = selectedRecord(dialog, ctx)) shellOpen(dialog, record->folder);
}

void onDelete(HWND dialog, BrowserContext* ctx) {
    const BackupRecord* record = selectedRecord(dialog, ctx);
    if (!record) return;
    std::wstring question = formatText(L"确实要删除选定的备份吗？\n\n日期: %s\n路径: %s", record->dateTime.c_str(),
                                       record->folder.c_str());
    if (messageBox(dialog, question, L"删除", MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
    const std::wstring folder = record->folder, place = record->place;
    HWND list = listOf(dialog);
    int item = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    deleteBackup(folder, place);
    // The item goes whatever the deletion achieved; details and buttons stay as they are.
    if (item >= 0) ListView_DeleteItem(list, item);
}

INT_PTR CALLBACK browserProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        onInit(dialog);
        return TRUE;
    }
    auto* ctx = reinterpret_cast<BrowserContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!ctx) return FALSE;
    switch (msg) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            onSearch(dialog, ctx);
            return TRUE;
        case IDC_RESTORE:
            onRestore(dialog, ctx);
            return TRUE;
        case IDC_VIEW:
            onView(dialog, ctx);
            return TRUE;
        case IDC_DELETE:
            onDelete(dialog, ctx);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom == IDC_BACKUP_LIST && header->code == LVN_ITEMCHANGED) {
            auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
            if (change->uChanged & LVIF_STATE) onSelectionChanged(dialog, ctx);
        }
        return FALSE;
    }
    }
    return FALSE;
}

}  // namespace

bool readBackupRecord(const std::wstring& folder, BackupRecord& record) {
    using namespace survinini;
    const std::wstring ini = folder + kFileName<wchar_t>.text;
    if (GetFileAttributesW(ini.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    BackupRecord read;
    read.folder = folder;
    if (!readInfo(ini, kKeyDateTime<wchar_t>, read.dateTime)) return false;
    if (!readInfo(ini, kKeyOsString<wchar_t>, read.osString)) return false;
    if (!readInfo(ini, kKeySysRoot<wchar_t>, read.sysRoot)) return false;
    read.osString = trimmed(read.osString);

    // A file without hive sections lists no backup.
    auto readKey = [&ini](const wchar_t* section, const wchar_t* key, wchar_t* out, int cch) {
        return static_cast<int>(GetPrivateProfileStringW(section, key, L"", out, cch, ini.c_str()));
    };
    if (categoriesOf<wchar_t>(readKey) == 0) return false;
    record = read;
    return true;
}

std::wstring backupDetails(const BackupRecord& record) {
    return L"详细信息\r\n--------------------\r\n路径 \t: " + record.folder + L"\r\n" + L"系统 \t: " +
           record.osString + L"\r\n" + L"系统根目录 \t: " + record.sysRoot + L"\r\n" + L"时间 \t: " +
           record.dateTime + L"\r\n";
}

void runBackupBrowserDialog(HWND owner) {
    BrowserContext ctx;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BACKUP_BROWSER), owner, browserProc,
                    reinterpret_cast<LPARAM>(&ctx));
}
