#include "rgui_driver.h"

#include <commctrl.h>
#include <prsht.h>
#include <shlwapi.h>

#include "gui_driver.h"
#include "test_support.h"

#include <cstdio>

namespace rgui_driver {

namespace {

struct Search {
    DWORD processId;
    const std::wstring* title;
    const wchar_t* className;
    const std::vector<HWND>* known;
    HWND found;
};

std::wstring classOf(HWND wnd) {
    wchar_t name[256] = {};
    GetClassNameW(wnd, name, 256);
    return name;
}

BOOL CALLBACK findWindowProc(HWND wnd, LPARAM lParam) {
    Search* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid != search->processId || !IsWindowVisible(wnd)) return TRUE;
    if (search->className && classOf(wnd) != search->className) return TRUE;
    if (search->title && text(wnd) != *search->title) return TRUE;
    if (search->known) {
        for (HWND known : *search->known)
            if (known == wnd) return TRUE;
    }
    search->found = wnd;
    return FALSE;
}

HWND findWindow(Search search) {
    EnumWindows(findWindowProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct LongestText {
    std::wstring text;
};

BOOL CALLBACK longestStaticProc(HWND wnd, LPARAM lParam) {
    LongestText* longest = reinterpret_cast<LongestText*>(lParam);
    if (_wcsicmp(classOf(wnd).c_str(), L"Static") == 0) {
        std::wstring t = text(wnd);
        if (t.size() > longest->text.size()) longest->text = t;
    }
    return TRUE;
}

BOOL CALLBACK dumpWindowProc(HWND w, LPARAM pid) {
    DWORD p = 0;
    GetWindowThreadProcessId(w, &p);
    if (p == static_cast<DWORD>(pid))
        fprintf(stderr, "  window of the process: visible %d class %s title \"%s\"\n", IsWindowVisible(w),
                testing_support::toUtf8(classOf(w)).c_str(), testing_support::toUtf8(text(w)).c_str());
    return TRUE;
}

}  // namespace

HWND waitForWindow(DWORD processId, const std::wstring& title, const wchar_t* className,
                   DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil([&] {
        found = findWindow({processId, &title, className, nullptr, nullptr});
        return found != nullptr;
    }, timeoutMs);
    if (!found) {
        // What was there instead, for the failure message.
        fprintf(stderr, "no window \"%s\"\n", testing_support::toUtf8(title).c_str());
        EnumWindows(dumpWindowProc, processId);
    }
    return found;
}

bool waitForWindowGone(DWORD processId, const std::wstring& title, DWORD timeoutMs) {
    return waitUntil([&] { return findWindow({processId, &title, nullptr, nullptr, nullptr}) == nullptr; },
                     timeoutMs);
}

HWND waitForOtherDialog(DWORD processId, const std::vector<HWND>& known, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil([&] {
        found = findWindow({processId, nullptr, L"#32770", &known, nullptr});
        return found != nullptr;
    }, timeoutMs);
    return found;
}

std::wstring text(HWND wnd) {
    wchar_t buffer[4096] = {};
    DWORD_PTR got = 0;
    // Through SendMessageTimeout so that a hung program fails the test instead of hanging it.
    if (!SendMessageTimeoutW(wnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 5000, &got))
        return std::wstring();
    return std::wstring(buffer);
}

std::wstring itemText(HWND dlg, int id) { return text(GetDlgItem(dlg, id)); }

std::wstring waitForItemText(HWND dlg, int id, const std::wstring& expected, DWORD timeoutMs) {
    std::wstring last;
    waitUntil([&] {
        last = itemText(dlg, id);
        return last == expected;
    }, timeoutMs);
    return last;
}

std::wstring messageText(HWND box) {
    LongestText longest;
    EnumChildWindows(box, longestStaticProc, reinterpret_cast<LPARAM>(&longest));
    return longest.text;
}

void postClick(HWND dlg, int id) {
    HWND button = GetDlgItem(dlg, id);
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void clickLink(HWND link) {
    RECT rc = {};
    GetClientRect(link, &rc);
    const LPARAM point = MAKELPARAM(4, (rc.bottom - rc.top) / 2);
    PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(link, WM_LBUTTONUP, 0, point);
}

void selectComboItem(HWND dlg, int id, int index) {
    HWND combo = GetDlgItem(dlg, id);
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

std::vector<std::wstring> comboItems(HWND dlg, int id) {
    HWND combo = GetDlgItem(dlg, id);
    std::vector<std::wstring> items;
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const int cch = static_cast<int>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0));
        if (cch < 0) continue;
        std::wstring item(static_cast<size_t>(cch) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
        item.resize(wcslen(item.c_str()));
        items.push_back(item);
    }
    return items;
}

int comboSelection(HWND dlg, int id) {
    return static_cast<int>(SendDlgItemMessageW(dlg, id, CB_GETCURSEL, 0, 0));
}

std::vector<std::wstring> listItems(HWND list) {
    std::vector<std::wstring> items;
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (pid == GetCurrentProcessId()) {
        for (int i = 0; i < count; ++i) {
            wchar_t buffer[2048] = {};
            LVITEMW item = {};
            item.pszText = buffer;
            item.cchTextMax = 2048;
            SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            items.push_back(buffer);
        }
        return items;
    }
    // List-view messages carry pointers that are not carried across processes: the item
    // record and its text buffer have to live in the program under test.
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return items;
    const SIZE_T cbText = 2048 * sizeof(wchar_t);
    BYTE* remote = static_cast<BYTE*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + cbText, MEM_COMMIT, PAGE_READWRITE));
    if (remote) {
        for (int i = 0; i < count; ++i) {
            LVITEMW item = {};
            item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
            item.cchTextMax = 2048;
            wchar_t buffer[2048] = {};
            SIZE_T done = 0;
            if (!WriteProcessMemory(process, remote, &item, sizeof(item), &done)) break;
            SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(remote));
            if (!ReadProcessMemory(process, remote + sizeof(LVITEMW), buffer, cbText - sizeof(wchar_t), &done))
                break;
            items.push_back(buffer);
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return items;
}

HWND currentPage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool waitForEnabled(HWND sheet, int id, bool enabled, DWORD timeoutMs) {
    return waitUntil([&] {
        HWND button = GetDlgItem(sheet, id);
        return button && IsWindowVisible(button) && (IsWindowEnabled(button) != FALSE) == enabled;
    }, timeoutMs);
}

bool saveScreenshot(HWND wnd, const std::wstring& pngPath) {
    RECT rc = {};
    if (!GetWindowRect(wnd, &rc)) return false;
    std::wstring folder = pngPath.substr(0, pngPath.find_last_of(L'\\') + 1);
    testing_support::makeDirs(folder);
    // Let the program paint what it just changed.
    SetWindowPos(wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(400);
    return gui_driver::captureToPng(rc, pngPath);
}

std::wstring screenshotPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path + L"screenshots\\" + name + L".png";
}

}  // namespace rgui_driver
