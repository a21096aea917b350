// The restore wizard: welcome page, progress page and the advanced options.
#pragma once
#include <windows.h>

struct RestoreSession;

void runRestoreWizard(RestoreSession& session, HWND owner);
