// RegOpt.ini beside the program: its place, the read-only mode, and every reader and
// writer of its keys.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "folder_naming.h"
#include "retention.h"

// The job's values that RegOpt.ini holds: overwrite, retention, the naming pictures and
// whether each saved hive is loaded once to prove it.
struct JobOptions : FolderNaming {
    bool overwrite = false;
    Retention retention;
    bool verifyHives = true;
};

// Computes the settings path and the read-only mode once (program start). The
// optional folder replaces the program's own folder (tests).
void initSettings(const wchar_t* folderOverride = nullptr);
const std::wstring& settingsPath();
// Anything but a fixed local disk under the settings file: the options cannot be
// changed and BackupDirs is not rewritten.
bool settingsReadOnly();

constexpr const wchar_t* kDefaultBackupDir = L"%SystemRoot%\\Tolmen\\<DATE>\\";

// Job settings load: Overwrite, LimitBackup*, DateFormat, TimeFormat, VerifyHives.
void loadJobSettings(JobOptions& options);

// DefBackupDir for the welcome page: the default when the read yields nothing,
// expanded (the unexpanded text when expansion fails).
std::wstring defaultFolderExpanded(FolderNaming& naming);

DWORD readDefHives();
void writeDefHives(DWORD mask);

// What the advanced options dialog edits.
struct AdvancedOptions {
    std::wstring defBackupDir;  // as stored; present but empty stays empty
    bool overwrite = false;
    Retention retention;
};
AdvancedOptions loadAdvancedOptions();
// Repairs the limits and writes DefBackupDir, Overwrite, LimitBackup, LimitBackupDays,
// LimitBackupCount in that order. Writes nothing in read-only mode.
void saveAdvancedOptions(AdvancedOptions options);

// The BackupDirs list: keys "0", "1", ... until the first one that reads as nothing (at
// most 1000). Values are returned as stored (520-character reads); the callers trim them.
std::vector<std::wstring> readBackupDirs();
// Replaces the whole section with the list. Writes nothing in read-only mode.
void writeBackupDirs(const std::vector<std::wstring>& places);
