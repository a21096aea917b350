// Backup places (BackupDirs), the search for backups, deletion and pruning.
// Search and deletion depend on no backup run: the browser uses them too.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "backup_deletion.h"
#include "backup_run.h"
#include "job_report.h"

struct FoundBackup {
    std::wstring folder;  // ends in a backslash
    ULONGLONG time;       // creation time of its SURVIN.INI (file time)
    std::wstring place = {};  // the stored place it was found below, with a backslash
};

// Every backup below the stored places, oldest first, equal times counted once.
std::vector<FoundBackup> searchBackups();
// A folder holding SURVIN.INI and SURVIN.EXE, as the search counts backups.
bool isBackup(const std::wstring& folder);
// Records the backup root of the backup's folder in BackupDirs.
void registerPlace(BackupRun& backup);
// Deletes old backups by the retention mode the backup was made with; never the backup
// in the run's own folder.
void pruneBackups(const BackupRun& backup, JobReport& report);
