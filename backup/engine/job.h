// The backup job: the one object that performs a backup. It owns the worker thread that
// saves the hives, the lists of found and saved hives, and the outcome.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "hive_types.h"

constexpr UINT WM_JOB_NOTIFY = WM_USER + 12;

enum JobNotifyKind : WPARAM {
    JOB_STARTED = 1,  // restore side only
    JOB_FINISHED = 2,
    JOB_STATUS = 3,
    JOB_LOGLINE = 4,
};

enum class WaitMode { Blocking, Pumping };

struct BackupJob {
    HANDLE startEvent[2] = {};  // manual reset; each wakes one saveLoop run (parameter 1, 2)
    HANDLE doneEvent = nullptr;
    HANDLE worker = nullptr;
    HANDLE workerStop = nullptr;  // ends the worker at process end
    volatile LONG pending = 0;
    volatile LONG nextIndex = 0;
    volatile LONG userFolderCounter = 0;
    CRITICAL_SECTION lock;

    std::wstring backupFolder;  // always ends in a backslash
    std::wstring dateText, timeText;
    std::wstring dateFormat = L"yyyy-MM-dd", timeFormat = L"HH-mm-ss";
    DWORD hiveMask = 3;
    HWND notifyWindow = nullptr;
    bool overwrite = false;
    int retentionMode = 0;  // 0 keep all, 1 by age, 2 by count
    int retentionDays = 30;
    int retentionCount = 10;

    std::vector<SavedHiveEntry> savedList;
    std::vector<HiveEntry> hiveList;

    int errorCode = 0;
    bool failed = false;
    // First Windows error of a failed registry save (0 when every save succeeded). A run
    // with such a hive does not end as a plain success.
    DWORD firstSaveError = 0;

    // Sets failed and errorCode under the lock.
    void fail(int code);
    // Sets failed and, only while no code is set, errorCode.
    void failKeepingCode(int code);
};

// The process-wide job.
BackupJob& theJob();

// Prepares the job once at start-up: settings path, worker thread, events, defaults,
// then the settings file's job values.
bool prepareJob(BackupJob& job);
// Stops the worker and releases the events (process end).
void releaseJob(BackupJob& job);

// Runs one backup with the settings already in the job. The outcome is read from
// job.failed and job.errorCode.
void runBackup(BackupJob& job, HWND notifyWindow, WaitMode wait);

// Destination checks before anything is written; may set errorCode (610, 606).
bool checkDestination(BackupJob& job, const std::wstring& folder);

// One run of the saving loop (worker thread); parameter is 1 or 2.
void saveLoop(BackupJob& job, int parameter, HANDLE startEvent);

// Waits on the event while dispatching this thread's window messages.
void waitPumping(HANDLE event);

// Formats a line (printf-style) into a new string owned by the receiver and posts
// WM_JOB_NOTIFY with it. Nothing happens without a notify window.
void postProgress(const BackupJob& job, JobNotifyKind kind, const wchar_t* format, ...);
// Posts a kind without text (JOB_FINISHED).
void postNotify(const BackupJob& job, JobNotifyKind kind);

// True when the run failed or a hive could not be saved through the registry.
bool jobHadErrors(const BackupJob& job);
// The text shown after "错误: " for such a run: the job's error message, else the
// system's text of the first failed registry save.
std::wstring jobErrorText(const BackupJob& job);

// The receiver's side: takes ownership of the string carried by a WM_JOB_NOTIFY.
std::wstring takeNotifyText(LPARAM lParam);
