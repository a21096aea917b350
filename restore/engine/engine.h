// The restore engine: builds the restore plan from SURVIN.INI and restores each hive by
// hive replacement (running Windows) or by copying files (an offline installation).
#pragma once
#include <windows.h>

#include <string>

#include "hive_check.h"

struct RestoreSession;

// What the engine asks of the user and of Windows that tests must replace: the
// questions, the hive load check (a check that cannot be made), the hive replacement and
// the restart.
class RestoreActions {
public:
    virtual ~RestoreActions() = default;
    // A message box; returns IDYES, IDNO, IDOK ...
    virtual int ask(HWND owner, const std::string& text, const std::string& caption, UINT flags);
    virtual LONG replaceKey(HKEY root, const std::string& subKey, const std::string& newFile,
                            const std::string& oldFile);
    virtual void restartWindows();
    // The registry's load check of a saved file (checkHive).
    virtual HiveCheckResult loadCheck(const std::wstring& file, const std::wstring& scratchParent);
};
RestoreActions& restoreActions();
// Installs a replacement; nullptr restores the real one. Returns the previous one.
RestoreActions* setRestoreActions(RestoreActions* actions);

// Fills session.plan from the selected DATA sections. On failure sets failed and the code
// (611, 612), except when SURVIN.INI itself is gone.
bool BuildRestorePlan(RestoreSession& session);
// The whole restore, reported to window (may be null) by WM_JOB_NOTIFY. A run in which
// any step failed ends with failed set and the code of its first failure, also when the
// user chose to go on.
void RunRestore(RestoreSession& session, HWND window);
// wsprintf rules (at most 1024 characters); posts a new std::string the receiver frees.
void PostProgress(const RestoreSession& session, WPARAM kind, const char* format, ...);
void RestartWindows();
