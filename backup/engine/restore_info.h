// The writer of SURVIN.INI, the restore information file of each backup.
#pragma once
#include <string>

struct BackupJob;
struct SavedHiveEntry;

// Writes SURVIN.INI (and through it SURVIN.WRC, and registers the backup place).
// False when nothing usable was written; sets 601 for an empty saved list.
bool writeRestoreInfo(BackupJob& job);

// A saved hive's path relative to the backup folder, as the Saved value records it
// (e.g. software, Users\1\NTUSER.DAT).
std::wstring savedRelativePath(const BackupJob& job, const SavedHiveEntry& entry);
