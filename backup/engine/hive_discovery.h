// Hive discovery: the loaded hives from the hivelist key, with their category.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "hive_types.h"

// Which hive categories a backup takes, and the loaded hives found of them.
struct HiveSelection {
    DWORD hiveMask = kDefaultHiveMask;  // HiveCategory bits
    std::vector<HiveEntry> hiveList;
};

// Appends one HiveEntry per selected hive to the hive list; false when the hivelist key
// cannot be opened.
bool listHives(HiveSelection& selection);
// \Device\HarddiskVolume1\... -> C:\...; false when no drive letter leads to the file.
bool toDosPath(const std::wstring& ntPath, std::wstring& out);
// HiveCategory of a hive, 0 when neither machine nor user hive or no user name.
DWORD classifyHive(const std::wstring& hiveName, const std::wstring& filePath);
// Root key and subkey of a hive name; false for other names.
bool hiveKeyOf(const std::wstring& hiveName, HKEY* root, std::wstring* subkey);
// Size of a hive file, read without access rights (a loaded hive is held open by the
// system); 0 when it cannot be opened or sized.
ULONGLONG hiveFileSize(const std::wstring& path);
