// The two-page backup wizard shown when the program starts without arguments.
#pragma once
#include <windows.h>

struct BackupJob;

// Runs the wizard modally (owner: the active window) until the user closes it.
void runBackupWizard(BackupJob& job, HWND owner);
