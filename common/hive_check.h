// Whether a file is a hive that the registry accepts: it is loaded under a private,
// uniquely named key below HKEY_USERS, its root key opened and enumerated, and unloaded
// again. Both programs run elevated with the restore privilege enabled, which loading
// needs.
#pragma once
#include <windows.h>

// Names of the temporary keys: this prefix, the process id and a counter
// ("HiveCheck.1234.1"). No user's SID or class key can look like it.
extern const wchar_t kHiveCheckKeyPrefix[];

// 0 when file loads as a hive and its root key can be enumerated, else the registry's
// (or, when the private copy cannot be made, the system's) error code. What is loaded is
// a private copy in a scratch folder of the temporary folder, so neither the file nor the
// folder beside it is changed (the registry writes log files beside what it loads) and a
// file on read-only media can be checked. The key is unloaded on every path.
DWORD checkHiveLoads(const wchar_t* file);

// Unloads the temporary keys and removes the scratch folders that a check of an earlier,
// interrupted run left behind; those of checks still running in another process are left
// alone. Returns the number of keys unloaded.
int unloadLeftoverHiveChecks();
