// The writer of SURVIN.INI, the restore information file of each backup.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "backup_run.h"
#include "job_report.h"
#include "osinfo.h"

// What SURVIN.INI records of one backup. WinVer, WinDevice and CurUser are left out when
// empty (the system could not tell them); every other value is written as it stands.
struct RestoreInfoRecord {
    struct Hive {
        std::wstring type;   // MACHINE\<key> or USERS\<key>
        std::wstring saved;  // relative to the backup folder
        std::wstring hive;   // the live file, in its short form where it has one
        DWORD category;      // one survinini category bit
    };
    std::wstring dateTime, winVer, osString;
    OsInfoRecord osInfo;
    std::wstring sysRoot, winDevice, curUser;
    std::vector<Hive> hives;
    std::vector<std::wstring> files;  // the Files list, in order
};

// The whole file for a record, as the system's profile functions write it into a new
// file: ANSI text in the system's code page, no byte-order mark, "[section]" and
// "key=value" lines ending in CR LF, sections and keys in the order written (INFO,
// DATA0 ... DATAn-1, Files), OSINFO as upper-case hex of the record's bytes and their
// checksum byte.
std::string formatRestoreInfo(const RestoreInfoRecord& record);

// Writes SURVIN.INI (and through it SURVIN.WRC, and registers the backup place).
// False when nothing usable was written; fails with 601 for an empty saved list.
bool writeRestoreInfo(BackupRun& backup, JobReport& report);
