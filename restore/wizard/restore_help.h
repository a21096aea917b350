// The help file of the restore program: "tolmen.chm" beside the running program.
#pragma once
#include <windows.h>

void showRestoreHelp(HWND owner);
