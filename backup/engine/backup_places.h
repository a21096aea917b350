// Backup places (BackupDirs), the search for backups, deletion and pruning.
// Search and deletion depend on no backup run: the browser uses them too.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "backup_run.h"
#include "job_report.h"

struct FoundBackup {
    std::wstring folder;  // ends in a backslash
    ULONGLONG time;       // creation time of its SURVIN.INI (file time)
};

// Every backup below the stored places, oldest first, equal times counted once.
std::vector<FoundBackup> searchBackups();
// Deletes the files listed in the folder's SURVIN.INI, its empty user folders, then the
// folder and its empty parents up to the drive root.
void deleteBackup(const std::wstring& folder);
// Records the backup root of the backup's folder in BackupDirs.
void registerPlace(BackupRun& backup);
// Deletes old backups by the retention mode the backup was made with.
void pruneBackups(const BackupRun& backup, JobReport& report);
