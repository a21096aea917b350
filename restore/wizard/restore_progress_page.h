// The wizard's second page: starts the restore and shows its progress and result.
#pragma once
#include <windows.h>

#include <string>

#include "engine.h"

struct RestoreSession;

// The notices of a run, posted by the page to itself as the engine reports, and handled in
// order (during the run only while one of its message boxes is open).
constexpr UINT WM_JOB_NOTIFY = WM_USER + 12;
enum RestoreNotifyKind : WPARAM { JOB_STARTED = 1, JOB_FINISHED = 2, JOB_STATUS = 3, JOB_LOGLINE = 4 };

// What the progress page is made with (the PROPSHEETPAGE's lParam).
struct ProgressPageStart {
    RestoreSession* session;
    // Replaces the engine's Windows calls (hive replacement, restart, load check) where a
    // host needs to; null: the real ones.
    RestoreCallback* platform;
};

INT_PTR CALLBACK progressPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);

// Writes one log line into the progress list: a line of a step completes the item of the
// same step; a line of kOwnLine, or of a step not yet listed, is appended. Returns the index
// of the changed or added item.
int mergeLogLine(HWND list, RestoreStep step, const std::string& text);
