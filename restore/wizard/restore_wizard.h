// The restore wizard: welcome page, progress page and the advanced options.
#pragma once
#include <windows.h>

struct RestoreSession;
class RestoreCallback;

// Shows the wizard over owner (may be null) and returns when it closes. platform, where
// given, makes the restore's Windows calls (hive replacement, restart, load check) in
// place of the real ones.
void runRestoreWizard(RestoreSession& session, HWND owner, RestoreCallback* platform = nullptr);

// Where the wizard's dialogs, header bitmap and strings come from: the program itself,
// unless a host that carries no resources of its own names SURVIN.EXE's module.
void setRestoreResourceModule(HINSTANCE module);
HINSTANCE restoreResourceModule();
