// Hive saving: one HiveEntry becomes a file in the backup folder and a SavedHiveEntry.
#pragma once
#include <windows.h>

#include <string>

#include "backup_run.h"
#include "hive_types.h"
#include "job_report.h"

enum class HiveSaveOutcome {
    Saved,    // the copy is in the backup folder, described by `saved`
    LeftOut,  // the save failed, or its file did not load, with `error`; the backup goes on without it
    Failed,   // the run failed (reported)
    Skipped,  // not a hive this program saves
};

struct HiveSaveResult {
    HiveSaveOutcome outcome = HiveSaveOutcome::Skipped;
    SavedHiveEntry saved = {};
    DWORD error = 0;
};

// Saves hive n of count into the run's folder (user hives into a numbered "Users\<n>"
// folder), reporting a status and a log line. The caller keeps the result.
HiveSaveResult saveHive(BackupRun& run, const HiveEntry& entry, int n, int count, JobReport& report);
// 0 on success, else a Windows error code.
LONG saveKeyToFile(HKEY root, const std::wstring& subkey, const std::wstring& file);
// True when the folder exists as a directory afterwards; drive roots are refused.
bool createFolderTree(const std::wstring& path);
