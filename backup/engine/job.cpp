#include "job.h"

#include <shlwapi.h>

#include "admin_only.h"
#include "backup_places.h"
#include "backup_system.h"
#include "errors.h"
#include "hive_discovery.h"
#include "hive_saving.h"
#include "platform.h"
#include "restore_info.h"
#include "restore_kit.h"
#include "settings.h"

namespace {

struct Lock {
    explicit Lock(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~Lock() { LeaveCriticalSection(&cs_); }
    CRITICAL_SECTION& cs_;
};

bool isSignalled(HANDLE event) { return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

// The worker: waits on the two start events and runs saveLoop for the one signalled;
// the stop event ends it at process end.
DWORD WINAPI workerMain(void* param) {
    auto* job = static_cast<BackupJob*>(param);
    HANDLE handles[3] = {job->workerStop.get(), job->startEvent[0].get(), job->startEvent[1].get()};
    for (;;) {
        DWORD r = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0 + 1 || r == WAIT_OBJECT_0 + 2) {
            int parameter = static_cast<int>(r - WAIT_OBJECT_0);
            saveLoop(*job, parameter, handles[parameter]);
        } else {
            return 0;
        }
    }
}

std::wstring withoutTrailingBackslashes(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

bool pathExists(const std::wstring& path) { return PathFileExistsW(path.c_str()) != FALSE; }

// Every hive file the run saved is still in the folder it holds (pruning deletes what
// other backups list; nothing of this one may have gone with them).
bool savedFilesPresent(const BackupJob& job) {
    if (!job.folderHandle) return false;
    for (const SavedHiveEntry& entry : job.savedList) {
        FileHandle file = openRelative(job.folderHandle.get(), savedRelativePath(job, entry), false,
                                       FILE_READ_ATTRIBUTES);
        if (!file || !isPlainFile(file.get())) return false;
    }
    return true;
}

// The same folder as `other` (followed where it leads), by file identity: another
// spelling (a short name, a link) of the Windows folder is the Windows folder.
bool isSameFolder(const std::wstring& folder, const std::wstring& other) {
    const auto open = [](const std::wstring& path) {
        return FileHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    };
    FileHandle a = open(folder), b = open(other);
    return a && b && sameFile(a.get(), b.get());
}

}  // namespace

void BackupJob::logLine(StepId step, const std::wstring& text) const {
    if (listener) listener->logLine(step, text);
}

void BackupJob::status(const std::wstring& text) const {
    if (listener) listener->status(text);
}

void BackupJob::fail(int code) {
    Lock guard(lock);
    failed = true;
    errorCode = code;
}

void BackupJob::noteMissingHive(DWORD error) {
    Lock guard(lock);
    if (firstSaveError == 0) firstSaveError = error;
}

void BackupJob::failKeepingCode(int code) {
    Lock guard(lock);
    failed = true;
    if (errorCode == 0) errorCode = code;
}

bool prepareJob(BackupJob& job, const CarriedPrograms& carried) {
    if (settingsPath().empty()) initSettings();
    InitializeCriticalSection(&job.lock);
    for (KernelHandle* event : {&job.workerStop, &job.startEvent[0], &job.startEvent[1], &job.doneEvent}) {
        event->reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!*event) return false;
    }
    job.worker.reset(CreateThread(nullptr, 0, workerMain, &job, 0, nullptr));
    if (!job.worker) return false;

    job.pending = 0;
    job.nextIndex = 0;
    job.userFolderCounter = 0;
    job.backupFolder.clear();
    job.dateText.clear();
    job.timeText.clear();
    job.hiveMask = kDefaultHiveMask;
    job.listener = nullptr;
    job.carried = carried;
    job.overwrite = false;
    job.retention = Retention();
    job.verifyHives = true;
    job.savedList.clear();
    job.hiveList.clear();
    job.errorCode = 0;
    job.failed = false;
    job.firstSaveError = 0;
    job.folderHandle.reset();
    job.folderFinal.clear();
    job.onNetwork = false;
    job.checkFolder.remove();
    job.shareOwner.clear();
    job.limitOnCommandLine = false;
    loadJobSettings(job);
    return true;
}

void releaseJob(BackupJob& job) {
    if (job.worker) {
        SetEvent(job.workerStop.get());
        WaitForSingleObject(job.worker.get(), INFINITE);
        job.worker.reset();
    }
    for (KernelHandle* event : {&job.workerStop, &job.startEvent[0], &job.startEvent[1], &job.doneEvent})
        event->reset();
    DeleteCriticalSection(&job.lock);
    job.savedList.clear();
    job.hiveList.clear();
}

void runBackup(BackupJob& job, JobListener* listener) {
    job.listener = listener;
    const auto finished = [listener] {
        if (listener) listener->finished();
    };

    if (!listHives(job)) {
        job.fail(err::kHiveListOpen);
        finished();
        return;
    }
    if (!checkDestination(job, job.backupFolder)) {
        job.failKeepingCode(err::kChangeFolder);
        finished();
        return;
    }
    if (job.overwrite) deleteBackup(job.backupFolder);

    job.pending = 2;
    ResetEvent(job.doneEvent.get());
    SetEvent(job.startEvent[0].get());
    SetEvent(job.startEvent[1].get());
    if (listener)
        listener->waitFor(job.doneEvent.get());
    else
        WaitForSingleObject(job.doneEvent.get(), INFINITE);

    // The run succeeds only with a backup that its own restore program can use: the
    // program placed, a folder it can name, and the backup still there after pruning.
    bool wroteBackup = false;
    if (writeRestoreInfo(job)) {
        wroteBackup = placeRestoreProgramAndHelp(job);
        if (!wroteBackup)
            job.failKeepingCode(err::kNoBackupCreated);
        else if (!restoreProgramCanOpen(job.backupFolder))
            job.failKeepingCode(err::kChangeFolder);
    }
    pruneBackups(job);
    if (wroteBackup && !isBackup(job.backupFolder))
        job.failKeepingCode(err::kNoBackupCreated);
    else if (wroteBackup && !savedFilesPresent(job))
        job.noteMissingHive(ERROR_FILE_NOT_FOUND);
    job.folderHandle.reset();
    job.folderFinal.clear();
    job.checkFolder.remove();

    finished();
    reportLine(job, kLineOfItsOwn, L"处理 %s", jobHadErrors(job) ? L"包含错误" : L"成功");
}

bool jobIsSaving(const BackupJob& job) {
    return isSignalled(job.startEvent[0].get()) || isSignalled(job.startEvent[1].get());
}

bool checkDestination(BackupJob& job, const std::wstring& folder) {
    ULONGLONG freeBytes = 0;
    // A folder on a share that the run has yet to make: the free space of the share.
    if (backupSystem().freeBytesAvailable(folder, &freeBytes) ||
        (isNetworkPath(folder) && backupSystem().freeBytesAvailable(rootOfPath(folder), &freeBytes))) {
        ULONGLONG total = 0;
        for (const HiveEntry& entry : job.hiveList) total += entry.fileSize;
        if (total >= freeBytes) {
            job.errorCode = err::kDiskFull;
            return false;
        }
    }
    // The folder ends in a backslash; a file in its place is only seen without it.
    std::wstring bare = withoutTrailingBackslashes(folder);
    if (bare.size() == 2 && bare[1] == L':') bare += L'\\';
    DWORD attributes = GetFileAttributesW(bare.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && !pathExists(bare)) return true;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;

    if (!job.overwrite) {
        for (const HiveEntry& entry : job.hiveList) {
            const wchar_t* name = wcsrchr(entry.filePath, L'\\');
            name = name ? name + 1 : entry.filePath;
            if (pathExists(folder + name)) {
                job.errorCode = err::kHiveExists;
                return false;
            }
        }
        if (pathExists(folder + L"SURVIN.INI") || pathExists(folder + L"SURVIN.WRC")) {
            job.errorCode = err::kHiveExists;
            return false;
        }
    }

    wchar_t windows[MAX_PATH];
    UINT cch = GetWindowsDirectoryW(windows, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return true;
    std::wstring target = withoutTrailingBackslashes(folder);
    std::wstring windowsDir = withoutTrailingBackslashes(windows);
    wchar_t config[MAX_PATH] = L"";
    if (lstrcmpiW(target.c_str(), windowsDir.c_str()) == 0) return false;
    if (PathCombineW(config, windowsDir.c_str(), L"system32\\config") &&
        lstrcmpiW(target.c_str(), config) == 0)
        return false;
    if (isSameFolder(bare, windowsDir) || (config[0] && isSameFolder(bare, config))) return false;
    return true;
}

void saveLoop(BackupJob& job, int parameter, HANDLE startEvent) {
    (void)parameter;
    PVOID cookie = nullptr;
    bool redirected = disableFsRedirection(&cookie);

    const LONG count = static_cast<LONG>(job.hiveList.size());
    if (job.nextIndex < count) {
        for (;;) {
            HiveEntry entry;
            LONG n;
            {
                Lock guard(job.lock);
                if (job.failed) break;
                entry = job.hiveList[job.nextIndex];
                n = InterlockedIncrement(&job.nextIndex);
            }
            saveHive(job, entry, n, count);
            if (job.nextIndex >= count) break;
        }
    }
    {
        Lock guard(job.lock);
        if (--job.pending <= 0) SetEvent(job.doneEvent.get());
    }
    if (redirected) revertFsRedirection(cookie);
    ResetEvent(startEvent);
}

void saveHive(BackupJob& job, const HiveEntry& entry, int n, int count) {
    const HiveSaveResult result = saveHive(job, entry, n, count, job);
    Lock guard(job.lock);
    if (result.outcome == HiveSaveOutcome::Saved || result.outcome == HiveSaveOutcome::SavedUnverified)
        job.savedList.push_back(result.saved);
    // A hive left out, or one kept that could not be verified: the run ends with errors.
    if ((result.outcome == HiveSaveOutcome::LeftOut || result.outcome == HiveSaveOutcome::SavedUnverified) &&
        job.firstSaveError == 0)
        job.firstSaveError = result.error;
}

bool writeRestoreInfo(BackupJob& job) {
    // Nothing was saved because the saving itself failed (a folder that cannot be made, a
    // file in the way): that failure's code stays the run's, not the 601 of an empty run.
    if (job.savedList.empty() && job.failed && job.errorCode != 0) return false;
    return writeRestoreInfo(job, job);
}

void pruneBackups(BackupJob& job) { pruneBackups(job, job); }

bool jobHadErrors(const BackupJob& job) { return job.failed || job.firstSaveError != 0; }

std::wstring jobErrorText(const BackupJob& job) {
    if (job.failed) return errorMessage(job.errorCode);
    return windowsErrorText(job.firstSaveError);
}

int jobExitCode(const BackupJob& job) {
    if (job.failed) return job.errorCode != 0 ? job.errorCode : kExitWithErrors;
    return jobHadErrors(job) ? kExitWithErrors : kExitSuccess;
}

