// How a backup run reports. The steps report to the job that runs them (JobReport): log
// lines, the status line and failures. The job passes on what a person watching the run
// sees to a JobListener, which the wizard's progress page implements (as window messages
// to itself) and which an unattended run, watched by nobody, leaves out. Nothing here
// knows a window, so a test can record what a step or a run reports.
#pragma once
#include <windows.h>

#include <string>

// What a report is.
enum JobNotifyKind : WPARAM {
    JOB_STARTED = 1,  // restore side only
    JOB_FINISHED = 2,
    JOB_STATUS = 3,
    JOB_LOGLINE = 4,
};

// The step a log line belongs to. The line that announces a step ("保存 (1 / 3) SYSTEM ...")
// and the line that completes it ("保存 (1 / 3) SYSTEM ... 成功") carry the same id, so
// that a list can show the completion in the announcement's place without reading the
// text; every other line carries kLineOfItsOwn. Ids stay below 65536.
using StepId = unsigned;
constexpr StepId kLineOfItsOwn = 0;
constexpr StepId kStepRestoreInfo = 1;
constexpr StepId kStepSearchBackups = 2;
constexpr StepId kStepDeleteBackups = 3;
constexpr StepId kStepFailure = 4;  // a failure line of its own ("失败: ...")
// Saving hive n (1, 2 ...) of the run's list.
constexpr StepId stepOfSavingHive(int n) { return 16 + static_cast<StepId>(n > 0 ? n : 0); }

// Whoever shows a run. Lines and the status may come from the run's saving threads.
class JobListener {
public:
    virtual void logLine(StepId step, const std::wstring& text) = 0;
    virtual void status(const std::wstring& text) = 0;
    // The run has ended; its outcome is the job's.
    virtual void finished() = 0;
    // Returns once `done` is signalled (the saving threads have ended). A listener that
    // owns a window keeps handling its messages meanwhile.
    virtual void waitFor(HANDLE done) = 0;

protected:
    ~JobListener() = default;
};

// How a step reports to the job that runs it.
class JobReport {
public:
    virtual void logLine(StepId step, const std::wstring& text) const = 0;
    virtual void status(const std::wstring& text) const = 0;
    // The run failed with this code.
    virtual void fail(int code) = 0;
    // The run failed; a code set earlier stays.
    virtual void failKeepingCode(int code) = 0;

protected:
    ~JobReport() = default;
};

// Formats a line by the wsprintf rules (%s is wide, at most 1024 characters) and
// reports it as a log line of the step, or as the status.
void reportLine(const JobReport& report, StepId step, const wchar_t* format, ...);
void reportStatus(const JobReport& report, const wchar_t* format, ...);
