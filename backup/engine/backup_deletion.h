// Deleting a backup so that nobody can steer the deletion elsewhere. The folder is held
// open from the check to the end; every file is opened relative to it without following
// links, checked to be where its name says, and deleted through its handle. A folder or
// file swapped for a link after the search is left alone, and so is everything a link
// leads to.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Deletes the files listed in the folder's SURVIN.INI, the help file, its empty user
// folders, then the folder and its empty parents up to the drive root. `place` is the
// stored place the search found the folder below; the folder must lie at or below it and
// really be where the place leads (without a place: below its parent folder). Returns
// false when the folder was refused or could not be opened; failures of single files
// are not reported. A place, backup folder or SURVIN.INI that another user owns (not
// Administrators, SYSTEM or this account) is refused whole; so are Files entries other
// than a plain name or Users\<n>\<name>, and entries into a folder with a SURVIN.INI of its own.
// On a network share the server reports its own accounts: there the backup folder and its
// SURVIN.INI must be owned by exactly `shareOwner` (the owner the server gave what this
// run created on the share), and without one nothing there is deleted.
bool deleteBackup(const std::wstring& folder, const std::wstring& place = L"",
                  const std::vector<BYTE>& shareOwner = {});
