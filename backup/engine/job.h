// The backup job: the one object that performs a backup. It runs the steps in order,
// owns the worker thread that saves the hives, keeps the record of the backup and the
// outcome, and passes each step the parts it reads or fills and itself as the step's
// report (log lines and the status to the run's listener, failures).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "backup_run.h"
#include "hive_discovery.h"
#include "hive_types.h"
#include "job_report.h"

// How a run ended: failed, and the error code of its message and exit code.
struct JobOutcome {
    int errorCode = 0;
    bool failed = false;
};

struct BackupJob final : BackupRun, HiveSelection, JobOutcome, JobReport {
    KernelHandle startEvent[2];  // manual reset; each wakes one saveLoop run (parameter 1, 2)
    KernelHandle doneEvent;
    KernelHandle worker;
    KernelHandle workerStop;  // ends the worker at process end
    volatile LONG pending = 0;
    volatile LONG nextIndex = 0;
    CRITICAL_SECTION lock;
    JobListener* listener = nullptr;  // who shows the run: none for an unattended one

    // Pass the line or status on to the listener; nothing happens without one.
    void logLine(StepId step, const std::wstring& text) const override;
    void status(const std::wstring& text) const override;
    // Sets failed and errorCode under the lock.
    void fail(int code) override;
    // Sets failed and, only while no code is set, errorCode.
    void failKeepingCode(int code) override;
    // A hive is missing from the backup (not a failure of the run): the first error is
    // kept for the run's message.
    void noteMissingHive(DWORD error);
};

// Prepares the job once at start-up: settings path, worker thread, events, defaults,
// the restore programs the program carries, then the settings file's job values.
bool prepareJob(BackupJob& job, const CarriedPrograms& carried);
// Stops the worker and releases the events (process end).
void releaseJob(BackupJob& job);

// Runs one backup with the settings already in the job, reporting to the listener (none:
// nobody watches the run). The outcome is read from job.failed and job.errorCode.
void runBackup(BackupJob& job, JobListener* listener);
// True while the job's workers save hives.
bool jobIsSaving(const BackupJob& job);

// Destination checks before anything is written; may set errorCode (610, 606).
bool checkDestination(BackupJob& job, const std::wstring& folder);

// One run of the saving loop (worker thread); parameter is 1 or 2.
void saveLoop(BackupJob& job, int parameter, HANDLE startEvent);

// The steps as the job runs them, each with the parts of the job it reads or fills:
// saves one hive and keeps the outcome in the job's lists (under the lock);
void saveHive(BackupJob& job, const HiveEntry& entry, int n, int count);
// writes SURVIN.INI, SURVIN.WRC and the backup place;
bool writeRestoreInfo(BackupJob& job);
// deletes old backups by the job's retention mode.
void pruneBackups(BackupJob& job);

// True when the run failed or a hive could not be saved through the registry.
bool jobHadErrors(const BackupJob& job);
// The text shown after "错误: " for such a run: the job's error message, else the
// system's text of the first failed registry save.
std::wstring jobErrorText(const BackupJob& job);

// Exit codes of an unattended run, for a scheduler that reads nothing else.
constexpr int kExitSuccess = 0;
constexpr int kExitWithErrors = 1;    // the run ended "处理 包含错误" without a job code
constexpr int kExitOtherInstance = 2; // another instance runs; nothing was done
// 0 after a backup without errors, the job's code (600-610) when it failed, else 1.
int jobExitCode(const BackupJob& job);
