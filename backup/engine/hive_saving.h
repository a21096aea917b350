// Hive saving: one HiveEntry becomes a file in the backup folder and a SavedHiveEntry.
#pragma once
#include <windows.h>

#include <string>

#include "hive_types.h"

struct BackupJob;

void saveHive(BackupJob& job, const HiveEntry& entry, int n, int count);
// 0 on success, else a Windows error code.
LONG saveKeyToFile(HKEY root, const std::wstring& subkey, const std::wstring& file);
// True when the folder exists as a directory afterwards; drive roots are refused.
bool createFolderTree(const std::wstring& path);
