// What the backup program asks of Windows that Wine cannot show: the free bytes of a
// volume and the Windows level of other systems. Tests install their own answers.
#pragma once
#include <windows.h>

#include <string>

#include "hive_check.h"
#include "windows_level.h"

class BackupSystem {
public:
    virtual ~BackupSystem() = default;
    // Free bytes available to the caller on the volume of folder; false when unknown.
    virtual bool freeBytesAvailable(const std::wstring& folder, ULONGLONG* bytes);
    // GetWindowsLevel: the running Windows as this program tells them apart (no level
    // above Vista), computed once from the version queries.
    virtual WindowsLevel windowsLevel();

    // Hive discovery and saving. Tests give discovery a hivelist key of their own (the
    // machine's is shared by every test program running at the same time) and replace
    // the save calls to see which ones run and to make them fail.
    // HKLM\SYSTEM\CurrentControlSet\Control\hivelist, opened for reading.
    virtual LONG openHiveList(HKEY* key);
    // Whether the newer save call exists (RegSaveKeyExW, looked up by name once: Windows XP
    // and later).
    virtual bool hasSaveKeyEx();
    // The saves write into a new, empty file the caller created and holds (the registry
    // calls underneath RegSaveKeyExW and RegSaveKeyW, which take the file's handle).
    virtual LONG saveKeyEx(HKEY key, HANDLE file, DWORD flags);
    virtual LONG saveKey(HKEY key, HANDLE file);
    virtual LONG flushKey(HKEY key);
    // The load check of a saved hive (checkHive). A full disk, where the check's private
    // copy finds no room, is one of the things Wine cannot show.
    virtual HiveCheckResult checkSavedHive(const std::wstring& file, const std::wstring& scratchParent);
    // The short (8.3) form of an existing path; empty when there is none. Wine makes one
    // for every long name, Windows not where short names are switched off.
    virtual std::wstring shortPathOf(const std::wstring& path);
};

// The installed implementation (the real one unless a test set another).
BackupSystem& backupSystem();
// Installs a replacement; nullptr restores the real one. Returns the previous one.
BackupSystem* setBackupSystem(BackupSystem* system);

// The level of the running Windows (through backupSystem()).
WindowsLevel GetWindowsLevel();
