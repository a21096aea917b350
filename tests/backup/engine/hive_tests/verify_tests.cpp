// Every saved hive is loaded once before the backup counts on it: a plain copy or a
// registry save that the registry cannot load fails like a failed save, and leaves no
// file. VerifyHives=0 in RegOpt.ini switches the check off.
#include <gtest/gtest.h>

#include "errors.h"
#include "hive_check.h"
#include "hive_fixture.h"
#include "hive_saving.h"
#include "settings.h"
#include "test_support.h"

using namespace hive_tests;
using testing_support::fileExists;
using testing_support::makeDirs;
using testing_support::NotifyRecorder;
using testing_support::readBytes;
using testing_support::ScratchDir;
using testing_support::writeBytes;

namespace {

HiveEntry entryOf(const std::wstring& hiveName, const std::wstring& file, DWORD category) {
    HiveEntry entry = {};
    copyField(entry.hiveName, hiveName.c_str());
    copyField(entry.filePath, file.c_str());
    entry.category = category;
    return entry;
}

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

TEST(HiveCheckOnSave, DamagedRegistrySaveIsLeftOutWithoutAFile) {
    DamagingSave system;
    ScratchDir dir(L"verify-regsave");
    ProbeKey probe;
    ASSERT_TRUE(makeDirs(dir / L"live"));
    ASSERT_TRUE(writeBytes(dir / L"live\\NTUSER.DAT", "live hive file"));
    LockedFile lock(dir / L"live\\NTUSER.DAT");  // held open: the registry save runs
    ASSERT_TRUE(lock.locked());
    const DWORD loadError = garbageLoadError();
    ASSERT_NE(0u, loadError);

    for (const bool verify : {true, false}) {
        SCOPED_TRACE(verify ? "checked" : "VerifyHives=0");
        NotifyRecorder recorder;
        TestJob t;
        t.job.notifyWindow = recorder.hwnd();
        t.job.verifyHives = verify;
        t.job.backupFolder = dir / (verify ? L"on\\" : L"off\\");
        saveHive(t.job, entryOf(probe.hiveName(), dir / L"live\\NTUSER.DAT", kHiveCurrentUser), 2, 3);
        recorder.pump();

        const std::wstring saved = t.job.backupFolder + L"Users\\1\\NTUSER.DAT";
        auto log = recorder.lines(JOB_LOGLINE);
        ASSERT_EQ(2u, log.size());
        // Like a failed save: no job code, only the hive is missing.
        EXPECT_FALSE(t.job.failed);
        EXPECT_EQ(0, t.job.errorCode);
        if (verify) {
            EXPECT_EQ(loadError, t.job.firstSaveError);
            EXPECT_TRUE(t.job.savedList.empty());
            EXPECT_FALSE(fileExists(saved));
            EXPECT_EQ(failedLine(L"保存 (2 / 3) NTUSER.DAT ...", loadError), log[1]);
        } else {
            EXPECT_EQ(0u, t.job.firstSaveError);
            ASSERT_EQ(1u, t.job.savedList.size());
            EXPECT_EQ(kGarbage, readBytes(saved));
            EXPECT_EQ(L"保存 (2 / 3) NTUSER.DAT ... 成功", log[1]);
        }
    }
    EXPECT_TRUE(hiveCheckKeys().empty());
    EXPECT_TRUE(hiveCheckScratchFolders().empty());
}

TEST(HiveCheckOnSave, GarbageLiveFileCopiedPlainlyIsLeftOutEvenWhenReadOnly) {
    FakeSystem system;
    ScratchDir dir(L"verify-copy");
    ASSERT_TRUE(makeDirs(dir / L"live"));
    const std::wstring live = dir / L"live\\SOFTWARE";
    ASSERT_TRUE(writeBytes(live, kGarbage));
    ASSERT_TRUE(writeBytes(dir / L"live\\GOOD", testing_support::hiveBytes("good")));
    const DWORD loadError = garbageLoadError();

    for (const DWORD attributes : {DWORD{FILE_ATTRIBUTE_NORMAL}, DWORD{FILE_ATTRIBUTE_READONLY}}) {
        SCOPED_TRACE(attributes == FILE_ATTRIBUTE_READONLY ? "read-only" : "normal");
        ASSERT_TRUE(SetFileAttributesW(live.c_str(), attributes));
        NotifyRecorder recorder;
        TestJob t;
        t.job.notifyWindow = recorder.hwnd();
        t.job.backupFolder = dir / (L"Backup" + std::to_wstring(attributes) + L"\\");
        saveHive(t.job, entryOf(L"\\REGISTRY\\MACHINE\\SOFTWARE", live, kHiveSystem), 1, 2);
        saveHive(t.job, entryOf(L"\\REGISTRY\\MACHINE\\GOOD", dir / L"live\\GOOD", kHiveSystem), 2, 2);
        recorder.pump();

        EXPECT_TRUE(system.calls.empty()) << "both were copied, not saved through the registry";
        EXPECT_FALSE(t.job.failed);
        EXPECT_EQ(loadError, t.job.firstSaveError);
        EXPECT_FALSE(fileExists(t.job.backupFolder + L"SOFTWARE"));
        ASSERT_EQ(1u, t.job.savedList.size()) << "the next hive is still saved";
        EXPECT_EQ(t.job.backupFolder + L"GOOD", std::wstring(t.job.savedList[0].savedPath));
        auto log = recorder.lines(JOB_LOGLINE);
        ASSERT_EQ(4u, log.size());
        EXPECT_EQ(failedLine(L"保存 (1 / 2) SOFTWARE ...", loadError), log[1]);
        EXPECT_EQ(L"保存 (2 / 2) GOOD ... 已复制", log[3]);
    }
    SetFileAttributesW(live.c_str(), FILE_ATTRIBUTE_NORMAL);

    TestJob t;
    t.job.verifyHives = false;
    t.job.backupFolder = dir / L"Unchecked\\";
    saveHive(t.job, entryOf(L"\\REGISTRY\\MACHINE\\SOFTWARE", live, kHiveSystem), 1, 1);
    ASSERT_EQ(1u, t.job.savedList.size());
    EXPECT_EQ(0u, t.job.firstSaveError);
    EXPECT_EQ(kGarbage, readBytes(dir / L"Unchecked\\SOFTWARE"));
    EXPECT_TRUE(hiveCheckKeys().empty());
    EXPECT_TRUE(hiveCheckScratchFolders().empty());
}

namespace {

// A whole backup over a hivelist of three hives: one that loads, one whose live file is
// garbage (plain copy), one whose registry save writes garbage. RegOpt.ini holds the
// given [Settings] text.
struct JobOverBrokenHives {
    explicit JobOverBrokenHives(const std::string& settings) : dir(L"verify-job") {
        makeDirs(dir / L"live");
        writeBytes(dir / L"live\\GOOD", testing_support::hiveBytes("good"));
        writeBytes(dir / L"live\\BAD", kGarbage);
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
    ~JobOverBrokenHives() { releaseJob(job); }

    std::string ini() const { return readBytes(dir / L"Backup\\SURVIN.INI"); }
    std::wstring lastLine() const {
        auto log = recorder.lines(JOB_LOGLINE);
        return log.empty() ? std::wstring() : log.back();
    }
    bool logHas(const std::wstring& line) const {
        for (const std::wstring& l : recorder.lines(JOB_LOGLINE))
            if (l.find(line) != std::wstring::npos) return true;
        return false;
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
    EXPECT_TRUE(run.logHas(L" BAD ... 失败 : " + windowsErrorText(loadError)));
    EXPECT_TRUE(run.logHas(L" NTUSER.DAT ... 失败 : " + windowsErrorText(loadError)));
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
    EXPECT_EQ(L"处理 成功", run.lastLine());
    EXPECT_EQ(kGarbage, readBytes(run.dir / L"Backup\\BAD"));
    EXPECT_EQ(kGarbage, readBytes(run.dir / L"Backup\\Users\\1\\NTUSER.DAT"));
    EXPECT_NE(std::string::npos, run.ini().find("TOLMEN-BAD"));
    EXPECT_NE(std::string::npos, run.ini().find("Users\\1\\NTUSER.DAT"));
}
