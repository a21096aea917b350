// The two pages of the backup wizard. Each page's PROPSHEETPAGE lParam is the job.
#pragma once
#include <windows.h>

#include <string>

INT_PTR CALLBACK welcomePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK progressPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);

// The progress log's rule: a line ending in "..." announces a step; a later line with
// the same text before its "..." completes that item in place. Returns the item's index.
int addLogLine(HWND list, const std::wstring& line);
