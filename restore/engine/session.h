// The restore program's single state: what the backup folder holds, how and where it
// is restored, and the outcome of the run.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "osinfo.h"

enum RestoreMode : int { WindowsApi = 1, CopyFiles = 2 };

constexpr int kCchPlanPath = 520;

class RestoreCallback;

struct RestorePlanEntry {
    HKEY rootKey;
    char subKey[kCchPlanPath];
    char savedFile[kCchPlanPath];
    char backupCopy[kCchPlanPath];
    char hivePath[kCchPlanPath];
    int category;
    // The value of the entry's section that the restore refuses (a Hive that cannot receive a
    // hive of its Type, a Saved outside the backup folder); empty when the entry is sound. A
    // refused entry is never restored: the run asks whether to go on with the next one.
    char refused[kCchPlanPath];
};

struct RestoreSession {
    std::vector<RestorePlanEntry> plan;
    std::string backupFolder;  // folder of the running program, trailing backslash
    std::string infoFilePath;  // backupFolder + "SURVIN.INI"
    std::string backupDateTime;
    std::string backupOsString;
    std::string backupSysRoot;
    int backupVersionCode = 0;  // levelNumber of the WinVer text's WindowsLevel (0: none)
    int32_t backupWinVerMajor = 0;  // INFO/WinVer as read
    int32_t backupWinVerMinor = 0;
    OsInfoRecord backupOsInfo = {};
    int restoreMode = WindowsApi;
    int detectedMode = WindowsApi;
    int autoDetect = 1;
    int osDiffers = 0;
    int infoLoaded = 0;
    std::string currentWindowsRoot;
    std::string targetWindowsRoot;
    DWORD availableCategories = 0;
    DWORD selectedCategories = 0;
    int backupExisting = 1;
    int failed = 0;
    int failureCode = 0;
    // The front end of the run under way (RunRestore); none when null.
    RestoreCallback* callback = nullptr;
};

RestoreSession& theSession();
