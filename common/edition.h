// Windows edition identification: one line of English text describing a Windows
// installation, and the OS information record it is made from. One decision procedure
// serves both programs.
#pragma once
#include <string>

#include "osinfo.h"

// Backup program: queries the running system. False when the version query fails or
// the platform is neither the 9x nor the NT family.
bool identifyWindows(std::wstring& text, OsInfoRecord& record);

enum class IdentifyMode { Query, FromRecord };
// Restore program: Query behaves like identifyWindows; FromRecord derives the text from
// the given record and queries nothing but the Server 2003 R2 metric. The text is the
// wide text converted through the system's ANSI code page, byte for byte what the backup
// program's profile write put into SURVIN.INI on a system of that code page.
bool identifyWindowsA(std::string& text, OsInfoRecord& record, IdentifyMode mode);

// The decision procedure alone, over a complete record, with the answer of the system's
// Server 2003 R2 metric given: the same text in the backup program's wide form and the
// restore program's 8-bit form (GBK bytes for the one Chinese phrase). False when the
// platform is neither the 9x nor the NT family.
bool editionTextW(const OsInfoRecord& record, bool serverR2, std::wstring& text);
bool editionTextA(const OsInfoRecord& record, bool serverR2, std::string& text);
// The wide text as a profile write in codePage stores it (the service-pack text of the
// record read in that code page too); cut to 259 bytes as the restore program reads it.
bool editionTextInCodePage(const OsInfoRecord& record, bool serverR2, UINT codePage, std::string& text);
