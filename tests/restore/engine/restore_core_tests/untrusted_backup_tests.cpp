// What a backup folder cannot make the restore do: write outside the target installation's
// hives, read outside the backup folder, or install a file that does not load as a hive.
// Also the hive check itself.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include "errors.h"
#include "hive_check.h"
#include "restore_fixture.h"

using namespace restore_tests;
using testing_support::hiveCheckKeys;
using testing_support::NotifyRecorder;

namespace {

std::wstring tempFolder() {
    wchar_t path[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH + 1, path);
    return path;
}

// Scratch folders of checks by this process.
std::vector<std::wstring> ownScratchFolders() {
    std::vector<std::wstring> found;
    wchar_t pattern[64];
    wsprintfW(pattern, L"%s%lu.*", kHiveCheckKeyPrefix, GetCurrentProcessId());
    for (const std::wstring& name : testing_support::subfolders(tempFolder())) {
        if (PathMatchSpecW(name.c_str(), pattern)) found.push_back(name);
    }
    return found;
}

}  // namespace

TEST(HiveCheck, OnlyAHiveLoadsAndNothingIsLeftBehind) {
    BackupFolder folder;
    const std::string hive = folder.folder() + "hive";
    const std::string bytes = folder.saveLoadableHive("hive", "check me");
    EXPECT_EQ(0u, checkHiveLoads(wide(hive).c_str()));
    EXPECT_EQ(bytes, fileBytes(hive));

    // A read-only file (a backup on a CD) is checked through its private copy.
    ASSERT_TRUE(SetFileAttributesA(hive.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0u, checkHiveLoads(wide(hive).c_str()));
    SetFileAttributesA(hive.c_str(), FILE_ATTRIBUTE_NORMAL);

    for (const char* garbage : {"", "regf", "MZ\x90\x00 not a hive at all", "WINE REGISTRY"}) {
        folder.saveHive("garbage", garbage);
        DWORD error = checkHiveLoads(wide(folder.folder() + "garbage").c_str());
        EXPECT_NE(0u, error) << garbage;
        EXPECT_EQ(garbage, fileBytes(folder.folder() + "garbage"));
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), checkHiveLoads(wide(folder.folder() + "missing").c_str()));

    EXPECT_TRUE(hiveCheckKeys().empty());
    EXPECT_TRUE(ownScratchFolders().empty());
    // Nothing beside the checked file: no copies, no logs.
    std::vector<std::string> beside;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder.folder() + "*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) beside.push_back(found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    EXPECT_EQ((std::vector<std::string>{"garbage", "hive"}), beside);
}

TEST(HiveCheck, LeftoversOfAnEndedRunAreUnloadedOthersKept) {
    BackupFolder folder;
    const std::string hive = folder.folder() + "hive";
    folder.saveLoadableHive("hive", "left over");
    // A process id that no process has, and this process's own.
    wchar_t ended[64], running[64];
    wsprintfW(ended, L"%s%lu.7", kHiveCheckKeyPrefix, 0xFFFFFFF0ul);
    wsprintfW(running, L"%s%lu.999", kHiveCheckKeyPrefix, GetCurrentProcessId());
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyW(HKEY_USERS, ended, wide(hive).c_str()));
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyW(HKEY_USERS, running, wide(hive).c_str()));
    const std::wstring scratch = tempFolder() + ended + L"\\";
    ASSERT_TRUE(testing_support::makeDirs(scratch));
    ASSERT_TRUE(testing_support::writeBytes(scratch + L"hive", "x"));

    EXPECT_EQ(1, unloadLeftoverHiveChecks());
    EXPECT_EQ(std::vector<std::wstring>{running}, hiveCheckKeys());
    // The temporary folder is no longer cleaned up: what lies there may be anyone's.
    EXPECT_TRUE(testing_support::dirExists(scratch));
    testing_support::removeTree(scratch);
    EXPECT_EQ(ERROR_SUCCESS, RegUnLoadKeyW(HKEY_USERS, running));
    EXPECT_TRUE(hiveCheckKeys().empty());
}

namespace {

const UINT kQuestion = MB_YESNO | MB_ICONINFORMATION;

// An installation under R:\tolmen-tests\...\WINDOWS with a system hive and a user hive,
// and a backup of both.
class Hardening : public ::testing::Test {
protected:
    void SetUp() override {
        windows = offline.root() + "\\WINDOWS";
        systemHive = windows + "\\system32\\config\\SYSTEM";
        userHive = offline.root() + "\\Users\\a\\NTUSER.DAT";
        writeInfoSection(folder.ini(), "C" + windows.substr(1));
        writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", "C" + systemHive.substr(1), 1);
        writeHiveSection(folder.ini(), 1, "USERS\\S-1-5-21-1", "Users\\1\\NTUSER.DAT", "C" + userHive.substr(1), 2);
        savedSystem = folder.saveLoadableHive("system", "saved SYSTEM");
        savedUser = folder.saveLoadableHive("Users\\1\\NTUSER.DAT", "saved NTUSER");
        OfflineTree::put(systemHive, "live SYSTEM");
        OfflineTree::put(userHive, "live NTUSER");
        OfflineTree::put(thesis, "my thesis");
    }
    void TearDown() override {
        DeleteFileA(thesis.c_str());
        EXPECT_TRUE(hiveCheckKeys().empty()) << "a temporary key stayed under HKEY_USERS";
    }
    void run(int mode) {
        session = folder.session(windows);
        session.restoreMode = mode;
        RunRestore(session, recorder.hwnd());
        recorder.pump();
    }
    // Nothing of either installation hive, nor the thesis, was touched.
    void expectNothingWritten() {
        EXPECT_EQ("live SYSTEM", fileBytes(systemHive));
        EXPECT_EQ("live NTUSER", fileBytes(userHive));
        EXPECT_EQ("my thesis", fileBytes(thesis));
        for (const std::string& file : {systemHive + ".BAK", systemHive + ".TMP", userHive + ".BAK",
                                        offline.root() + "\\Users\\a\\NTUSER.TMP", thesis + ".BAK"}) {
            EXPECT_FALSE(exists(file)) << file;
        }
    }

    OfflineTree offline;
    BackupFolder folder;
    std::string windows, systemHive, userHive, savedSystem, savedUser;
    const std::string thesis = "C:\\tolmen-tests\\THESIS.DOC";
    RestoreSession session;
    NotifyRecorder recorder{true};
    ScriptedActions actions;
};

}  // namespace

TEST_F(Hardening, HiveOutsideTheTargetInstallationVoidsThePlanWith612) {
    const std::string root = "C" + offline.root().substr(1);
    for (const std::string& hive : {
             thesis,
             root + "\\WINDOWS\\system32\\config\\..\\..\\..\\THESIS.DOC",
             root + "\\WINDOWS\\system32\\config/../../../THESIS.DOC",
             root + "\\WINDOWS\\system32\\SYSTEM",
             root + "\\WINDOWS\\system32\\config\\SYSTEM:stream",
             root + "\\WINDOWS\\system32\\config\\CON",
             root + "\\WINDOWS\\system32\\config.\\SYSTEM",
             root + "\\Users\\a\\THESIS.DOC",
             root + "\\Program Files\\a\\NTUSER.DAT",
             std::string("\\\\server\\share\\WINDOWS\\system32\\config\\SYSTEM"),
         }) {
        for (int mode : {CopyFiles, WindowsApi}) {
            SCOPED_TRACE(hive + (mode == CopyFiles ? " copy" : " replace"));
            writeValue(folder.ini(), "DATA1", "Hive", hive.c_str());
            run(mode);
            EXPECT_EQ(1, session.failed);
            EXPECT_EQ(err::kHiveInfoInvalid, session.failureCode);
            EXPECT_TRUE(actions.questions.empty());
            EXPECT_TRUE(actions.replacements.empty());
            expectNothingWritten();
            EXPECT_EQ(wide("处理 包含错误"), recorder.lines(JOB_LOGLINE).back());
        }
    }
}

TEST_F(Hardening, SavedOutsideTheBackupFolderVoidsThePlanWith612) {
    // Each names a file that exists, so only the rule can refuse it.
    const std::string fromFolder = "..\\..\\..\\tolmen-tests\\THESIS.DOC";
    ASSERT_TRUE(exists(folder.folder() + fromFolder));
    for (const std::string& saved : {thesis, std::string("\\tolmen-tests\\THESIS.DOC"), fromFolder,
                                     "Users\\..\\" + fromFolder, std::string("\\\\?\\") + thesis,
                                     std::string("C:tolmen-tests\\THESIS.DOC")}) {
        for (int mode : {CopyFiles, WindowsApi}) {
            SCOPED_TRACE(saved + (mode == CopyFiles ? " copy" : " replace"));
            writeValue(folder.ini(), "DATA1", "Saved", saved.c_str());
            run(mode);
            EXPECT_EQ(err::kHiveInfoInvalid, session.failureCode);
            EXPECT_TRUE(actions.questions.empty());
            EXPECT_TRUE(actions.replacements.empty());
            expectNothingWritten();
        }
    }
}

TEST_F(Hardening, SavedFileThatDoesNotLoadIsNeverCopiedOverAnInstallation) {
    folder.saveHive("system", "not a hive at all");
    const std::wstring registryText = wide(windowsErrorTextA(checkHiveLoads(wide(folder.folder() + "system").c_str())));
    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer == IDYES ? "yes" : "no");
        OfflineTree::put(userHive, "live NTUSER");
        actions.questions.clear();
        actions.answers = {answer};
        const std::vector<std::wstring> before = recorder.lines(JOB_LOGLINE);
        run(CopyFiles);
        EXPECT_EQ("live SYSTEM", fileBytes(systemHive)) << "byte for byte";
        EXPECT_FALSE(exists(systemHive + ".BAK")) << "not even the .BAK copy";
        EXPECT_FALSE(exists(systemHive + ".TMP"));
        ASSERT_EQ(1u, actions.questions.size());
        EXPECT_EQ("无法复制 " + folder.folder() + "system\n到\n" + systemHive + ".\n\n继续下一个文件吗？",
                  actions.questions[0].text);
        EXPECT_EQ("恢复错误", actions.questions[0].caption);
        EXPECT_EQ(kQuestion, actions.questions[0].flags);
        EXPECT_EQ(1, session.failed);
        EXPECT_EQ(err::kRestoreHive, session.failureCode);
        std::vector<std::wstring> lines = recorder.lines(JOB_LOGLINE);
        std::vector<std::wstring> merged = mergedLog({lines.begin() + long(before.size()), lines.end()});
        ASSERT_FALSE(merged.empty());
        EXPECT_EQ(wide("恢复 (1 / 2) " + systemHive + " ... 失败 ") + registryText, merged[0]);
        // The answer decides about the next hive, which loads.
        EXPECT_EQ(answer == IDYES ? savedUser : "live NTUSER", fileBytes(userHive));
    }
}

TEST_F(Hardening, SavedFileThatDoesNotLoadIsNeverHandedToTheReplacement) {
    folder.saveHive("Users\\1\\NTUSER.DAT", "");
    OfflineTree::put(userHive + ".BAK", "previous backup");
    actions.answers = {IDYES};
    run(WindowsApi);
    // Only the system hive reached the (scripted) replacement.
    ASSERT_EQ(1u, actions.replacements.size());
    EXPECT_EQ("SYSTEM", actions.replacements[0].subKey);
    EXPECT_EQ(savedSystem, fileBytes(systemHive + ".TMP"));
    EXPECT_EQ("live NTUSER", fileBytes(userHive));
    EXPECT_EQ("previous backup", fileBytes(userHive + ".BAK")) << "nothing beside the hive is touched";
    EXPECT_FALSE(exists(offline.root() + "\\Users\\a\\NTUSER.TMP"));
    ASSERT_EQ(2u, actions.questions.size());  // the failure, then the restart note
    EXPECT_EQ("无法恢复 " + folder.folder() + "Users\\1\\NTUSER.DAT\n到\n" + userHive + ".\n\n继续下一个文件吗？",
              actions.questions[0].text);
    EXPECT_EQ("注册表恢复", actions.questions[0].caption);
    EXPECT_EQ(1, actions.restarts);
    EXPECT_EQ(err::kRestoreHive, session.failureCode);
}
