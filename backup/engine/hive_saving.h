// Hive saving: one HiveEntry becomes a file in the backup folder and a SavedHiveEntry.
// The folders it writes into are made by the run itself (a link in their place fails
// the run) and held open; every file goes in relative to them, and the backup and restore
// privileges are on only around the registry calls that need them.
#pragma once
#include <windows.h>

#include <string>

#include "backup_run.h"
#include "hive_types.h"
#include "job_report.h"

enum class HiveSaveOutcome {
    Saved,            // the copy is in the backup folder, described by `saved`
    SavedUnverified,  // saved and kept, but the load check could not be made (`error` says why)
    LeftOut,          // the save failed, or its file did not load, with `error`; the backup goes on without it
    Failed,           // the run failed (reported)
    Skipped,          // not a hive this program saves
};

struct HiveSaveResult {
    HiveSaveOutcome outcome = HiveSaveOutcome::Skipped;
    SavedHiveEntry saved = {};
    DWORD error = 0;
};

// Saves hive n of count into the run's folder (user hives into a numbered "Users\<n>"
// folder), reporting a status and a log line. The caller keeps the result.
HiveSaveResult saveHive(BackupRun& run, const HiveEntry& entry, int n, int count, JobReport& report);
// Saves a key into a new, empty file the caller holds open for writing. 0 on success,
// else a Windows error code; a failed save leaves the file empty.
LONG saveKeyToFile(HKEY root, const std::wstring& subkey, HANDLE file);
// Creates every missing level of the path (new levels for administrators only). True
// when the folder exists as a directory afterwards; drive roots are refused.
bool createFolderTree(const std::wstring& path);
// Makes the run's backup folder (createFolderTree) and holds it open: it must be a plain
// folder where its path leads, never a link or mount point put in its place, and it gets
// the administrators-only DACL. True when it is held (also when it was already).
bool holdBackupFolder(BackupRun& run);
