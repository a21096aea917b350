// Driving the programs' windows from a test program, as a user would: finding top-level
// windows of a process (another one, or this one when a wizard runs on a thread of the
// test), reading texts, combo box and list items, clicking, typing, answering message
// boxes, moving through wizards and saving screenshots.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace gui_driver {

// How long the waits below wait unless told otherwise.
constexpr DWORD kWaitMs = 15000;

// Polls the condition every 50 ms until it holds or the time is up. Between polls this
// thread's messages are dispatched, so that a wizard on another thread of the test
// program never waits for this one.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// A visible top-level window of the process with that caption, or null.
HWND findWindow(DWORD pid, const std::wstring& caption);
// Same, waiting for it to appear; when it does not, the process's windows are listed on
// stderr for the failure report.
HWND waitForWindow(DWORD pid, const std::wstring& caption, DWORD timeoutMs = kWaitMs);
// Waits until no visible top-level window of the process has that caption.
bool waitForWindowGone(DWORD pid, const std::wstring& caption, DWORD timeoutMs = kWaitMs);
// A visible top-level dialog (class #32770) of the process other than the known ones,
// such as a message box that a click opened; null after the time-out.
HWND waitForOtherDialog(DWORD pid, const std::vector<HWND>& known, DWORD timeoutMs = kWaitMs);
// Lists the top-level windows of the process on stderr (class, visibility, caption).
void printWindowsOf(DWORD pid);

// The first descendant with that control id (visible ones first), or null.
HWND findControl(HWND root, int id);
// Same, waiting for it to appear.
HWND waitForControl(HWND root, int id, DWORD timeoutMs = kWaitMs);

// A window's text; empty for null or a window that does not answer within 5 s.
std::wstring textOf(HWND window);
// Waits until the window's text equals expected; returns the last text seen.
std::wstring waitForText(HWND window, const std::wstring& expected, DWORD timeoutMs = kWaitMs);
bool isChecked(HWND button);
bool isEnabled(HWND window);
bool isVisible(HWND window);
// Waits until the control is visible and enabled or disabled as wanted.
bool waitForEnabled(HWND control, bool enabled, DWORD timeoutMs = kWaitMs);

// Clicks a button without waiting for what the click opens (posted).
void click(HWND button);
// Sets an edit's text as typing would, with the change notification.
void typeText(HWND edit, const std::wstring& text);
// Clicks a link label or link control on its first characters (mouse down and up).
void clickLink(HWND link);
// Clicks the middle of a control with the left mouse button (down and up, posted), the
// way the pointer would: the control takes the focus and handles the click itself.
void mouseClick(HWND control);
// The control that has the keyboard focus in the thread that owns the window, or null.
HWND keyboardFocus(HWND window);
// Presses and releases a key (VK_DOWN, VK_TAB ...) where the keyboard would send it: to
// the control with the focus in the window's thread, through that thread's message loop.
bool pressKey(HWND window, UINT virtualKey);

// The text of a message box (the longest static text in it).
std::wstring messageBoxText(HWND box);
// Presses a message box button (IDOK, IDYES, IDNO ...) and waits for the box to go.
bool answerMessageBox(HWND box, int buttonId);

// Combo boxes.
std::vector<std::wstring> comboItems(HWND combo);
int comboSelection(HWND combo);
// Selects an item and tells the combo box's dialog, as a user's selection does.
void selectComboItem(HWND combo, int index);

// List views, of this process or another one.
int listCount(HWND list);
std::wstring listItemText(HWND list, int index);
std::vector<std::wstring> listItems(HWND list);
// Selects one item (and focuses it), or clears the selection for -1.
bool selectListItem(HWND list, int index);

// Sends a message whose lParam is a string, copied into the window's process first.
LRESULT sendWithText(HWND window, UINT msg, WPARAM wParam, const std::wstring& text);

// Wizards: the buttons of a property sheet, its current page (a child dialog) and its
// page changes.
constexpr int kBackButton = 0x3023;
constexpr int kNextButton = 0x3024;
constexpr int kFinishButton = 0x3025;
HWND currentPage(HWND sheet);
// Presses a sheet button (PSBTN_*), posted.
void pressSheetButton(HWND sheet, int button);
// Waits until the sheet shows another page than page; that page, or null.
HWND waitForPageChange(HWND sheet, HWND page, DWORD timeoutMs = kWaitMs);

// Keeps a picture of the window's client area as it is on the screen, for a person to look
// at: <current folder>\screenshots\<suite>.<test>-<what>.png (the test program's build
// folder under ctest). Not a check: nothing is returned, and a picture that could not be
// taken is only reported on stderr. Without a window manager nobody draws the frame.
void screenshot(HWND window, const std::wstring& what);

}  // namespace gui_driver
