// Small window helpers shared by the restore wizard's pages and dialogs.
#pragma once
#include <windows.h>

#include <string>

// Centres wnd over owner when that is visible and not minimised, else within the work
// area of the nearest monitor; kept inside that work area.
void centreWindow(HWND wnd, HWND owner);

std::string windowTextA(HWND wnd);
std::string dlgItemTextA(HWND dlg, int id);
