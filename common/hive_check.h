// Whether a file is a hive that the registry accepts: it is loaded under a private,
// uniquely named key below HKEY_USERS, its root key opened and enumerated, and unloaded
// again. Both programs run elevated with the restore privilege enabled, which loading
// needs.
#pragma once
#include <windows.h>

#include <string>

// Names of the temporary keys: this prefix, the process id and a counter
// ("HiveCheck.1234.1"). No user's SID or class key can look like it.
extern const wchar_t kHiveCheckKeyPrefix[];

// 0 when file loads as a hive and its root key can be enumerated, else the registry's
// (or, when the private copy cannot be made, the system's) error code. What is loaded is
// a private copy in a scratch folder of the temporary folder, so neither the file nor the
// folder beside it is changed (the registry writes log files beside what it loads) and a
// file on read-only media can be checked. The key is unloaded on every path.
DWORD checkHiveLoads(const wchar_t* file);

// What a load check found. Only the registry's own refusal of the file's format is a
// verdict against the file; a check that could not be made (no room for the private
// copy, a missing privilege, a name taken) says nothing about it.
enum class HiveVerdict {
    Loads,         // loaded, root key enumerated, unloaded again
    NotAHive,      // the registry refused the file's contents (1009, 1015, 1017 and their kind)
    Unverifiable,  // the check could not be made; error says why
};
struct HiveCheckResult {
    HiveVerdict verdict;
    DWORD error;  // 0 when it loads, else the registry's or the system's code
};
// True for the registry's errors that mean "this file is no (sound) hive".
bool isNotAHiveError(DWORD error);

// The load check with its private copy in a new scratch folder made inside scratchParent,
// a folder the caller made or vouches for (the backup folder). The scratch folder's name
// is random and it is for administrators only; it is removed again on every path.
HiveCheckResult checkHive(const wchar_t* file, const std::wstring& scratchParent);

// Removes scratch folders that an interrupted check left in parent: only plain folders
// (no links) owned by Administrators or SYSTEM with the administrators-only DACL, and in
// them only the names a check makes, with the backup and restore privileges off.
void removeLeftoverScratch(const std::wstring& parent);

// Unloads the temporary keys and removes the scratch folders that a check of an earlier,
// interrupted run left behind; those of checks still running in another process are left
// alone. Returns the number of keys unloaded.
int unloadLeftoverHiveChecks();
