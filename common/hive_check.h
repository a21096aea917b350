// Whether a file is a hive that the registry accepts: a private copy of it is loaded
// under a uniquely named key below HKEY_USERS, its root key opened and enumerated, and
// unloaded again. Loading needs the backup and restore privileges, which the check
// switches on for the registry calls only.
#pragma once
#include <windows.h>

#include <string>

#include "handles.h"

// Names of the temporary keys: this prefix, the process id and a counter
// ("HiveCheck.1234.1"). No user's SID or class key can look like it. The scratch folders
// of the private copies begin with it too ("HiveCheck.1234.<16 random hex digits>").
extern const wchar_t kHiveCheckKeyPrefix[];

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
// a folder the caller made or vouches for (the backup folder), so that the copy needs no
// room elsewhere and lies where only administrators can reach it. The registry writes
// log files beside what it loads; neither the file nor the folder beside it is changed.
// The scratch folder's name is random (many tries where a name is taken), it is made for
// administrators only and must not exist before; it is removed again on every path, and
// the key is unloaded on every path.
HiveCheckResult checkHive(const wchar_t* file, const std::wstring& scratchParent);

// The parent for the check's private copies where the file to check does not lie on a
// local disk the program may write to: the registry loads hives only from local files, so
// a backup on a network share (or on a CD) is checked from a folder of the run's own. It is
// made new in the system's temporary folder, with a random name (CreateDirectory fails
// where the name exists), for administrators only, and held so that it cannot be renamed
// or removed meanwhile; it goes again when the object goes. Never a folder the program
// did not make.
class LocalCheckFolder {
public:
    LocalCheckFolder() = default;
    ~LocalCheckFolder() { remove(); }
    LocalCheckFolder(const LocalCheckFolder&) = delete;
    LocalCheckFolder& operator=(const LocalCheckFolder&) = delete;
    // Makes the folder once; false, with the last error, when none could be made.
    bool make();
    // The folder with a trailing backslash; empty until make() succeeded.
    const std::wstring& path() const { return path_; }
    // Removes the folder (it is empty once every check has ended).
    void remove();

private:
    FileHandle held_;
    std::wstring path_;
};

// Removes scratch folders that an interrupted check left in parent: only plain folders
// (no links, no mount points) owned by Administrators, SYSTEM or this account, with the
// administrators-only DACL, of a process that no longer runs; in them only the names a
// check makes (the copy and the registry's logs beside it), each opened relative to the
// folder held open, with the backup and restore privileges off; in a run's own check
// folder (LocalCheckFolder) also the scratch folders of that same run. Anything else stays.
void removeLeftoverScratch(const std::wstring& parent);

// Unloads the temporary keys that a check of an earlier, interrupted run left loaded;
// those of checks still running in another process are left alone. Returns the number
// of keys unloaded.
int unloadLeftoverHiveChecks();
