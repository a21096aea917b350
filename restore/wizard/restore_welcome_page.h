// The wizard's first page: what the backup holds and how it will be restored.
#pragma once
#include <windows.h>

INT_PTR CALLBACK welcomePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
