// Restore runs in both modes: files copied into an offline installation on drive R:,
// hive replacement with scripted results, the questions after failures and the log
// lines a progress page shows.
#include <gtest/gtest.h>

#include "dacl_support.h"
#include "errors.h"
#include "handles.h"
#include "loader.h"
#include "restore_fixture.h"

using namespace restore_tests;
using testing_support::adminOnlyDacl;
using testing_support::daclOf;

namespace {

// Two hives of an installation under R:\tolmen-tests\...\WINDOWS and their saved copies.
class RunTest : public ::testing::Test {
protected:
    void SetUp() override {
        windows = offline.root() + "\\WINDOWS";
        systemHive = windows + "\\system32\\config\\SYSTEM";
        userHive = offline.root() + "\\Users\\a\\NTUSER.DAT";
        writeInfoSection(folder.ini(), "C" + windows.substr(1));
        writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", "C" + systemHive.substr(1), 1);
        writeHiveSection(folder.ini(), 1, "USERS\\S-1-5-21-1", "Users\\1\\NTUSER.DAT", "C" + userHive.substr(1), 2);
        savedSystem = folder.saveLoadableHive("system", savedSystem);
        savedUser = folder.saveLoadableHive("Users\\1\\NTUSER.DAT", savedUser);
        OfflineTree::put(systemHive, "live SYSTEM");
        OfflineTree::put(userHive, "live NTUSER");
        session = folder.session(windows);
    }
    void run(int mode) {
        session.restoreMode = mode;
        RunRestore(session, actions);
    }
    std::vector<std::wstring> log() const { return actions.lines(Reported::Line); }
    // "恢复 (n / N) H ..." followed by the given ending.
    static std::wstring line(int n, const std::string& hive, const char* ending = "") {
        char head[1100];
        wsprintfA(head, "恢复 (%d / 2) %s ...", n, hive.c_str());
        return wide(std::string(head) + ending);
    }
    static std::wstring text(const std::string& ansiText) { return wide(ansiText); }

    OfflineTree offline;
    BackupFolder folder;
    std::string windows, systemHive, userHive;
    std::string savedSystem, savedUser;  // the saved files' bytes
    RestoreSession session;
    ScriptedActions actions;
};

}  // namespace

TEST_F(RunTest, CopyFilesKeepsTheLiveHivesAsBakFiles) {
    run(CopyFiles);
    EXPECT_EQ(savedSystem, fileBytes(systemHive));
    EXPECT_EQ(savedUser, fileBytes(userHive));
    EXPECT_EQ("live SYSTEM", fileBytes(systemHive + ".BAK"));
    EXPECT_EQ("live NTUSER", fileBytes(userHive + ".BAK"));
    // Both are for administrators only, whatever the folder passes on.
    EXPECT_EQ(adminOnlyDacl(false), daclOf(wide(systemHive)));
    EXPECT_EQ(adminOnlyDacl(false), daclOf(wide(systemHive + ".BAK")));
    EXPECT_FALSE(exists(systemHive + ".TMP"));
    EXPECT_FALSE(exists(offline.root() + "\\Users\\a\\NTUSER.TMP"));
    EXPECT_EQ(0, session.failed);
    EXPECT_TRUE(actions.questions.empty());
    EXPECT_EQ(0, actions.restarts);
    EXPECT_TRUE(actions.replacements.empty());

    const auto& notices = actions.notices;
    ASSERT_GE(notices.size(), 3u);
    EXPECT_EQ(Reported::Started, notices.front().kind);
    EXPECT_EQ(Reported::Finished, notices[notices.size() - 2].kind);
    EXPECT_EQ(Reported::Line, notices.back().kind);
    EXPECT_EQ(text("处理  "), notices.back().text);

    std::vector<std::wstring> expected = {
        text("备份配置单元 (1 / 2) " + systemHive + "..."), line(1, systemHive, " 成功"),
        text("备份配置单元 (2 / 2) " + userHive + "..."), line(2, userHive, " 成功"), text("处理  ")};
    EXPECT_EQ(expected, actions.log());
    EXPECT_EQ(line(2, userHive), actions.lines(Reported::Status).back());
}

// The restore program started from a backup on a file server works on the folder there.
// The registry loads hives only from local files: every check runs from a folder that the
// run made for itself in the temporary folder and removes again, and nothing is made on
// the share.
TEST_F(RunTest, ABackupOnAFileServerIsRestoredAndCheckedFromALocalFolderOfTheRun) {
    const std::string share = "\\\\fileserver\\regbackup\\restore-" + std::to_string(GetCurrentProcessId()) + "\\";
    testing_support::removeTree(wide(share));
    for (const char* name : {"SURVIN.INI", "system", "Users\\1\\NTUSER.DAT"})
        OfflineTree::put(share + name, fileBytes(folder.folder() + name));
    session.backupFolder = share;
    session.infoFilePath = share + "SURVIN.INI";
    wchar_t temp[MAX_PATH + 1] = L"";
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);

    run(CopyFiles);
    EXPECT_EQ(0, session.failed);
    EXPECT_EQ(savedSystem, fileBytes(systemHive));
    EXPECT_EQ(savedUser, fileBytes(userHive));
    ASSERT_EQ(2u, actions.scratchParents.size());
    for (const std::wstring& parent : actions.scratchParents) {
        SCOPED_TRACE(testing_support::toUtf8(parent));
        EXPECT_EQ(0, _wcsnicmp(parent.c_str(), temp, wcslen(temp)));
        EXPECT_GT(parent.size(), wcslen(temp) + 1) << "a folder of its own, not the temporary folder";
        EXPECT_FALSE(testing_support::dirExists(parent));
    }
    std::vector<std::wstring> onShare = testing_support::subfolders(wide(share));
    EXPECT_EQ(std::vector<std::wstring>{L"Users"}, onShare);
    testing_support::removeTree(wide(share));
}

TEST_F(RunTest, CopyFilesWithoutBackupWritesNoBakFile) {
    session.backupExisting = 0;
    run(CopyFiles);
    EXPECT_EQ(savedSystem, fileBytes(systemHive));
    EXPECT_EQ(savedUser, fileBytes(userHive));
    EXPECT_FALSE(exists(systemHive + ".BAK"));
    EXPECT_FALSE(exists(userHive + ".BAK"));
    std::vector<std::wstring> expected = {line(1, systemHive, " 成功"), line(2, userHive, " 成功"),
                                          text("处理  ")};
    EXPECT_EQ(expected, actions.log());
}

TEST_F(RunTest, FailedBackupCopyAnsweredYesRestoresButReportsTheFailure) {
    ASSERT_TRUE(DeleteFileA(systemHive.c_str()));  // nothing to keep as .BAK
    actions.answers = {IDYES};
    run(CopyFiles);
    ASSERT_EQ(1u, actions.questions.size());
    EXPECT_EQ("无法备份 " + systemHive + ".\n\n继续吗？", actions.questions[0].text);
    EXPECT_EQ(QuestionCaption::RestoreError, actions.questions[0].caption);
    EXPECT_FALSE(actions.questions[0].note);
    EXPECT_EQ(savedSystem, fileBytes(systemHive));
    EXPECT_EQ(savedUser, fileBytes(userHive));
    EXPECT_EQ(1, session.failed);
    EXPECT_EQ(err::kBackupExisting, session.failureCode);

    std::vector<std::wstring> merged = actions.log();
    ASSERT_EQ(6u, merged.size());
    std::wstring failure = text("备份配置单元 (1 of 2) " + systemHive + "... 失败 ");
    EXPECT_EQ(failure, merged[1].substr(0, failure.size()));  // a line of its own
    EXPECT_GT(merged[1].size(), failure.size());               // with the system's text
    EXPECT_EQ(line(1, systemHive, " 成功"), merged[2]);
    EXPECT_EQ(text("处理 包含错误"), merged.back());
}

TEST_F(RunTest, FailedBackupCopyAnsweredNoStopsWith613) {
    ASSERT_TRUE(DeleteFileA(systemHive.c_str()));
    actions.answers = {IDNO};
    run(CopyFiles);
    EXPECT_EQ(1, session.failed);
    EXPECT_EQ(err::kBackupExisting, session.failureCode);
    EXPECT_FALSE(exists(systemHive));
    EXPECT_EQ("live NTUSER", fileBytes(userHive));  // the run stopped before it
    EXPECT_EQ(text("处理 包含错误"), log().back());
}

TEST_F(RunTest, FailedCopyAnsweredYesGoesOnAndAnsweredNoStopsWith614) {
    // The live hive is held open, as a loaded hive is: it cannot be replaced, and must
    // survive whole.
    FileHandle held(
        CreateFileA(systemHive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    session.backupExisting = 0;
    actions.answers = {IDYES};
    run(CopyFiles);
    ASSERT_EQ(1u, actions.questions.size());
    EXPECT_EQ(folder.session(windows).backupFolder + "system", session.plan[0].savedFile);
    EXPECT_EQ("无法复制 " + folder.folder() + "system\n到\n" + systemHive + ".\n\n继续下一个文件吗？",
              actions.questions[0].text);
    EXPECT_EQ(QuestionCaption::RestoreError, actions.questions[0].caption);
    EXPECT_EQ("live SYSTEM", fileBytes(systemHive));
    EXPECT_FALSE(exists(systemHive + ".TMP"));
    EXPECT_EQ(savedUser, fileBytes(userHive));
    EXPECT_EQ(1, session.failed);
    EXPECT_EQ(err::kRestoreHive, session.failureCode);
    std::vector<std::wstring> merged = actions.log();
    ASSERT_EQ(3u, merged.size());
    std::wstring failure = line(1, systemHive, " 失败 ");
    EXPECT_EQ(failure, merged[0].substr(0, failure.size()));
    EXPECT_GT(merged[0].size(), failure.size());
    EXPECT_EQ(line(2, userHive, " 成功"), merged[1]);
    EXPECT_EQ(text("处理 包含错误"), merged[2]);

    // The same failure answered No leaves the next hive alone.
    OfflineTree::put(userHive, "live NTUSER");
    RestoreSession second = folder.session(windows);
    second.backupExisting = 0;
    second.restoreMode = CopyFiles;
    actions.answers = {IDNO};
    RunRestore(second, actions);
    EXPECT_EQ(2u, actions.questions.size());
    EXPECT_EQ(1, second.failed);
    EXPECT_EQ(err::kRestoreHive, second.failureCode);
    EXPECT_EQ("live NTUSER", fileBytes(userHive));
}

TEST_F(RunTest, ReplacementCopiesToTmpAndRestartsOnceAfterSuccess) {
    OfflineTree::put(systemHive + ".BAK", "stale backup");
    OfflineTree::put(offline.root() + "\\Users\\a\\NTUSER.TMP", "stale temp");
    run(WindowsApi);
    ASSERT_EQ(2u, actions.replacements.size());
    const auto& system = actions.replacements[0];
    EXPECT_EQ(HKEY_LOCAL_MACHINE, system.root);
    EXPECT_EQ("SYSTEM", system.subKey);
    EXPECT_EQ(systemHive + ".TMP", system.newFile);
    EXPECT_EQ(systemHive + ".BAK", system.oldFile);
    const auto& user = actions.replacements[1];
    EXPECT_EQ(HKEY_USERS, user.root);
    EXPECT_EQ("S-1-5-21-1", user.subKey);
    EXPECT_EQ(offline.root() + "\\Users\\a\\NTUSER.TMP", user.newFile);  // extension replaced
    EXPECT_EQ(userHive + ".BAK", user.oldFile);                         // appended

    EXPECT_EQ(savedSystem, fileBytes(systemHive + ".TMP"));
    EXPECT_EQ(adminOnlyDacl(false), daclOf(wide(systemHive + ".TMP")));
    EXPECT_EQ(savedUser, fileBytes(user.newFile));
    EXPECT_EQ("live SYSTEM", fileBytes(systemHive));  // swapped only at the next start
    EXPECT_FALSE(exists(systemHive + ".BAK"));         // the old one was cleared for it
    EXPECT_EQ(user.newFile, session.plan[1].savedFile);

    EXPECT_EQ(0, session.failed);
    EXPECT_EQ(1, actions.restarts);
    ASSERT_EQ(1u, actions.questions.size());
    EXPECT_EQ("Windows 必须重新启动才能完成恢复操作。单击“确定”，Windows 将自动重新启动。",
              actions.questions[0].text);
    EXPECT_EQ("注册表恢复完成。", actions.questions[0].noteCaption);
    EXPECT_TRUE(actions.questions[0].note);
    std::vector<std::wstring> expected = {line(1, systemHive, " 成功"), line(2, userHive, " 成功"),
                                          text("处理  ")};
    EXPECT_EQ(expected, actions.log());
}

TEST_F(RunTest, FailedReplacementAnsweredYesStillRestartsForTheOtherHive) {
    actions.replaceResults = {ERROR_ACCESS_DENIED, ERROR_SUCCESS};
    actions.answers = {IDYES};
    run(WindowsApi);
    ASSERT_EQ(2u, actions.questions.size());
    EXPECT_EQ("无法恢复 " + systemHive + ".TMP\n到\n" + systemHive + ".\n\n继续下一个文件吗？",
              actions.questions[0].text);
    EXPECT_EQ(QuestionCaption::Program, actions.questions[0].caption);  // the program's caption, not the copy's
    EXPECT_FALSE(actions.questions[0].note);
    EXPECT_TRUE(actions.questions[1].note);
    EXPECT_EQ(1, actions.restarts);
    EXPECT_EQ(1, session.failed);
    EXPECT_EQ(err::kRestoreHive, session.failureCode);
    std::vector<std::wstring> merged = actions.log();
    ASSERT_EQ(3u, merged.size());
    EXPECT_EQ(line(1, systemHive, " 失败 ") + wide(windowsErrorTextA(ERROR_ACCESS_DENIED)), merged[0]);
    EXPECT_EQ(line(2, userHive, " 成功"), merged[1]);
    EXPECT_EQ(text("处理 包含错误"), merged[2]);
}

TEST_F(RunTest, NoRestartWhenEveryReplacementFailed) {
    actions.replaceResults = {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND};
    actions.answers = {IDYES, IDYES};
    run(WindowsApi);
    EXPECT_EQ(2u, actions.replacements.size());
    EXPECT_EQ(2u, actions.questions.size());  // no restart note
    EXPECT_EQ(0, actions.restarts);
    EXPECT_EQ(1, session.failed);
}

TEST_F(RunTest, FailedReplacementAnsweredNoStopsWith614) {
    actions.replaceResults = {ERROR_ACCESS_DENIED};
    actions.answers = {IDNO};
    run(WindowsApi);
    EXPECT_EQ(1u, actions.replacements.size());
    EXPECT_EQ(0, actions.restarts);
    EXPECT_EQ(1, session.failed);
    EXPECT_EQ(err::kRestoreHive, session.failureCode);
}

TEST_F(RunTest, FailedCopyToTmpAsksAboutTheTemporaryFile) {
    // A hive folder that does not exist: the temporary copy beside it cannot be made.
    writeValue(folder.ini(), "DATA0", "Hive", ("C" + windows.substr(1) + "\\system32\\nowhere\\config\\SYSTEM").c_str());
    actions.answers = {IDYES};
    run(WindowsApi);
    ASSERT_EQ(2u, actions.questions.size());
    EXPECT_EQ("无法复制 " + folder.folder() + "system\n到\n" + windows +
                  "\\system32\\nowhere\\config\\SYSTEM.TMP.\n\n继续下一个文件吗？",
              actions.questions[0].text);
    EXPECT_EQ(QuestionCaption::Program, actions.questions[0].caption);
    EXPECT_FALSE(actions.questions[0].note);
    ASSERT_EQ(1u, actions.replacements.size());  // only the second hive reached it
    EXPECT_EQ(1, actions.restarts);
    EXPECT_EQ(err::kRestoreHive, session.failureCode);
}

TEST_F(RunTest, VoidPlanRestoresNothingAndReportsErrors) {
    writeValue(folder.ini(), "DATA1", "Type", "CURUSER\\S-1");
    run(CopyFiles);
    EXPECT_EQ(err::kHiveInfoInvalid, session.failureCode);
    EXPECT_EQ("live SYSTEM", fileBytes(systemHive));
    EXPECT_TRUE(actions.questions.empty());
    EXPECT_EQ(text("处理 包含错误"), log().back());
}

TEST_F(RunTest, InfoFileGoneSinceTheStartIsNoSuccess) {
    ASSERT_TRUE(DeleteFileA(folder.ini().c_str()));
    run(CopyFiles);
    EXPECT_TRUE(session.plan.empty());
    EXPECT_EQ(1, session.failed);
    EXPECT_EQ(err::kSavedHiveMissing, session.failureCode);
    EXPECT_EQ("live SYSTEM", fileBytes(systemHive));
    EXPECT_TRUE(actions.questions.empty());
    EXPECT_EQ(std::vector<std::wstring>{text("处理 包含错误")}, log());
}

TEST_F(RunTest, TemporaryCopyNeverTakesTheNameOfALiveFile) {
    // A name with two extensions loses only its last one; a path so long that the shell
    // cannot add ".TMP" in place. Neither may make the live hive, or a file beside it, the
    // temporary copy that is deleted and overwritten.
    const std::string config = windows + "\\system32\\config\\";
    const std::string twoDots = config + "NTUSER.MAN.DAT";
    const std::string neighbour = config + "NTUSER.MAN";
    std::string longHive = windows + "\\system32\\";
    longHive += std::string(256 - longHive.size() - 14, 'l') + "\\config\\SYSTEM";  // 256 characters
    ASSERT_EQ(256u, longHive.size());
    OfflineTree::put(twoDots, "live NTUSER");
    OfflineTree::put(neighbour, "someone else's file");
    OfflineTree::put(longHive, "live SYSTEM");
    writeValue(folder.ini(), "DATA0", "Hive", ("C" + longHive.substr(1)).c_str());
    writeValue(folder.ini(), "DATA1", "Hive", ("C" + twoDots.substr(1)).c_str());
    writeValue(folder.ini(), "DATA1", "Type", "MACHINE\\NTUSER.MAN.DAT");

    for (int mode : {WindowsApi, CopyFiles}) {
        SCOPED_TRACE(mode);
        actions.answers = {IDYES, IDYES, IDYES, IDYES};
        actions.replacements.clear();
        session = folder.session(windows);
        session.backupExisting = 0;
        run(mode);
        EXPECT_EQ("someone else's file", fileBytes(neighbour));
        if (mode == WindowsApi) {
            EXPECT_EQ("live SYSTEM", fileBytes(longHive));  // swapped only at the next start
            EXPECT_EQ("live NTUSER", fileBytes(twoDots));
            for (const auto& replacement : actions.replacements) {
                EXPECT_NE(longHive, replacement.newFile);
                EXPECT_NE(twoDots, replacement.newFile);
            }
            ASSERT_EQ(2u, actions.replacements.size());
            EXPECT_EQ(twoDots.substr(0, twoDots.size() - 4) + ".TMP", actions.replacements[1].newFile);
        } else {
            EXPECT_EQ(savedUser, fileBytes(twoDots));
            EXPECT_FALSE(exists(config + "NTUSER.MAN.TMP"));
        }
    }
}

// Whatever chose it (detection, the options, no choice with the backup's root), copying
// files over the Windows that runs the restore stops before anything is written.
TEST_F(RunTest, CopyIntoTheRunningWindowsIsRefusedBeforeAnythingIsWritten) {
    const std::string current = currentWindowsRootA();
    char shortRoot[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(current.c_str(), shortRoot, MAX_PATH), 0u);
    std::string upper = current;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    const struct {
        std::string target, sysRoot;
    } cases[] = {
        {current, current}, {upper + "\\", windows}, {shortRoot, "C:\\WINNT"}, {"", current},
        {current.substr(0, 1) + ":\\WINNT", current},  // only the drive letter follows the target
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target + " / " + c.sysRoot);
        session = folder.session(c.target);
        session.backupSysRoot = c.sysRoot;
        session.currentWindowsRoot = current;
        run(CopyFiles);
        EXPECT_EQ(1, session.failed);
        EXPECT_EQ(err::kRestoreHive, session.failureCode);
        EXPECT_TRUE(session.plan.empty());
        EXPECT_TRUE(actions.questions.empty());
        const std::vector<std::wstring> lines = log();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ((std::vector<std::wstring>{text("在“文件复制”模式，目标 Windows 根目录不能与当前 Windows 根目录相同"),
                                             text("处理 包含错误")}),
                  std::vector<std::wstring>(lines.end() - 2, lines.end()));
        EXPECT_EQ("live SYSTEM", fileBytes(systemHive));
        EXPECT_FALSE(exists(systemHive + ".BAK"));
    }
    // The same backup into the offline installation is copied.
    session = folder.session(windows);
    session.backupSysRoot = current;
    session.currentWindowsRoot = current;
    run(CopyFiles);
    EXPECT_EQ(0, session.failed);
    EXPECT_EQ(savedSystem, fileBytes(systemHive));
}

// A profile folder whose name the ANSI code page lacks is restored through the 8.3 path
// SURVIN.INI stores, never through a look-alike long name (another user's folder).
TEST_F(RunTest, ProfileOutsideTheCodePageIsRestoredThroughItsShortPath) {
    const std::wstring profile = wide(offline.root()) + L"\\Users\\J\x00f6rg\\NTUSER.DAT";
    const std::string lookAlike = offline.root() + "\\Users\\Jorg\\NTUSER.DAT";
    OfflineTree::put(lookAlike, "Jorg's hive");
    testing_support::makeDirs(profile.substr(0, profile.rfind(L'\\')));
    ASSERT_TRUE(testing_support::writeBytes(profile, "J\xc3\xb6rg's hive"));
    wchar_t shortPath[MAX_PATH] = L"";
    ASSERT_GT(GetShortPathNameW(profile.c_str(), shortPath, MAX_PATH), 0u);
    const std::string stored = ansi(shortPath);
    ASSERT_EQ(wide(stored), std::wstring(shortPath)) << "the short path is plain ANSI";
    writeValue(folder.ini(), "DATA1", "Hive", ("C" + stored.substr(1)).c_str());

    for (int mode : {CopyFiles, WindowsApi}) {
        SCOPED_TRACE(mode);
        session = folder.session(windows);
        actions.replacements.clear();
        run(mode);
        EXPECT_EQ(0, session.failed);
        EXPECT_EQ(stored, session.plan[1].hivePath);
        EXPECT_EQ("Jorg's hive", fileBytes(lookAlike));
        if (mode == CopyFiles) {
            EXPECT_EQ(savedUser, testing_support::readBytes(profile));
            EXPECT_EQ("J\xc3\xb6rg's hive", testing_support::readBytes(profile + L".BAK"));
        } else {
            ASSERT_EQ(2u, actions.replacements.size());
            EXPECT_EQ(savedUser, testing_support::readBytes(profile.substr(0, profile.size() - 4) + L".TMP"));
        }
    }
}
