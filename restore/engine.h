// The restore engine: builds the restore plan from SURVIN.INI and restores each hive by
// hive replacement (running Windows) or by copying files (an offline installation).
#pragma once
#include <windows.h>

#include <string>

struct RestoreSession;

// What the engine asks of the user and of Windows that tests must replace: the
// questions, the hive replacement and the restart.
class RestoreActions {
public:
    virtual ~RestoreActions() = default;
    // A message box; returns IDYES, IDNO, IDOK ...
    virtual int ask(HWND owner, const std::string& text, const std::string& caption, UINT flags);
    virtual LONG replaceKey(HKEY root, const std::string& subKey, const std::string& newFile,
                            const std::string& oldFile);
    virtual void restartWindows();
};
RestoreActions& restoreActions();
// Installs a replacement; nullptr restores the real one. Returns the previous one.
RestoreActions* setRestoreActions(RestoreActions* actions);

bool BuildRestorePlan(RestoreSession& session);
void RunRestore(RestoreSession& session, HWND window);
void PostProgress(const RestoreSession& session, WPARAM kind, const char* format, ...);
void RestartWindows();
