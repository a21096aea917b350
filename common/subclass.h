// A window procedure of the program's own in front of a window's procedure, for the few
// windows the programs change (link labels, the wizard sheets). The common controls'
// helpers for this are exported by name only from Windows XP on (by number before, and
// not at all by early versions), and a program that imports them by name does not start
// on older systems; this works on every one.
#pragma once
#include <windows.h>

// Sees every message of the window first; data is what subclassWindow was given. It ends
// with callOriginalProc for everything it does not fully handle itself, WM_NCDESTROY
// included (after which the window's own procedure is back and the data is no longer
// used by this helper).
using SubclassProc = LRESULT (*)(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR data);

// Puts proc in front of the window's procedure. False (and nothing changed) when the
// window already has one of these or the procedure cannot be replaced.
bool subclassWindow(HWND window, SubclassProc proc, DWORD_PTR data);

// Hands a message on to the window's own procedure; only from inside a SubclassProc.
LRESULT callOriginalProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
