// The wizard's side of a run's reports: each becomes a WM_JOB_NOTIFY posted to the page
// that shows the run, and the page keeps its messages flowing while the run saves.
#pragma once
#include <windows.h>

#include <string>

#include "job_report.h"

// Posted to the page that shows a run. The word parameter's low word is the kind, its
// high word the step of a JOB_LOGLINE; the long parameter carries a heap string owned by
// the receiver for JOB_STATUS and JOB_LOGLINE.
constexpr UINT WM_JOB_NOTIFY = WM_USER + 12;

inline JobNotifyKind notifyKindOf(WPARAM wParam) { return static_cast<JobNotifyKind>(LOWORD(wParam)); }
inline StepId notifyStepOf(WPARAM wParam) { return HIWORD(wParam); }

// Posts every report to one window; nothing is posted without one.
class WindowJobListener final : public JobListener {
public:
    explicit WindowJobListener(HWND window) : window_(window) {}
    void logLine(StepId step, const std::wstring& text) override;
    void status(const std::wstring& text) override;
    void finished() override;
    // Waits while dispatching this thread's window messages.
    void waitFor(HANDLE done) override;

private:
    void post(WPARAM wParam, const std::wstring* text);
    HWND window_;
};

// The receiver's side: takes ownership of the string carried by a WM_JOB_NOTIFY.
std::wstring takeNotifyText(LPARAM lParam);

// Waits on the event while dispatching this thread's window messages. True once it is
// signalled, false when the time-out (milliseconds) passed first.
bool waitPumping(HANDLE event, DWORD timeout = INFINITE);
