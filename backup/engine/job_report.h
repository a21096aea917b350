// How the steps of a backup report to the job that runs them: progress lines for the
// page that shows the run, and failures. The job implements it; a step knows nothing
// else of the job, and a test can record what a step reports.
#pragma once
#include <windows.h>

#include <string>

// Posted to the page that shows a run; the long parameter carries a heap string owned
// by the receiver for JOB_STATUS and JOB_LOGLINE.
constexpr UINT WM_JOB_NOTIFY = WM_USER + 12;

enum JobNotifyKind : WPARAM {
    JOB_STARTED = 1,  // restore side only
    JOB_FINISHED = 2,
    JOB_STATUS = 3,
    JOB_LOGLINE = 4,
};

class JobReport {
public:
    // One line of a kind with text (JOB_STATUS, JOB_LOGLINE).
    virtual void postLine(JobNotifyKind kind, std::wstring text) const = 0;
    // The run failed with this code.
    virtual void fail(int code) = 0;
    // The run failed; a code set earlier stays.
    virtual void failKeepingCode(int code) = 0;

protected:
    ~JobReport() = default;
};

// Formats a line by the wsprintf rules (%s is wide, at most 1024 characters) and
// reports it.
void postProgress(const JobReport& report, JobNotifyKind kind, const wchar_t* format, ...);
