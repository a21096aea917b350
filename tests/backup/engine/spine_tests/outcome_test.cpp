// A run that wrote its backup but left it unusable for its own restore program ends with
// the "contains errors" outcome, not as a success.
#include <gtest/gtest.h>

#include "backup_system.h"
#include "errors.h"
#include "job.h"
#include "job_window.h"
#include "resource.h"
#include "platform.h"
#include "settings.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// A system whose file system makes no short (8.3) names.
class NoShortNames : public BackupSystem {
public:
    std::wstring shortPathOf(const std::wstring&) override { return {}; }
};

// Runs the system hives into a folder; the settings file lies in the scratch folder.
class Outcome : public ::testing::Test {
protected:
    // The privileges as the program's entry enables them: saving and the hive check
    // need them.
    Outcome() : dir_(L"outcome") {
        initSettings(dir_.path().c_str());
        EXPECT_TRUE(enablePrivilege(true, L"SeBackupPrivilege"));
        EXPECT_TRUE(enablePrivilege(true, L"SeRestorePrivilege"));
    }
    ~Outcome() override {
        enablePrivilege(false, L"SeBackupPrivilege");
        enablePrivilege(false, L"SeRestorePrivilege");
        initSettings();
    }

    // The run's last line; the job is left for the test to read.
    static std::wstring run(BackupJob& job, const std::wstring& folder) {
        EXPECT_TRUE(prepareJob(job, {IDR_SURVIN_EXE, IDR_SURVIN64_EXE}));
        job.backupFolder = folder;
        job.hiveMask = kHiveSystem;
        job.retention.mode = 0;
        NotifyRecorder recorder;
        // As the program's entry does: discovery looks for the real system folder's hives.
        PVOID cookie = nullptr;
        const bool redirected = disableFsRedirection(&cookie);
        WindowJobListener listener(recorder.hwnd());
        runBackup(job, &listener);
        if (redirected) revertFsRedirection(cookie);
        recorder.pump();
        releaseJob(job);
        const auto lines = recorder.lines(JOB_LOGLINE);
        return lines.empty() ? L"" : lines.back();
    }

    ScratchDir dir_;
};

bool roundTripsThroughAnsi(const std::wstring& text) {
    return fromAnsi(toAnsi(text)) == text;
}

}  // namespace

TEST_F(Outcome, ARestoreProgramThatCouldNotBePlacedIsNotASuccess) {
    const std::wstring folder = dir_ / L"backup\\";
    // A folder in its place: SURVIN.EXE cannot be written.
    ASSERT_TRUE(makeDirs(folder + L"SURVIN.EXE"));
    BackupJob job;
    EXPECT_EQ(run(job, folder), L"处理 包含错误");
    EXPECT_TRUE(job.failed);
    EXPECT_EQ(job.errorCode, err::kNoBackupCreated);
    EXPECT_TRUE(fileExists(folder + L"SURVIN.INI")) << "the hives and their description are kept";
}

TEST_F(Outcome, AFolderTheRestoreProgramCannotNameInAnsiNeedsItsShortForm) {
    // Not in the test locale's code page (936): the restore program cannot take the long form.
    const std::wstring folder = dir_ / L"J\u00f6rg\\";
    ASSERT_FALSE(roundTripsThroughAnsi(folder));

    // Wine, like Windows with short names on, gives it a short form in plain letters.
    BackupJob withShortNames;
    EXPECT_EQ(run(withShortNames, folder), L"处理 成功");
    EXPECT_FALSE(withShortNames.failed);

    // Without short names the restore program could never read the backup.
    NoShortNames noShortNames;
    BackupSystem* previous = setBackupSystem(&noShortNames);
    const std::wstring other = dir_ / L"J\u00f6rg 2\\";
    BackupJob job;
    const std::wstring line = run(job, other);
    setBackupSystem(previous);
    EXPECT_EQ(line, L"处理 包含错误");
    EXPECT_TRUE(job.failed);
    EXPECT_EQ(job.errorCode, err::kChangeFolder);
    EXPECT_TRUE(fileExists(other + L"SURVIN.EXE")) << "the backup itself is still made";
}
