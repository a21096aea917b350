// Interim: the pruning helper replaces this file.
#include "backup_places.h"

#include "job.h"

std::vector<FoundBackup> searchBackups() { return {}; }
void deleteBackup(const std::wstring&) {}
void registerPlace(BackupJob&) {}
void pruneBackups(BackupJob&) {}
