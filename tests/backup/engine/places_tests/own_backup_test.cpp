// Pruning by count never takes the backup that the same run has just written, whatever
// times the other backups carry; and a run reports success only when its backup is there.
#include <gtest/gtest.h>

#include "backup_places.h"
#include "errors.h"
#include "job.h"
#include "platform.h"
#include "places_fixture.h"

using namespace places_testing;

namespace {

// One whole backup run of the system hives into `folder`, keeping `count` backups.
struct OwnRun {
    OwnRun(const std::wstring& folder, int count) {
        EXPECT_TRUE(prepareJob(job));
        job.backupFolder = folder;
        job.hiveMask = kHiveSystem;
        job.overwrite = false;
        job.retentionMode = 2;
        job.retentionCount = count;
    }
    ~OwnRun() { releaseJob(job); }
    // The run's last line ("处理 成功" or "处理 包含错误").
    std::wstring run() {
        // As the program's entry does: discovery looks for the real system folder's hives.
        PVOID cookie = nullptr;
        const bool redirected = disableFsRedirection(&cookie);
        runBackup(job, recorder.hwnd(), WaitMode::Pumping);
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

TEST(OwnBackup, ARunWhoseBackupThePruningTookApartIsNotASuccess) {
    PlacesFixture f;
    const std::wstring outer = f / L"Tolmen\\old\\";
    // An older backup whose list names the new backup's restore program.
    ASSERT_TRUE(makeBackup(outer, nowFileTime() - kDay, true, {"new\\SURVIN.EXE"}));
    writeBackupDirs({f / L"Tolmen\\"});

    OwnRun own(outer + L"new\\", 1);
    EXPECT_EQ(own.run(), L"处理 包含错误");
    EXPECT_TRUE(own.job.failed);
    EXPECT_EQ(own.job.errorCode, err::kNoBackupCreated);
    EXPECT_FALSE(fileExists(outer + L"new\\SURVIN.EXE"));
    EXPECT_TRUE(fileExists(outer + L"new\\SURVIN.INI"));
}
