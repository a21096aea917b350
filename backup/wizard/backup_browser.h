// The backup browser: lists the known backups, shows their details, starts their
// restore program, opens their folder or deletes them.
#pragma once
#include <windows.h>

#include <string>

// One listed backup, from the INFO section of its SURVIN.INI.
struct BackupRecord {
    std::wstring dateTime;
    std::wstring folder;  // ends in a backslash
    std::wstring place;   // the stored place the search found it below
    std::wstring osString;
    std::wstring sysRoot;
};

// Reads a backup folder's record. False (the folder is left out) when SURVIN.INI is
// missing, one of the three INFO texts is missing or empty, or no hive category is set.
bool readBackupRecord(const std::wstring& folder, BackupRecord& record);

// The details text shown for a selected backup.
std::wstring backupDetails(const BackupRecord& record);

// Runs the dialog modally until the user closes it.
void runBackupBrowserDialog(HWND owner);
