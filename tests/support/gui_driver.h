// Driving the backup program's windows from a test program, as a user would: finding
// windows of another process, reading texts and list items, clicking, answering
// message boxes, and saving screenshots.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace gui_driver {

// Polls the condition every 50 ms until it holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000);

// A visible top-level window of the process with that caption (class #32770 for
// dialogs, message boxes and the wizard), or null after the time-out.
HWND waitTopWindow(DWORD pid, const std::wstring& caption, DWORD timeoutMs = 10000);
HWND findTopWindow(DWORD pid, const std::wstring& caption);

// The first descendant with that control id (visible ones first), or null.
HWND findControl(HWND root, int id);
// Same, waiting for it to appear.
HWND waitControl(HWND root, int id, DWORD timeoutMs = 10000);

std::wstring textOf(HWND window);
bool isChecked(HWND button);
bool isEnabled(HWND window) ;
bool isVisible(HWND window);

// Clicks without waiting for what the click opens (posted).
void click(HWND button);
// Sets an edit's text as typing would, with the change notification.
void typeText(HWND edit, const std::wstring& text);
// Clicks a link label (mouse down and up at its top-left corner).
void clickLink(HWND label);
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

// List views of another process.
int listCount(HWND list);
std::wstring listItemText(HWND list, int index);
std::vector<std::wstring> listItems(HWND list);
// Selects one item (and focuses it), or clears the selection for -1.
bool selectListItem(HWND list, int index);

// Sends a message whose lParam is a string, copied into the window's process first.
LRESULT sendWithText(HWND window, UINT msg, WPARAM wParam, const std::wstring& text);

// Saves a PNG of the window as it is on the screen into <current folder>\screenshots\.
bool screenshot(HWND window, const std::wstring& name);
// Saves the screen area (screen coordinates) as a PNG file; both programs' GUI tests use it.
bool captureToPng(const RECT& screenRect, const std::wstring& path);

}  // namespace gui_driver
