// Every saved hive is loaded once before the backup counts on it: a plain copy or a
// registry save that the registry cannot load fails like a failed save, and leaves no
// file. VerifyHives=0 in RegOpt.ini switches the check off.
#include <gtest/gtest.h>

#include "errors.h"
#include "hive_check.h"
#include "hive_fixture.h"
#include "settings.h"
#include "test_support.h"

using namespace hive_tests;
using testing_support::hiveCheckKeys;
using testing_support::fileExists;
using testing_support::makeDirs;
using testing_support::NotifyRecorder;
using testing_support::readBytes;
using testing_support::ScratchDir;
using testing_support::writeBytes;

namespace {

// The registry's answer to loading the garbage bytes, found without the code under test.
DWORD garbageLoadError() {
    ScratchDir dir(L"verify-garbage");
    if (!writeBytes(dir / L"garbage", kGarbage)) return 0;
    return checkHiveLoads((dir / L"garbage").c_str());
}

// A registry save that reports success but writes bytes no registry loads.
struct DamagingSave : FakeSystem {
    DamagingSave() {
        saveKeyExResult = [](const std::wstring& file) -> LONG {
            return writeBytes(file, kGarbage) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
        };
    }
};

std::wstring failedLine(const wchar_t* head, DWORD error) {
    return std::wstring(head) + L" 失败 : " + windowsErrorText(error);
}

}  // namespace

TEST(HiveCheckOnSave, GarbageIsTheRegistrysOwnNotAHiveError) {
    // The code the rest of these tests expect in the log: the registry's, not a file error.
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_REGISTRY_FILE), garbageLoadError());
}

namespace {

// A whole backup over a hivelist of three hives: one that loads, one whose live file is
// garbage (plain copy; read-only, as its copy then is too), one whose registry save writes
// garbage. RegOpt.ini holds the given [Settings] text.
struct JobOverBrokenHives {
    explicit JobOverBrokenHives(const std::string& settings) : dir(L"verify-job") {
        makeDirs(dir / L"live");
        writeBytes(dir / L"live\\GOOD", testing_support::hiveBytes("good"));
        writeBytes(dir / L"live\\BAD", kGarbage);
        SetFileAttributesW((dir / L"live\\BAD").c_str(), FILE_ATTRIBUTE_READONLY);
        writeBytes(dir / L"live\\NTUSER.DAT", "held open");
        hives.add(L"\\REGISTRY\\MACHINE\\TOLMEN-GOOD", ntPathOf(dir / L"live\\GOOD"));
        hives.add(L"\\REGISTRY\\MACHINE\\TOLMEN-BAD", ntPathOf(dir / L"live\\BAD"));
        hives.add(probe.hiveName(), ntPathOf(dir / L"live\\NTUSER.DAT"));
        system.hiveListKey = hives.keyPath();

        writeBytes(dir / L"RegOpt.ini", "[Settings]\r\n" + settings);
        initSettings(dir.path().c_str());
        prepared = prepareJob(job);
        job.backupFolder = dir / L"Backup\\";
        job.hiveMask = kHiveSystem | kHiveCurrentUser | kHiveOthers;
        LockedFile lock(dir / L"live\\NTUSER.DAT");
        runBackup(job, recorder.hwnd(), WaitMode::Pumping);
        recorder.pump();
    }
    ~JobOverBrokenHives() {
        releaseJob(job);
        SetFileAttributesW((dir / L"live\\BAD").c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesW((dir / L"Backup\\BAD").c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    std::string ini() const { return readBytes(dir / L"Backup\\SURVIN.INI"); }
    std::wstring lastLine() const {
        auto log = recorder.lines(JOB_LOGLINE);
        return log.empty() ? std::wstring() : log.back();
    }
    // The line that completes the hive's "保存 (n / 3) <name> ..." line, without its number.
    std::wstring endOf(const std::wstring& name) const {
        const std::wstring tail = L" " + name + L" ...";
        for (const std::wstring& line : recorder.lines(JOB_LOGLINE)) {
            const size_t at = line.find(tail);
            if (line.rfind(L"保存 (", 0) == 0 && at != std::wstring::npos && at + tail.size() < line.size())
                return line.substr(at + 1);
        }
        return L"";
    }

    ScratchDir dir;
    ProbeKey probe;
    PrivateHiveList hives;
    DamagingSave system;
    NotifyRecorder recorder;
    BackupJob job;
    bool prepared = false;
};

}  // namespace

TEST(HiveCheckOnSave, BackupWithHivesThatDoNotLoadEndsWithErrors) {
    JobOverBrokenHives run("DateFormat=yyyy\r\n");
    ASSERT_TRUE(run.prepared);
    const DWORD loadError = garbageLoadError();
    EXPECT_TRUE(run.job.verifyHives);

    EXPECT_FALSE(run.job.failed);
    EXPECT_EQ(0, run.job.errorCode);
    ASSERT_EQ(1u, run.job.savedList.size());
    EXPECT_STREQ(L"TOLMEN-GOOD", run.job.savedList[0].subkey);
    EXPECT_EQ(L"GOOD ... 已复制", run.endOf(L"GOOD"));
    EXPECT_EQ(failedLine(L"BAD ...", loadError), run.endOf(L"BAD"));
    EXPECT_EQ(failedLine(L"NTUSER.DAT ...", loadError), run.endOf(L"NTUSER.DAT"));
    EXPECT_EQ(L"处理 包含错误", run.lastLine());
    // What the progress page, the message box and the scheduler get.
    EXPECT_TRUE(jobHadErrors(run.job));
    EXPECT_EQ(windowsErrorText(loadError), jobErrorText(run.job));
    EXPECT_EQ(kExitWithErrors, jobExitCode(run.job));

    // The restore kit describes the hive that loads and nothing else.
    EXPECT_TRUE(fileExists(run.dir / L"Backup\\SURVIN.EXE"));
    EXPECT_NE(std::string::npos, run.ini().find("TOLMEN-GOOD"));
    EXPECT_EQ(std::string::npos, run.ini().find("TOLMEN-BAD"));
    EXPECT_EQ(std::string::npos, run.ini().find("NTUSER.DAT"));
    EXPECT_FALSE(fileExists(run.dir / L"Backup\\BAD"));
    EXPECT_FALSE(fileExists(run.dir / L"Backup\\Users\\1\\NTUSER.DAT"));
    EXPECT_TRUE(hiveCheckKeys().empty());
    EXPECT_TRUE(hiveCheckScratchFolders().empty());
}

TEST(HiveCheckOnSave, VerifyHivesZeroKeepsAndListsWhatWasWritten) {
    JobOverBrokenHives run("VerifyHives=0\r\n");
    ASSERT_TRUE(run.prepared);
    EXPECT_FALSE(run.job.verifyHives);

    EXPECT_FALSE(jobHadErrors(run.job));
    EXPECT_EQ(kExitSuccess, jobExitCode(run.job));
    EXPECT_EQ(3u, run.job.savedList.size());
    EXPECT_EQ(L"BAD ... 已复制", run.endOf(L"BAD"));
    EXPECT_EQ(L"NTUSER.DAT ... 成功", run.endOf(L"NTUSER.DAT"));
    EXPECT_EQ(L"处理 成功", run.lastLine());
    EXPECT_EQ(kGarbage, readBytes(run.dir / L"Backup\\BAD"));
    EXPECT_EQ(kGarbage, readBytes(run.dir / L"Backup\\Users\\1\\NTUSER.DAT"));
    EXPECT_NE(std::string::npos, run.ini().find("TOLMEN-BAD"));
    EXPECT_NE(std::string::npos, run.ini().find("Users\\1\\NTUSER.DAT"));
}
