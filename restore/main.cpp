// Entry of the restore program: it always restores the backup folder it was started from.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlwapi.h>

#include <string>

#include "handles.h"
#include "loader.h"
#include "platform.h"
#include "resource.h"
#include "restore_wizard.h"
#include "session.h"
#include "windows_level.h"

namespace {

void enablePrivileges() {
    // The restore privilege is asked for only once the backup privilege was granted.
    if (enablePrivilege(true, L"SeBackupPrivilege") && enablePrivilege(true, L"SeRestorePrivilege")) return;
    char caption[128] = "注册表恢复";
    LoadStringA(GetModuleHandleA(nullptr), IDS_CAPTION, caption, sizeof(caption));
    MessageBoxA(nullptr, "设置权限错误", caption, MB_OK | MB_ICONINFORMATION);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    restrictDllSearch();
    const WindowsLevel level = runningWindowsLevel();
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0xFF};
    if (level >= WindowsLevel::WindowsXp) icc.dwICC |= ICC_LINK_CLASS;
    InitCommonControlsEx(&icc);

    // One restore at a time; the lock stays until the process ends. A user who took the
    // name first does not keep an administrator from restoring.
    SingleInstance instance(L"SURVIN_RESTORE_MUTEX_2008");
    if (instance.otherRunning()) return 0;

    // No privileges on the 9x family.
    const bool nineX = isNineX(level);
    if (!nineX) enablePrivileges();
    HRESULT com = CoInitialize(nullptr);
    PVOID cookie = nullptr;
    const bool redirected = disableFsRedirection(&cookie);

    RestoreSession& session = theSession();
    initSession(session, programFolderA());
    if (!commandLine || !commandLine[0]) runRestoreWizard(session, nullptr);

    if (redirected) revertFsRedirection(cookie);
    if (SUCCEEDED(com)) CoUninitialize();
    if (!nineX) {
        enablePrivilege(false, L"SeBackupPrivilege");
        enablePrivilege(false, L"SeRestorePrivilege");
    }
    return 0;
}
