// Deleting a backup so that nobody can steer the deletion elsewhere. The folder is held
// open from the check to the end; every file is opened relative to it without following
// links, checked to be where its name says, and deleted through its handle. A folder or
// file swapped for a link after the search is left alone, and so is everything a link
// leads to.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
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

// The same for many backups, as a prune deletes them: each place is checked once, and the
// parents left empty are removed once all are done (finish, or the end of the object),
// each a single time however many backups it held.
class BackupDeletion {
public:
    explicit BackupDeletion(std::vector<BYTE> shareOwner = {}) : shareOwner_(std::move(shareOwner)) {}
    ~BackupDeletion() { finish(); }
    BackupDeletion(const BackupDeletion&) = delete;
    BackupDeletion& operator=(const BackupDeletion&) = delete;

    bool remove(const std::wstring& folder, const std::wstring& place = L"");
    void finish();

private:
    struct Place {
        std::wstring path;   // qualified, with its backslash
        std::wstring final;  // where it leads; empty: refused
    };
    struct Parent {
        std::wstring path;   // as found, with its backslash
        std::wstring final;  // where it must really be
    };
    const std::wstring* placeFinal(const std::wstring& place, const std::wstring& root, bool network);

    std::vector<BYTE> shareOwner_;
    std::vector<Place> places_;
    std::vector<Parent> parents_;
};
