// The two pages of the backup wizard. Each page's PROPSHEETPAGE lParam is the job.
#pragma once
#include <windows.h>

#include <string>

#include "job_report.h"

INT_PTR CALLBACK welcomePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK progressPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);

// The progress log's rule: a line of a step replaces the item of an earlier line of the
// same step (the completion takes the announcement's place); any other line is added at
// the end. Returns the item's index.
int addLogLine(HWND list, StepId step, const std::wstring& line);
