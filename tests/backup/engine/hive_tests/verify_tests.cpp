// Every saved hive is loaded once before the backup counts on it: a plain copy or a
// registry save that the registry cannot load fails like a failed save, and leaves no
// file. VerifyHives=0 in RegOpt.ini switches the check off.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "admin_only.h"
#include "errors.h"
#include "folder_link.h"
#include "hive_check.h"
#include "hive_fixture.h"
#include "job_window.h"
#include "resource.h"
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

// The registry's answer to loading the garbage bytes.
DWORD garbageLoadError() {
    ScratchDir dir(L"verify-garbage");
    if (!writeBytes(dir / L"garbage", kGarbage)) return 0;
    return checkHive((dir / L"garbage").c_str(), dir.path()).error;
}

// A process id no process has: Windows ids are multiples of four.
constexpr DWORD kDeadPid = 99999;

// A registry save that reports success but writes bytes no registry loads.
struct DamagingSave : FakeSystem {
    DamagingSave() {
        saveKeyExResult = [](HANDLE file) -> LONG {
            DWORD written = 0;
            return WriteFile(file, kGarbage.data(), static_cast<DWORD>(kGarbage.size()), &written, nullptr)
                       ? ERROR_SUCCESS
                       : ERROR_WRITE_FAULT;
        };
    }
};

std::wstring failedLine(const wchar_t* head, DWORD error) {
    return std::wstring(head) + L" 失败 : " + windowsErrorText(error);
}

}  // namespace

TEST(HiveCheck, VerdictsWhicheverNamesOthersTookAndNothingLeftBehind) {
    ScratchDir dir(L"verify-verdicts");
    ASSERT_TRUE(writeBytes(dir / L"good", testing_support::hiveBytes("good")));
    ASSERT_TRUE(writeBytes(dir / L"garbage", kGarbage));
    ASSERT_TRUE(makeDirs(dir / L"parent"));
    // Whoever can write the parent takes the names a counter would give next: the check
    // must still find one of its own.
    std::vector<std::wstring> taken;
    for (int n = 0; n <= 300; ++n) {
        wchar_t name[64];
        wsprintfW(name, L"%s%lu.%d", kHiveCheckKeyPrefix, GetCurrentProcessId(), n);
        taken.push_back(name);
        ASSERT_TRUE(makeDirs(dir / (L"parent\\" + taken.back())));
    }
    ASSERT_TRUE(writeBytes(dir / L"a-file", "not a folder"));
    std::sort(taken.begin(), taken.end());

    struct Case {
        const wchar_t* file;
        const wchar_t* parent;
        HiveVerdict verdict;
        DWORD error;  // 0: any other than ERROR_SUCCESS
    };
    const Case cases[] = {
        {L"good", L"parent\\", HiveVerdict::Loads, ERROR_SUCCESS},
        {L"garbage", L"parent\\", HiveVerdict::NotAHive, ERROR_NOT_REGISTRY_FILE},
        // No private copy can be made: no verdict on the file.
        {L"good", L"a-file\\", HiveVerdict::Unverifiable, 0},
        {L"good", L"missing\\", HiveVerdict::Unverifiable, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing_support::toUtf8(std::wstring(c.file) + L" in " + c.parent));
        const HiveCheckResult result = checkHive((dir / c.file).c_str(), dir / c.parent);
        EXPECT_EQ(c.verdict, result.verdict) << result.error;
        if (c.error || c.verdict == HiveVerdict::Loads)
            EXPECT_EQ(c.error, result.error);
        else
            EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), result.error);
        EXPECT_EQ(taken, namesIn(dir / L"parent\\")) << "only what others made stays in the parent";
        EXPECT_TRUE(hiveCheckKeys().empty());
    }
    EXPECT_FALSE(testing_support::privilegeEnabled(L"SeRestorePrivilege")) << "switched back off";
}

TEST(HiveCheck, LeftoverScratchRemovalTouchesOnlyWhatAnInterruptedCheckLeft) {
    ScratchDir dir(L"verify-leftover");
    const std::wstring parent = dir / L"backup\\";
    ASSERT_TRUE(makeDirs(parent));
    wchar_t dead[64], alive[64];
    wsprintfW(dead, L"%s%lu.", kHiveCheckKeyPrefix, kDeadPid);
    wsprintfW(alive, L"%s%lu.", kHiveCheckKeyPrefix, GetCurrentProcessId());
    // A scratch folder as a check makes it, with the given files.
    const auto scratch = [&](const std::wstring& name, std::initializer_list<const wchar_t*> files) {
        EXPECT_TRUE(CreateDirectoryW((parent + name).c_str(), adminOnlyFolderAttributes()));
        for (const wchar_t* file : files) EXPECT_TRUE(writeBytes(parent + name + L"\\" + file, "x"));
    };
    const std::wstring done = std::wstring(dead) + L"0A", mixed = std::wstring(dead) + L"0B",
                       running = std::wstring(alive) + L"0C", planted = std::wstring(dead) + L"0D",
                       linked = std::wstring(dead) + L"0E";
    scratch(done, {L"hive", L"hive.LOG1", L"hive{0f1e2d3c-1111-2222-3333-444455556666}.TM.blf"});
    scratch(mixed, {L"hive", L"notes.txt"});
    scratch(running, {L"hive"});
    // Made by anybody, without the administrators-only DACL.
    ASSERT_TRUE(makeDirs(parent + planted));
    ASSERT_TRUE(writeBytes(parent + planted + L"\\hive", "x"));
    // A link to an unrelated folder, in the backup folder and in the temporary folder, where
    // the program's start once cleaned up.
    const std::wstring unrelated = dir / L"unrelated\\";
    ASSERT_TRUE(makeDirs(unrelated));
    for (const wchar_t* name : {L"hive", L"a", L"b"}) ASSERT_TRUE(writeBytes(unrelated + name, "keep"));
    testing_support::FolderLink link(parent + linked, dir / L"unrelated");
    ASSERT_TRUE(link.made);
    wchar_t temp[MAX_PATH + 1] = L"";
    ASSERT_NE(0u, GetTempPathW(MAX_PATH + 1, temp));
    testing_support::FolderLink tempLink(std::wstring(temp) + dead + L"0F", dir / L"unrelated");
    ASSERT_TRUE(tempLink.made);

    removeLeftoverScratch(parent);
    unloadLeftoverHiveChecks();

    EXPECT_FALSE(testing_support::dirExists(parent + done));
    EXPECT_EQ(std::vector<std::wstring>{L"notes.txt"}, namesIn(parent + mixed + L"\\"));
    EXPECT_EQ(std::vector<std::wstring>{L"hive"}, namesIn(parent + running + L"\\"));
    EXPECT_EQ(std::vector<std::wstring>{L"hive"}, namesIn(parent + planted + L"\\"));
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"hive"}), namesIn(unrelated));
    EXPECT_FALSE(testing_support::privilegeEnabled(L"SeBackupPrivilege"));
}

TEST(HiveCheckOnSave, GarbageIsNotAHiveByTheRegistrysOwnCode) {
    // The verdict that deletes a saved file and the code the rest of these tests expect in
    // the log: the registry's refusal of the bytes, never a file error or "cannot tell".
    ScratchDir dir(L"verify-garbage-verdict");
    ASSERT_TRUE(writeBytes(dir / L"garbage", kGarbage));
    const HiveCheckResult check = checkHive((dir / L"garbage").c_str(), dir.path());
    EXPECT_EQ(HiveVerdict::NotAHive, check.verdict);
    EXPECT_TRUE(isNotAHiveError(check.error)) << check.error;
    EXPECT_EQ(check.error, garbageLoadError());
}

namespace {

// A whole backup over a hivelist of three hives: one that loads, one whose live file is
// garbage (plain copy; read-only, as its copy then is too), one whose registry save writes
// garbage. RegOpt.ini holds the given [Settings] text.
struct JobOverBrokenHives {
    using Check = std::function<HiveCheckResult(const std::wstring& file, const std::wstring& parent)>;
    explicit JobOverBrokenHives(const std::string& settings, Check check = {}) : dir(L"verify-job") {
        system.checkResult = check;
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
        prepared = prepareJob(job, {IDR_SURVIN_EXE, IDR_SURVIN64_EXE});
        job.backupFolder = dir / L"Backup\\";
        job.hiveMask = kHiveSystem | kHiveCurrentUser | kHiveOthers;
        LockedFile lock(dir / L"live\\NTUSER.DAT");
        WindowJobListener listener(recorder.hwnd());
        runBackup(job, &listener);
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
    EXPECT_TRUE(hiveCheckScratchFolders(run.dir / L"Backup\\").empty());
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

TEST(HiveCheckOnSave, CheckThatCannotBeMadeKeepsTheSavedHivesAndEndsWithErrors) {
    // The check's private copy finds no place (as on a full disk): no verdict on any file.
    JobOverBrokenHives run("", [](const std::wstring& file, const std::wstring& parent) {
        return checkHive(file.c_str(), parent + L"no such folder\\");
    });
    ASSERT_TRUE(run.prepared);
    const DWORD error = checkHive(L"C:\\windows\\win.ini", run.dir / L"Backup\\no such folder\\").error;
    ASSERT_NE(static_cast<DWORD>(ERROR_SUCCESS), error);

    EXPECT_FALSE(run.job.failed);
    EXPECT_EQ(3u, run.job.savedList.size());
    for (const wchar_t* name : {L"GOOD", L"BAD", L"NTUSER.DAT"})
        EXPECT_EQ(std::wstring(name) + L" ... 无法验证 : " + windowsErrorText(error), run.endOf(name));
    EXPECT_TRUE(fileExists(run.dir / L"Backup\\GOOD"));
    EXPECT_EQ(kGarbage, readBytes(run.dir / L"Backup\\BAD"));
    EXPECT_EQ(kGarbage, readBytes(run.dir / L"Backup\\Users\\1\\NTUSER.DAT"));
    EXPECT_NE(std::string::npos, run.ini().find("TOLMEN-BAD"));
    EXPECT_EQ(L"处理 包含错误", run.lastLine());
    EXPECT_EQ(kExitWithErrors, jobExitCode(run.job));
    EXPECT_EQ(windowsErrorText(error), jobErrorText(run.job));
}
