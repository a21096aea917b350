#include "backup_run.h"

#include <algorithm>

#include "folder_naming.h"

std::wstring savedRelativePath(const BackupRun& run, const SavedHiveEntry& entry) {
    std::wstring saved = entry.savedPath;
    return saved.substr(std::min(saved.size(), run.backupFolder.size()));
}

bool backupRootOf(BackupRun& run, std::wstring& out) {
    return backupRootOf(run.backupFolder, run, out);
}
