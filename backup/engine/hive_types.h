// Records shared by discovery, saving and the restore information writer.
#pragma once
#include <windows.h>

#include "survin_ini.h"

// A hive's category, as SURVIN.INI records it.
enum HiveCategory : DWORD {
    kHiveSystem = survinini::kCategorySystem,
    kHiveCurrentUser = survinini::kCategoryCurrentUser,
    kHiveOthers = survinini::kCategoryOthers,
};
// What a run saves unless told otherwise: the system's hives and the current user's.
constexpr DWORD kDefaultHiveMask = kHiveSystem | kHiveCurrentUser;

constexpr int kCchRecordPath = 520;  // fixed text fields: at most 519 characters

// A loaded hive found in the hivelist.
struct HiveEntry {
    wchar_t hiveName[kCchRecordPath];  // e.g. \REGISTRY\MACHINE\SYSTEM
    wchar_t filePath[kCchRecordPath];  // drive-letter path of the hive file
    DWORD category;                    // one HiveCategory bit
    ULONGLONG fileSize;                // 0 when the file cannot be sized
};

// A saved hive, as SURVIN.INI records it.
struct SavedHiveEntry {
    HKEY rootKey;                                   // HKEY_LOCAL_MACHINE or HKEY_USERS
    wchar_t subkey[kCchRecordPath];                 // e.g. SYSTEM or a user's SID
    wchar_t savedPath[kCchRecordPath];              // full path of the copy in the backup folder
    wchar_t replacementBackupPath[kCchRecordPath];  // live path + ".bak" when it has no extension
    wchar_t liveFilePath[kCchRecordPath];
    DWORD category;
};

// Copies text into a fixed field, cutting it to fit.
template <size_t N>
void copyField(wchar_t (&field)[N], const wchar_t* text) {
    lstrcpynW(field, text, static_cast<int>(N));
}
