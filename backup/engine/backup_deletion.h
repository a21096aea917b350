// Deleting a backup so that nobody can steer the deletion elsewhere. The folder is held
// open from the check to the end; every file is opened relative to it without following
// links, checked to be where its name says, and deleted through its handle. A folder or
// file swapped for a link after the search is left alone, and so is everything a link
// leads to.
#pragma once
#include <windows.h>

#include <string>

// Deletes the files listed in the folder's SURVIN.INI, the help file, its empty user
// folders, then the folder and its empty parents up to the drive root. `place` is the
// stored place the search found the folder below; the folder must lie at or below it and
// really be where the place leads (without a place: below its parent folder). Returns
// false when the folder was refused or could not be opened; failures of single files
// are not reported.
bool deleteBackup(const std::wstring& folder, const std::wstring& place = L"");

// Switches SeBackupPrivilege and SeRestorePrivilege off for its lifetime, so that file
// permissions apply to what a deletion opens, and back to their earlier state afterwards.
class BackupPrivilegesOff {
public:
    BackupPrivilegesOff();
    ~BackupPrivilegesOff();
    BackupPrivilegesOff(const BackupPrivilegesOff&) = delete;
    BackupPrivilegesOff& operator=(const BackupPrivilegesOff&) = delete;

private:
    // TOKEN_PRIVILEGES with room for two.
    struct TwoPrivileges {
        DWORD count;
        LUID_AND_ATTRIBUTES privileges[2];
    };
    HANDLE token_ = nullptr;
    TwoPrivileges previous_ = {};
    bool changed_ = false;
};

// Attributes of an open file or folder; INVALID_FILE_ATTRIBUTES when unknown.
DWORD attributesOf(HANDLE handle);
// The file system's index of an open file or folder, unique on its volume.
bool fileIndexOf(HANDLE handle, ULONGLONG* index);

// Where an open file or folder really is, as a DOS path without "\\?\" ("C:\a\b",
// "\\server\share\a"); empty when the system cannot say. `root` ("C:\") names the drive
// to report it on where the system has no final-path call (before Vista).
std::wstring finalPathOf(HANDLE handle, const std::wstring& root);
// The same, made from the volume-relative name the file system gives and the drive
// `root` when that drive holds the handle's volume; the way used before Vista.
std::wstring finalPathOnVolume(HANDLE handle, const std::wstring& root);
