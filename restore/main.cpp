// Entry of the restore program. Interim: the restore core helper grows this file.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0xFF};
    InitCommonControlsEx(&icc);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "SURVIN_RESTORE_MUTEX_2008");
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    if (mutex) ReleaseMutex(mutex);
    CoInitialize(nullptr);
    PVOID cookie = nullptr;
    bool redirected = disableFsRedirection(&cookie);
    if (redirected) revertFsRedirection(cookie);
    CoUninitialize();
    return 0;
}
