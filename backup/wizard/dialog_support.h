// Small pieces the wizard pages and dialogs of the backup program share: placement,
// message boxes with the program's caption, control texts, shell hand-over and the
// link labels of the welcome page.
#pragma once
#include <windows.h>

#include <string>

// Centres the window over its owner, or over the work area of the nearest monitor when
// there is no visible, non-minimised owner, and keeps it inside that work area.
void centreOverOwner(HWND window);

// String resource 128, "注册表备份".
std::wstring programCaption();
// A message box with the program's caption.
int messageBox(HWND owner, const std::wstring& text, UINT flags);
// A message box with a caption of its own.
int messageBox(HWND owner, const std::wstring& text, const wchar_t* caption, UINT flags);

std::wstring windowText(HWND window);
std::wstring dlgItemText(HWND dialog, int id);

// wsprintf into a string (Windows rules: %s is wide, at most 1024 characters).
std::wstring formatText(const wchar_t* format, ...);

// Hands a file or folder to the shell with "open", without shell error dialogs. The
// result is not reported: every caller ignores it.
void shellOpen(HWND owner, const std::wstring& target, const wchar_t* workingFolder = nullptr);

// Turns a static control whose text holds "<a>...</a>" into a link label: the part
// between the tags is drawn as a link, and a click on it sends the parent an ordinary
// button command with the control's id.
void makeLinkLabel(HWND dialog, int id);

// Gives a report-mode list view its one column, full-row selection and double buffering.
void setUpSingleColumnList(HWND list, const wchar_t* title, int width);
