// Entry of the backup program: single instance, Windows level, privileges, then the
// wizard or one unattended backup.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <string>

#include "backup_system.h"
#include "backup_wizard.h"
#include "command_line.h"
#include "errors.h"
#include "folder_naming.h"
#include "hive_check.h"
#include "job.h"
#include "platform.h"
#include "resource.h"

namespace {

std::wstring caption() {
    wchar_t text[64];
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_CAPTION, text, 64) > 0) return text;
    return L"注册表备份";
}

void message(const std::wstring& text, UINT icon) {
    MessageBoxW(nullptr, text.c_str(), caption().c_str(), MB_OK | icon);
}

void initCommonControls() {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    if (GetWindowsLevel() >= WindowsLevel::WindowsXp) icc.dwICC |= ICC_STANDARD_CLASSES | ICC_LINK_CLASS;
    InitCommonControlsEx(&icc);
}

// One backup from the command line; returns the process exit code.
int runUnattended(BackupJob& job) {
    CommandLineOptions options = parseCommandLine(GetCommandLineW());
    if (!options.silent && isWow64()) message(L"请运行此程序的 64 位版本。", MB_ICONINFORMATION);

    std::wstring folder;
    if (!resolveFolder(options.folder, job, folder)) {
        if (!options.silent) message(L"无效保存位置", MB_ICONWARNING);
        return err::kChangeFolder;  // a folder that cannot be used, as a rejected one
    }
    job.backupFolder = folder;
    job.overwrite = options.overwrite;
    job.retention = options.retention;
    // Only a limit named here reaches the run's backups on a network share.
    job.limitOnCommandLine = options.retention.mode != Retention::kKeepAll;
    job.hiveMask = options.hiveFlags ? options.hiveFlags : kDefaultHiveMask;

    runBackup(job, nullptr);  // nobody watches an unattended run

    if (jobHadErrors(job) && !options.silent)
        message(L"注册表备份遇到错误\n\n错误: " + jobErrorText(job), MB_ICONWARNING);
    return jobExitCode(job);
}

}  // namespace

// The exit code tells a scheduled, unattended run how it went (the wizard ends with 0
// whatever happened): 0 a backup without errors, 1 a backup with errors or none at all
// on this Windows, 2 another instance was running, 600 the privileges could not be
// enabled, 600-610 the job's code otherwise.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandTail, int) {
    initCommonControls();
    const bool unattended = commandTail && *commandTail;
    // Known before any message box can appear: a task running as SYSTEM would wait on one
    // for ever, holding the single-instance lock.
    const bool silent = unattended && parseCommandLine(GetCommandLineW()).silent;

    SingleInstance instance(L"TOLMEN_RESTORE_MUTEX_2008");
    if (instance.otherRunning()) return unattended ? kExitOtherInstance : 0;

    if (GetWindowsLevel() < WindowsLevel::Windows2000) {
        if (!silent) message(L"该程序需要 Windows 2000 及其以后版本。", MB_ICONINFORMATION);
        return unattended ? kExitWithErrors : 0;
    }
    // The backup program cannot work without both privileges: the account must hold them.
    if (!enablePrivilege(true, L"SeBackupPrivilege") || !enablePrivilege(true, L"SeRestorePrivilege")) {
        if (!silent) message(L"设置权限错误", MB_ICONINFORMATION);
        return unattended ? err::kAccessDenied : 0;
    }
    // A hive check of an earlier run that was stopped half-way leaves its key loaded until
    // Windows restarts; unloading it needs the restore privilege.
    unloadLeftoverHiveChecks();
    int exitCode = 0;  // no framework module state to initialise: the wizard ends with 0
    {
        // From here on the privileges are off for everything that opens files; the registry
        // calls that need them switch them on for themselves.
        BackupPrivileges fileWork(false);
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

        PVOID cookie = nullptr;
        bool redirected = disableFsRedirection(&cookie);

        // The program's one job, for the wizard or the unattended run.
        std::unique_ptr<BackupJob> owned(new BackupJob());
        BackupJob& job = *owned;
        if (prepareJob(job, {IDR_SURVIN_EXE, IDR_SURVIN64_EXE})) {
            if (unattended)
                exitCode = runUnattended(job);
            else
                runBackupWizard(job, GetActiveWindow());
        } else if (unattended) {
            exitCode = kExitWithErrors;
        }
        releaseJob(job);

        if (redirected) revertFsRedirection(cookie);
        CoUninitialize();
    }
    enablePrivilege(false, L"SeBackupPrivilege");
    enablePrivilege(false, L"SeRestorePrivilege");
    return exitCode;
}
