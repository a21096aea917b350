// The wizard's second page: starts the restore and shows its progress and result.
#pragma once
#include <windows.h>

#include <string>

INT_PTR CALLBACK progressPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);

// Merges one log line into the progress list: a line "key...rest" completes the first
// item that starts with key (ignoring case); other lines are appended. Returns the index
// of the changed or added item.
int mergeLogLine(HWND list, const std::string& text);
