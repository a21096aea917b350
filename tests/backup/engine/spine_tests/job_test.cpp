#include <gtest/gtest.h>

#include "backup_system.h"
#include "errors.h"
#include "folder_link.h"
#include "job.h"
#include "job_window.h"
#include "resource.h"
#include "test_support.h"

using testing_support::NotifyRecorder;
using testing_support::ScratchDir;
using testing_support::makeDirs;
using testing_support::writeBytes;

namespace {

// Free space as a test says it is.
class FixedFreeSpace : public BackupSystem {
public:
    explicit FixedFreeSpace(ULONGLONG bytes, bool known = true) : bytes_(bytes), known_(known) {}
    bool freeBytesAvailable(const std::wstring&, ULONGLONG* bytes) override {
        *bytes = bytes_;
        return known_;
    }

private:
    ULONGLONG bytes_;
    bool known_;
};

struct InstalledSystem {
    explicit InstalledSystem(BackupSystem* s) : previous(setBackupSystem(s)) {}
    ~InstalledSystem() { setBackupSystem(previous); }
    BackupSystem* previous;
};

// A prepared job that is released at the end of the test.
struct PreparedJob {
    PreparedJob() { EXPECT_TRUE(prepareJob(job, {IDR_SURVIN_EXE, IDR_SURVIN64_EXE})); }
    ~PreparedJob() { releaseJob(job); }
    BackupJob job;
};

HiveEntry hive(const wchar_t* path, ULONGLONG size) {
    HiveEntry entry = {};
    copyField(entry.hiveName, L"\\REGISTRY\\MACHINE\\TEST");
    copyField(entry.filePath, path);
    entry.category = kHiveSystem;
    entry.fileSize = size;
    return entry;
}

TEST(CheckDestination, FreeSpaceComparedWithTotalHiveSize) {
    ScratchDir dir(L"dest-space");
    PreparedJob p;
    p.job.hiveList = {hive(L"C:\\windows\\system32\\config\\SYSTEM", 600),
                      hive(L"C:\\windows\\system32\\config\\SOFTWARE", 400)};
    {
        FixedFreeSpace equal(1000);
        InstalledSystem installed(&equal);
        EXPECT_FALSE(checkDestination(p.job, dir.path()));
        EXPECT_EQ(p.job.errorCode, err::kDiskFull);
    }
    p.job.errorCode = 0;
    {
        FixedFreeSpace more(1001);
        InstalledSystem installed(&more);
        EXPECT_TRUE(checkDestination(p.job, dir.path()));
        EXPECT_EQ(p.job.errorCode, 0);
    }
    {
        // Unknown free space (a folder that does not exist yet): the test is skipped.
        FixedFreeSpace unknown(0, false);
        InstalledSystem installed(&unknown);
        EXPECT_TRUE(checkDestination(p.job, dir / L"not-yet\\"));
    }
}

TEST(CheckDestination, ExistingBackupFilesRejectedUnlessOverwrite) {
    FixedFreeSpace plenty(1ull << 40);
    InstalledSystem installed(&plenty);
    PreparedJob p;
    p.job.hiveList = {hive(L"C:\\windows\\system32\\config\\SYSTEM", 10)};

    for (const wchar_t* name : {L"SYSTEM", L"SURVIN.INI", L"SURVIN.WRC"}) {
        ScratchDir dir(L"dest-exists");
        ASSERT_TRUE(writeBytes(dir / name, "x"));
        p.job.errorCode = 0;
        p.job.overwrite = false;
        EXPECT_FALSE(checkDestination(p.job, dir.path())) << name;
        EXPECT_EQ(p.job.errorCode, err::kHiveExists) << name;
        p.job.errorCode = 0;
        p.job.overwrite = true;
        EXPECT_TRUE(checkDestination(p.job, dir.path())) << name;
        EXPECT_EQ(p.job.errorCode, 0);
    }
}

TEST(CheckDestination, FileInPlaceAndWindowsFolderRejectedWithoutCode) {
    FixedFreeSpace plenty(1ull << 40);
    InstalledSystem installed(&plenty);
    PreparedJob p;
    ScratchDir dir(L"dest-file");
    ASSERT_TRUE(writeBytes(dir / L"afile", "x"));
    EXPECT_FALSE(checkDestination(p.job, dir / L"afile\\"));
    EXPECT_EQ(p.job.errorCode, 0);  // the job turns this into 609

    wchar_t windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    std::wstring win = windows;
    // Only an existing folder is compared with the Windows folder.
    ASSERT_TRUE(makeDirs(win + L"\\system32\\config"));
    std::wstring upper = win, lower = win;
    CharUpperW(&upper[0]);
    CharLowerW(&lower[0]);
    for (const std::wstring& folder :
         {win, upper + L"\\", lower + L"\\", win + L"\\system32\\config", upper + L"\\SYSTEM32\\CONFIG\\",
          lower + L"\\system32\\config\\"}) {
        EXPECT_FALSE(checkDestination(p.job, folder)) << testing_support::toUtf8(folder);
        EXPECT_EQ(p.job.errorCode, 0);
    }
    // The same folders by another name: the comparison is by identity, not by text.
    for (const std::wstring& target : {win, win + L"\\system32\\config"}) {
        testing_support::FolderLink link(dir / L"link", target);
        ASSERT_TRUE(link.made);
        EXPECT_FALSE(checkDestination(p.job, dir / L"link\\")) << testing_support::toUtf8(target);
        EXPECT_EQ(p.job.errorCode, 0);
    }
    // A folder inside the Windows folder is fine (the default lies there).
    EXPECT_TRUE(checkDestination(p.job, win + L"\\Tolmen\\2009-05-18\\"));
    // A missing folder is accepted: the job creates it.
    EXPECT_TRUE(checkDestination(p.job, dir / L"missing\\deeper\\"));
}

TEST(WindowsLevel, Classification) {
    const DWORD nt = VER_PLATFORM_WIN32_NT, w9x = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(w9x, 3, 95))), 0);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(nt, 3, 51))), 1);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(nt, 5, 3))), 1);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(w9x, 4, 0))), 2);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(w9x, 5, 0))), 2);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(w9x, 4, 10))), 3);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(w9x, 4, 90))), 4);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(nt, 4, 0))), 5);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(nt, 5, 0))), 6);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(nt, 5, 1))), 7);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(nt, 5, 2))), 8);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(nt, 6, 0))), 9);
    EXPECT_EQ(levelNumber(backupLevelOf(windowsLevelOf(nt, 10, 0))), 9);
    // Wine reports Windows 7 unless told otherwise.
    EXPECT_TRUE(GetWindowsLevel() == WindowsLevel::Vista);
}

// Drains the thread's queue and tells whether anything was waiting.
bool queueHadMessages() {
    MSG msg;
    bool any = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_JOB_NOTIFY && msg.lParam) takeNotifyText(msg.lParam);
        any = true;
    }
    return any;
}

TEST(ProgressProtocol, EarlyRejectionPostsOnlyFinished) {
    ScratchDir dir(L"proto-reject");
    ASSERT_TRUE(writeBytes(dir / L"afile", "x"));
    PreparedJob p;
    p.job.backupFolder = dir / L"afile\\";
    NotifyRecorder recorder;
    WindowJobListener listener(recorder.hwnd());
        runBackup(p.job, &listener);
    recorder.pump();
    ASSERT_EQ(recorder.notices().size(), 1u);
    EXPECT_EQ(recorder.notices()[0].kind, static_cast<WPARAM>(JOB_FINISHED));
    EXPECT_TRUE(p.job.failed);
    EXPECT_EQ(p.job.errorCode, err::kChangeFolder);
    EXPECT_FALSE(testing_support::dirExists(dir / L"afile\\"));
}

TEST(ProgressProtocol, NothingSavedEndsWith601FinishedThenFinalLine) {
    ScratchDir dir(L"proto-empty");
    PreparedJob p;
    p.job.backupFolder = dir / L"backup\\";
    p.job.hiveMask = 0;  // selects no hive
    NotifyRecorder recorder;
    WindowJobListener listener(recorder.hwnd());
        runBackup(p.job, &listener);
    recorder.pump();
    const auto& n = recorder.notices();
    ASSERT_GE(n.size(), 2u);
    EXPECT_EQ(n[n.size() - 2].kind, static_cast<WPARAM>(JOB_FINISHED));
    EXPECT_EQ(n.back().kind, static_cast<WPARAM>(JOB_LOGLINE));
    EXPECT_EQ(n.back().text, L"处理 包含错误");
    EXPECT_TRUE(p.job.failed);
    EXPECT_EQ(p.job.errorCode, err::kNoBackupCreated);
    EXPECT_FALSE(testing_support::fileExists(dir / L"backup\\SURVIN.INI"));
    // Both saving runs ended: the worker is idle again. The second run resets its start
    // event just after signalling the done event, so give it a moment.
    EXPECT_EQ(p.job.pending, 0);
    for (int i = 0; i < 50 && WaitForSingleObject(p.job.startEvent[1].get(), 0) == WAIT_OBJECT_0; ++i) Sleep(20);
    EXPECT_EQ(WaitForSingleObject(p.job.startEvent[0].get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(p.job.startEvent[1].get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(ProgressProtocol, BlockingRunWithoutWindowPostsNothing) {
    ScratchDir dir(L"proto-blocking");
    PreparedJob p;
    p.job.backupFolder = dir / L"backup\\";
    p.job.hiveMask = 0;
    queueHadMessages();
    runBackup(p.job, nullptr);
    EXPECT_FALSE(queueHadMessages());
    EXPECT_TRUE(p.job.failed);
}

TEST(ProgressProtocol, PostedStringsBelongToTheReceiver) {
    NotifyRecorder recorder;
    WindowJobListener listener(recorder.hwnd());
    BackupJob job;
    job.listener = &listener;
    reportLine(job, stepOfSavingHive(1), L"保存 (%d / %d) %s ...", 1, 4, L"SYSTEM");
    reportStatus(job, L"保存...\n配置单元 %d / %d", 1, 4);
    listener.finished();
    job.listener = nullptr;
    reportLine(job, kLineOfItsOwn, L"never %s", L"posted");
    recorder.pump();
    ASSERT_EQ(recorder.notices().size(), 3u);
    EXPECT_EQ(recorder.notices()[0].kind, static_cast<WPARAM>(JOB_LOGLINE));
    EXPECT_EQ(recorder.notices()[0].step, stepOfSavingHive(1));
    EXPECT_EQ(recorder.notices()[0].text, L"保存 (1 / 4) SYSTEM ...");
    EXPECT_EQ(recorder.notices()[1].kind, static_cast<WPARAM>(JOB_STATUS));
    EXPECT_EQ(recorder.notices()[1].text, L"保存...\n配置单元 1 / 4");
    EXPECT_EQ(recorder.notices()[2].kind, static_cast<WPARAM>(JOB_FINISHED));
}

struct PosterArgs {
    HWND hwnd;
    HANDLE event;
};

DWORD WINAPI postLinesThenSignal(void* p) {
    auto* a = static_cast<PosterArgs*>(p);
    for (int i = 0; i < 3; ++i) {
        PostMessageW(a->hwnd, WM_JOB_NOTIFY, JOB_LOGLINE, reinterpret_cast<LPARAM>(new std::wstring(L"line")));
        Sleep(20);
    }
    SetEvent(a->event);
    return 0;
}

TEST(WaitPumping, DispatchesWhileWaitingAndReturnsOnSignal) {
    NotifyRecorder recorder;
    KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PosterArgs args{recorder.hwnd(), event.get()};
    KernelHandle thread(CreateThread(nullptr, 0, postLinesThenSignal, &args, 0, nullptr));
    // Bounded: a wait that misses the signal fails here rather than hanging the suite.
    EXPECT_TRUE(waitPumping(event.get(), 60000));
    // The lines posted before the signal were handled inside the wait.
    EXPECT_GE(recorder.notices().size(), 1u);
    EXPECT_EQ(WaitForSingleObject(thread.get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));

    // Without a signal the wait ends at its time-out, still handling what arrives.
    ResetEvent(event.get());
    const size_t before = recorder.notices().size();
    PostMessageW(recorder.hwnd(), WM_JOB_NOTIFY, JOB_FINISHED, 0);
    EXPECT_FALSE(waitPumping(event.get(), 300));
    EXPECT_EQ(recorder.notices().size(), before + 1);
}

}  // namespace

namespace {

TEST(JobExitCode, SuccessJobCodeOrOneForErrorsWithoutACode) {
    PreparedJob p;
    EXPECT_EQ(jobExitCode(p.job), 0);
    p.job.firstSaveError = ERROR_ACCESS_DENIED;  // a hive left out: "处理 包含错误"
    EXPECT_EQ(jobExitCode(p.job), 1);
    p.job.failKeepingCode(err::kNoBackupCreated);
    EXPECT_EQ(jobExitCode(p.job), err::kNoBackupCreated);
    p.job.firstSaveError = 0;
    p.job.errorCode = 0;  // failed without a code still is no success
    EXPECT_EQ(jobExitCode(p.job), 1);
}

}  // namespace
