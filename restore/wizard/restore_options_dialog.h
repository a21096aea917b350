// The advanced options: hive categories, restore mode, target Windows root and the
// backup of the live hives. Changes go straight into the session.
#pragma once
#include <windows.h>

struct RestoreSession;

// Modal; true when closed with OK.
bool showRestoreOptionsDialog(HWND owner, RestoreSession& session);
