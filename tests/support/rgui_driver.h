// Driving wizard windows from a test thread or another process as a user would: finding
// top-level windows of a process, reading control texts and list items, pressing buttons,
// answering message boxes and saving screenshots.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace rgui_driver {

// Polls until a visible top-level window of the process with this title (and class, if
// given) exists; nullptr after timeoutMs.
HWND waitForWindow(DWORD processId, const std::wstring& title, const wchar_t* className = nullptr,
                   DWORD timeoutMs = 15000);
// Polls until no visible top-level window of the process has this title.
bool waitForWindowGone(DWORD processId, const std::wstring& title, DWORD timeoutMs = 15000);
// A visible top-level dialog of the process other than the given ones (message boxes).
HWND waitForOtherDialog(DWORD processId, const std::vector<HWND>& known, DWORD timeoutMs = 15000);

std::wstring text(HWND wnd);
std::wstring itemText(HWND dlg, int id);
// Waits until the control's text equals expected; returns the last text seen.
std::wstring waitForItemText(HWND dlg, int id, const std::wstring& expected, DWORD timeoutMs = 15000);
// The longest static text of a dialog (a message box's message).
std::wstring messageText(HWND box);

// Posts a click so that a modal loop the click opens does not block the caller.
void postClick(HWND dlg, int id);
// Clicks the link of a link control (its first characters).
void clickLink(HWND link);
// Selects item index of a combo box and tells its dialog, as a user selection does.
void selectComboItem(HWND dlg, int id, int index);
std::vector<std::wstring> comboItems(HWND dlg, int id);
int comboSelection(HWND dlg, int id);
// Items of a list view, also of another process.
std::vector<std::wstring> listItems(HWND list);

// The wizard's current page (a child dialog of the sheet).
HWND currentPage(HWND sheet);
// Waits until button id of the sheet has the wanted enabled state.
bool waitForEnabled(HWND sheet, int id, bool enabled, DWORD timeoutMs = 10000);

// Waits until a condition holds, pumping this thread's messages between polls.
template <class Condition>
bool waitUntil(Condition condition, DWORD timeoutMs = 15000) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(50);
    }
}

// Saves what the screen shows of the window as a PNG file (folders are created). False
// when the capture or the encoder is not available.
bool saveScreenshot(HWND wnd, const std::wstring& pngPath);
// Folder for screenshots: "screenshots" below the test's working folder (the build tree).
std::wstring screenshotPath(const wchar_t* name);

}  // namespace rgui_driver
