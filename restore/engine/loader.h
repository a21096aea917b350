// Start-up of the restore state: loading SURVIN.INI and the
// automatic detection of the restore mode and target Windows root.
#pragma once
#include <windows.h>

#include <string>

struct RestoreSession;

// The restore program runs elevated from a backup folder that need not be trusted: DLLs
// that are loaded by name once it runs come from the system folder only, never from the
// program's own folder or the current one. Called first at entry.
void restrictDllSearch();

// Start-up steps of the session for the program in folder (trailing backslash):
// paths, initial values, current Windows root, LoadRestoreInfo, DetectRestoreTarget.
void initSession(RestoreSession& session, const std::string& programFolder);
bool LoadRestoreInfo(RestoreSession& session);
void DetectRestoreTarget(RestoreSession& session);

// DetectRestoreTarget for a given path of the running program (the drive-letter search
// looks at it); DetectRestoreTarget passes the real one.
void detectRestoreTargetFrom(RestoreSession& session, const std::string& programFile);
// A path in the ANSI code page in which every later ANSI call finds the same file: the
// path itself when it converts exactly, else its short (8.3) form; empty when neither does.
std::string ansiPathOf(const std::wstring& path);
// The running program's full path and its folder (trailing backslash), taken through the
// wide API so that a folder whose name the code page lacks is still found.
std::string programPathA();
std::string programFolderA();
// The Windows directory without quotes, blanks or backslashes at either end.
std::string currentWindowsRootA();
