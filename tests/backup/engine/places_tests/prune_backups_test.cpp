// Deleting one backup and pruning old ones by count or by age.
#include <gtest/gtest.h>

#include "backup_places.h"
#include "job.h"
#include "job_window.h"
#include "places_fixture.h"

using namespace places_testing;

namespace {

bool isBackupLeft(const std::wstring& folder) { return fileExists(folder + L"SURVIN.INI"); }

struct PruneRun {
    PruneRun(int mode, int days, int count) {
        job.retention.mode = mode;
        job.retention.days = days;
        job.retention.count = count;
        job.listener = &listener;
    }
    std::vector<std::wstring> run() {
        pruneBackups(job);
        recorder.pump();
        return recorder.lines(JOB_LOGLINE);
    }
    NotifyRecorder recorder;
    WindowJobListener listener{recorder.hwnd()};
    BackupJob job;
};

}  // namespace

TEST(DeleteBackup, RemovesListedFilesHelpUserFoldersAndEmptyParentsOnly) {
    PlacesFixture f;
    const std::wstring folder = f / L"Tolmen\\2009-05-18\\";
    ASSERT_TRUE(makeBackup(folder, nowFileTime()));
    ASSERT_TRUE(makeDirs(folder + L"Users\\2"));  // empty, not listed
    deleteBackup(folder);
    EXPECT_FALSE(dirExists(folder));
    EXPECT_FALSE(dirExists(f / L"Tolmen\\")) << "an emptied backup root goes too";
    EXPECT_TRUE(fileExists(f / L"keep.txt"));
    EXPECT_TRUE(dirExists(f.dir.path()));
}

TEST(DeleteBackup, AUsersOwnFileKeepsItselfAndTheFolder) {
    PlacesFixture f;
    const std::wstring folder = f / L"Tolmen\\day\\";
    ASSERT_TRUE(makeBackup(folder, nowFileTime()));
    ASSERT_TRUE(writeBytes(folder + L"Users\\1\\notes.txt", "mine"));
    ASSERT_TRUE(writeBytes(folder + L"own.txt", "mine"));
    deleteBackup(folder);
    EXPECT_EQ(readBytes(folder + L"own.txt"), "mine");
    EXPECT_EQ(readBytes(folder + L"Users\\1\\notes.txt"), "mine");
    for (const wchar_t* gone : {L"SURVIN.INI", L"SURVIN.EXE", L"SURVIN.WRC", L"SYSTEM", L"Users\\1\\NTUSER.DAT",
                                L"Tolmen.chm"})
        EXPECT_FALSE(fileExists(folder + gone)) << toUtf8(gone);
}

TEST(DeleteBackup, AFolderWithoutABackupKeepsItsHelpFile) {
    PlacesFixture f;
    const std::wstring folder = f / L"help-only\\";
    ASSERT_TRUE(makeDirs(folder));
    ASSERT_TRUE(writeBytes(folder + L"Tolmen.chm", "help"));
    deleteBackup(folder);
    EXPECT_EQ(readBytes(folder + L"Tolmen.chm"), "help");

    // The same folder once it holds a backup: the help goes with it.
    ASSERT_TRUE(makeBackup(folder, nowFileTime()));
    deleteBackup(folder);
    EXPECT_FALSE(dirExists(folder));
}

TEST(DeleteBackup, EntriesPointingOutsideTheFolderAreNeverDeleted) {
    PlacesFixture f;
    const std::wstring folder = f / L"bk\\";
    const std::wstring outside = f / L"victim";
    std::vector<std::wstring> victims;
    for (int i = 1; i <= 6; ++i) {
        victims.push_back(outside + std::to_wstring(i) + L".txt");
        ASSERT_TRUE(writeBytes(victims.back(), "live hive"));
    }
    ASSERT_TRUE(makeDirs(folder + L"sub"));
    const std::string absolute = toAnsi(victims[1]);
    const std::string relativeToDrive = toAnsi(victims[2].substr(2));  // \tolmen-tests\...
    ASSERT_TRUE(makeBackup(folder, nowFileTime(), true,
                           {"..\\victim1.txt", absolute, relativeToDrive, "\\\\?\\" + toAnsi(victims[3]),
                            "sub\\..\\..\\victim5.txt", "C:victim6.txt", "\\\\server\\share\\x", "./SYSTEM"}));
    ASSERT_TRUE(SetCurrentDirectoryW(f.dir.path().c_str()));  // where "C:victim6.txt" would land
    deleteBackup(folder);
    SetCurrentDirectoryW(L"C:\\");
    for (const std::wstring& victim : victims) EXPECT_EQ(readBytes(victim), "live hive") << toUtf8(victim);
    EXPECT_FALSE(fileExists(folder + L"SURVIN.INI"));
    EXPECT_FALSE(fileExists(folder + L"SURVIN.EXE"));
}

TEST(PruneBackups, TheEleventhBackupWithCountTenDeletesExactlyTheOldest) {
    PlacesFixture f;
    const ULONGLONG base = nowFileTime() - 20 * kDay;
    std::vector<std::wstring> folders;
    for (int i = 0; i < 11; ++i) {
        // Names do not follow the times: the order must come from SURVIN.INI.
        folders.push_back(f / (L"Tolmen\\b" + std::to_wstring(10 - i) + L"\\"));
        ASSERT_TRUE(makeBackup(folders.back(), base + i * kDay));
    }
    writeBackupDirs({f / L"Tolmen\\"});
    PruneRun prune(2, 30, 10);
    EXPECT_EQ(prune.run(), (std::vector<std::wstring>{L"搜索以前备份 ...", L"删除以前备份（如果有） ..."}));
    EXPECT_FALSE(dirExists(folders[0]));
    for (int i = 1; i < 11; ++i) EXPECT_TRUE(isBackupLeft(folders[i])) << i;

    PruneRun again(2, 30, 10);
    again.run();
    for (int i = 1; i < 11; ++i) EXPECT_TRUE(isBackupLeft(folders[i])) << i;

    PruneRun three(2, 30, 3);
    three.run();
    for (int i = 1; i < 11; ++i) EXPECT_EQ(isBackupLeft(folders[i]), i >= 8) << i;
}

TEST(PruneBackups, KeepAllAndUnknownModesDeleteNothing) {
    PlacesFixture f;
    const ULONGLONG old = nowFileTime() - 400 * kDay;
    ASSERT_TRUE(makeBackup(f / L"T\\a\\", old));
    ASSERT_TRUE(makeBackup(f / L"T\\b\\", old + kDay));
    writeBackupDirs({f / L"T\\"});

    PruneRun keepAll(0, 1, 1);
    EXPECT_TRUE(keepAll.run().empty());
    PruneRun unknown(3, 1, 1);
    EXPECT_EQ(unknown.run().size(), 2u);
    EXPECT_TRUE(isBackupLeft(f / L"T\\a\\"));
    EXPECT_TRUE(isBackupLeft(f / L"T\\b\\"));
}

TEST(PruneBackups, AgeRuleSparesTheNewestCountAndWholeDaysUpToTheLimit) {
    PlacesFixture f;
    const ULONGLONG now = nowFileTime();
    const std::wstring aged20 = f / L"T\\20\\", aged10 = f / L"T\\10\\", aged5 = f / L"T\\5\\",
                       old1 = f / L"T\\old1\\", old2 = f / L"T\\old2\\";
    ASSERT_TRUE(makeBackup(aged20, now - 20 * kDay));
    ASSERT_TRUE(makeBackup(aged10, now - 10 * kDay));
    ASSERT_TRUE(makeBackup(aged5, now - 5 * kDay - 23 * kHour));  // 5 whole days: not older than 5
    // The two newest are exempt, however old.
    ASSERT_TRUE(makeBackup(old2, now - 4 * kDay + kHour));
    ASSERT_TRUE(makeBackup(old1, now - 3 * kDay));
    writeBackupDirs({f / L"T\\"});

    PruneRun byAge(1, 2, 2);
    EXPECT_EQ(byAge.run().size(), 2u);
    EXPECT_FALSE(dirExists(aged20));
    EXPECT_FALSE(dirExists(aged10));
    EXPECT_FALSE(isBackupLeft(aged5));  // 5 > 2
    EXPECT_TRUE(isBackupLeft(old1));
    EXPECT_TRUE(isBackupLeft(old2));

    ASSERT_TRUE(makeBackup(aged5, now - 5 * kDay - 23 * kHour));
    PruneRun exact(1, 5, 2);
    exact.run();
    EXPECT_TRUE(isBackupLeft(aged5));
}

TEST(PruneBackups, ABackupDatedInTheFutureIsNeverDeletedForItsAge) {
    PlacesFixture f;
    const ULONGLONG now = nowFileTime();
    ASSERT_TRUE(makeBackup(f / L"T\\future1\\", now + 2 * kDay));
    ASSERT_TRUE(makeBackup(f / L"T\\future2\\", now + 3 * kDay));
    ASSERT_TRUE(makeBackup(f / L"T\\past\\", now - 3 * kDay));
    writeBackupDirs({f / L"T\\"});
    PruneRun byAge(1, 1, 1);
    byAge.run();
    EXPECT_TRUE(isBackupLeft(f / L"T\\future1\\"));
    EXPECT_TRUE(isBackupLeft(f / L"T\\future2\\"));
    EXPECT_FALSE(isBackupLeft(f / L"T\\past\\"));
}

TEST(PruneBackups, BackupsWithoutTheRestoreProgramAreNeverPruned) {
    PlacesFixture f;
    const ULONGLONG now = nowFileTime();
    ASSERT_TRUE(makeBackup(f / L"T\\noexe\\", now - 50 * kDay, false));
    ASSERT_TRUE(makeBackup(f / L"T\\a\\", now - 40 * kDay));
    ASSERT_TRUE(makeBackup(f / L"T\\b\\", now - 30 * kDay));
    writeBackupDirs({f / L"T\\"});
    PruneRun count(2, 30, 1);
    count.run();
    EXPECT_TRUE(fileExists(f / L"T\\noexe\\SURVIN.INI"));
    EXPECT_FALSE(isBackupLeft(f / L"T\\a\\"));
    EXPECT_TRUE(isBackupLeft(f / L"T\\b\\"));
}
