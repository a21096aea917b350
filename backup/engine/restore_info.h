// The writer of SURVIN.INI, the restore information file of each backup.
#pragma once
#include "backup_run.h"
#include "job_report.h"

// Writes SURVIN.INI (and through it SURVIN.WRC, and registers the backup place).
// False when nothing usable was written; fails with 601 for an empty saved list.
bool writeRestoreInfo(BackupRun& backup, JobReport& report);
