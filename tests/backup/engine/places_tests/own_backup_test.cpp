// Pruning by count never takes the backup that the same run has just written, whatever
// times the other backups carry or whatever their lists name.
#include <gtest/gtest.h>

#include "backup_places.h"
#include "errors.h"
#include "job.h"
#include "job_window.h"
#include "resource.h"
#include "platform.h"
#include "places_fixture.h"

using namespace places_testing;

namespace {

// One whole backup run of the system hives into `folder`, keeping `count` backups.
struct OwnRun {
    OwnRun(const std::wstring& folder, int count) {
        EXPECT_TRUE(prepareJob(job, {IDR_SURVIN_EXE, IDR_SURVIN64_EXE}));
        job.backupFolder = folder;
        job.hiveMask = kHiveSystem;
        job.overwrite = false;
        job.retention.mode = 2;
        job.retention.count = count;
    }
    ~OwnRun() { releaseJob(job); }
    // The run's last line ("处理 成功" or "处理 包含错误").
    std::wstring run() {
        // As the program's entry does: discovery looks for the real system folder's hives.
        PVOID cookie = nullptr;
        const bool redirected = disableFsRedirection(&cookie);
        WindowJobListener listener(recorder.hwnd());
        runBackup(job, &listener);
        if (redirected) revertFsRedirection(cookie);
        recorder.pump();
        const auto lines = recorder.lines(JOB_LOGLINE);
        return lines.empty() ? L"" : lines.back();
    }
    NotifyRecorder recorder;
    BackupJob job;
};

}  // namespace

TEST(OwnBackup, LimitCountOneKeepsTheNewBackupAgainstBackupsDatedInTheFuture) {
    for (int planted : {1, 3}) {
        SCOPED_TRACE(planted);
        PlacesFixture f;
        std::vector<std::wstring> future;
        for (int i = 0; i < planted; ++i) {
            future.push_back(f / (L"Tolmen\\future" + std::to_wstring(i) + L"\\"));
            ASSERT_TRUE(makeBackup(future.back(), nowFileTime() + (i + 1) * kDay));
        }
        writeBackupDirs({f / L"Tolmen\\"});

        const std::wstring folder = f / L"Tolmen\\new\\";
        OwnRun own(folder, 1);
        EXPECT_EQ(own.run(), L"处理 成功");
        EXPECT_FALSE(own.job.failed) << own.job.errorCode;
        EXPECT_TRUE(isBackup(folder));
        EXPECT_TRUE(fileExists(folder + L"SYSTEM"));
        // One backup is kept, and it is the new one.
        for (const std::wstring& other : future) EXPECT_FALSE(isBackup(other)) << toUtf8(other);
    }
}

TEST(OwnBackup, FilesListsOfOtherBackupsNeverReachIntoTheNewOne) {
    // An older backup (or what passes for one: two planted files) lists files of the new
    // backup made inside it; its pruning takes its own files only.
    struct Case {
        const wchar_t* newFolder;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {L"new\\", {"new\\SURVIN.EXE", "new\\SYSTEM", "new\\SURVIN.INI"}},
        // The new backup in the older one's numbered user folder.
        {L"Users\\1\\", {"Users\\1\\SYSTEM", "Users\\1\\SURVIN.EXE"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.newFolder));
        PlacesFixture f;
        const std::wstring outer = f / L"Tolmen\\old\\";
        ASSERT_TRUE(makeBackup(outer, nowFileTime() - kDay, true, c.entries));
        writeBackupDirs({f / L"Tolmen\\"});

        const std::wstring folder = outer + c.newFolder;
        OwnRun own(folder, 1);
        EXPECT_EQ(own.run(), L"处理 成功");
        EXPECT_FALSE(own.job.failed) << own.job.errorCode;
        for (const wchar_t* name : {L"SYSTEM", L"SURVIN.EXE", L"SURVIN.INI"})
            EXPECT_TRUE(fileExists(folder + name)) << toUtf8(name);
        EXPECT_FALSE(fileExists(outer + L"SURVIN.INI")) << "the older backup is pruned";
    }
}
