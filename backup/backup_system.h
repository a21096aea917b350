// What the backup program asks of Windows that Wine cannot show: the free bytes of a
// volume and the Windows level of other systems. Tests install their own answers.
#pragma once
#include <windows.h>

#include <string>

class BackupSystem {
public:
    virtual ~BackupSystem() = default;
    // Free bytes available to the caller on the volume of folder; false when unknown.
    virtual bool freeBytesAvailable(const std::wstring& folder, ULONGLONG* bytes);
    // GetWindowsLevel: 0-9, computed once from the version queries.
    virtual int windowsLevel();
};

// The installed implementation (the real one unless a test set another).
BackupSystem& backupSystem();
// Installs a replacement; nullptr restores the real one. Returns the previous one.
BackupSystem* setBackupSystem(BackupSystem* system);

// The level classification of the running Windows (through backupSystem()).
int GetWindowsLevel();
// The classification itself, for a platform id and version.
int windowsLevelOf(DWORD platformId, DWORD major, DWORD minor);
