// One backup run as its steps fill and read it: what it is asked for (the folder and the
// options it is made with) and what it records (the hives saved into it). The job is
// built on it, with how the run ended.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "carried_programs.h"
#include "handles.h"
#include "hive_check.h"
#include "hive_types.h"
#include "settings.h"

// What a run is asked for: the folder, the options it is made with (hive mask, retention,
// overwrite, hive check), and the restore programs it puts beside the hives.
struct BackupRequest : JobOptions {
    std::wstring backupFolder;  // always ends in a backslash
    // An unattended run whose command line named /limitdays: or /limitcount:: its backup
    // root on a network share is pruned too.
    bool limitOnCommandLine = false;
    // The restore programs the running program carries, written into the folder.
    CarriedPrograms carried;
};

// What a run records as it goes: the hives saved and where they went.
struct RunRecord {
    std::vector<SavedHiveEntry> savedList;
    // First Windows error of a failed registry save (0 when every save succeeded). A run
    // with such a hive does not end as a plain success.
    DWORD firstSaveError = 0;
    // Numbers the "Users\<n>" folders of user hives; advanced atomically.
    volatile LONG userFolderCounter = 0;
    // The backup folder, held open from the first hive saved to the end of the run: nobody
    // can rename it or put a link in its place meanwhile, and the hives go in relative to
    // it. folderFinal is where it really is, without a trailing backslash.
    FileHandle folderHandle;
    std::wstring folderFinal;
    // The folder is on a network share: what the run writes there takes the share's
    // permissions, and its hives are checked from checkFolder, a local folder of the run.
    bool onNetwork = false;
    LocalCheckFolder checkFolder;
    // On a share, the owner that the server gave the backup folder this run created there
    // (its account on the server); empty when the folder was there before.
    std::vector<BYTE> shareOwner;
};

// One run as its steps read and fill it: saving fills the record, the restore
// information writer, the kit and the places read both parts.
struct BackupRun : BackupRequest, RunRecord {};

// A saved hive's path relative to the backup folder, as the Saved value records it
// (e.g. software, Users\1\NTUSER.DAT).
std::wstring savedRelativePath(const BackupRun& run, const SavedHiveEntry& entry);

// The backup root of the run's folder: cut before the date text, then the time text,
// resolved again.
bool backupRootOf(BackupRun& run, std::wstring& out);
