// The writer of SURVIN.INI, the restore information file of each backup.
#pragma once

struct BackupJob;

// Writes SURVIN.INI (and through it SURVIN.WRC, and registers the backup place).
// False when nothing usable was written; sets 601 for an empty saved list.
bool writeRestoreInfo(BackupJob& job);
