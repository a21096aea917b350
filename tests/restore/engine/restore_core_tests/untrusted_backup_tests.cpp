// What a backup folder cannot make the restore do: write outside the target installation's
// hives, read outside the backup folder, or install a file that does not load as a hive.
// Also the hive check itself.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>

#include "errors.h"
#include "hive_check.h"
#include "platform.h"
#include "restore_fixture.h"

using namespace restore_tests;
using testing_support::hiveCheckKeys;

namespace {

std::wstring tempFolder() {
    wchar_t path[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH + 1, path);
    return path;
}

// Scratch folders of checks by this process in a folder.
std::vector<std::wstring> ownScratchFolders(const std::string& parent) {
    std::vector<std::wstring> found;
    wchar_t pattern[64];
    wsprintfW(pattern, L"%s%lu.*", kHiveCheckKeyPrefix, GetCurrentProcessId());
    for (const std::wstring& name : testing_support::subfolders(wide(parent))) {
        if (PathMatchSpecW(name.c_str(), pattern)) found.push_back(name);
    }
    return found;
}

// The load check as the restore makes it: its scratch inside the backup folder.
DWORD loadError(const BackupFolder& folder, const std::string& file) {
    return checkHive(wide(file).c_str(), wide(folder.folder())).error;
}

}  // namespace

TEST(HiveCheck, OnlyAHiveLoadsAndNothingIsLeftBehind) {
    BackupFolder folder;
    const std::string hive = folder.folder() + "hive";
    const std::string bytes = folder.saveLoadableHive("hive", "check me");
    EXPECT_EQ(0u, loadError(folder, hive));
    EXPECT_EQ(bytes, fileBytes(hive));

    // A read-only file (a backup on a CD) is checked through its private copy.
    ASSERT_TRUE(SetFileAttributesA(hive.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0u, loadError(folder, hive));
    SetFileAttributesA(hive.c_str(), FILE_ATTRIBUTE_NORMAL);

    for (const char* garbage : {"", "regf", "MZ\x90\x00 not a hive at all", "WINE REGISTRY"}) {
        folder.saveHive("garbage", garbage);
        DWORD error = loadError(folder, folder.folder() + "garbage");
        EXPECT_NE(0u, error) << garbage;
        EXPECT_EQ(garbage, fileBytes(folder.folder() + "garbage"));
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), loadError(folder, folder.folder() + "missing"));

    EXPECT_TRUE(hiveCheckKeys().empty());
    EXPECT_TRUE(ownScratchFolders(folder.folder()).empty());
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
    void run(int mode) { run(mode, windows); }
    void run(int mode, const std::string& target) {
        session = folder.session(target);
        session.restoreMode = mode;
        RunRestore(session, actions);
    }
    OfflineTree offline;
    BackupFolder folder;
    std::string windows, systemHive, userHive, savedSystem, savedUser;
    const std::string thesis = "C:\\tolmen-tests\\THESIS.DOC";
    RestoreSession session;
    ScriptedActions actions;
};

}  // namespace

// A value that cannot receive or give a hive is that entry's failure alone: its line names
// the value, the mode's question follows, and Yes goes on with the next entry. The target
// root is ...\WINNT while SURVIN.INI names C:\...\WINDOWS: only the drive letter follows
// it, so the entries that are restored land in ...\WINDOWS.
TEST_F(Hardening, RefusedEntryIsThatEntrysFailureAlone) {
    const std::string root = "C" + offline.root().substr(1);
    const std::string config = root + "\\WINDOWS\\system32\\config\\";
    const struct {
        const char* key;
        std::string value;
        const char* type;  // DATA0's Type
    } refused[] = {
        {"Hive", thesis, "MACHINE\\SYSTEM"},
        {"Hive", config + "..\\..\\..\\THESIS.DOC", "MACHINE\\SYSTEM"},
        {"Hive", config + "/../../../THESIS.DOC", "MACHINE\\SYSTEM"},
        {"Hive", root + "\\WINDOWS\\system32\\SYSTEM", "MACHINE\\SYSTEM"},
        {"Hive", config + "SYSTEM:stream", "MACHINE\\SYSTEM"},
        {"Hive", config + "CON", "MACHINE\\CON"},
        {"Hive", root + "\\WINDOWS\\system32\\config.\\SYSTEM", "MACHINE\\SYSTEM"},
        {"Hive", config + "SYS?EM", "MACHINE\\SYSTEM"},  // a stand-in of a name the backup could not write
        {"Hive", "\\\\server\\share\\WINDOWS\\system32\\config\\SYSTEM", "MACHINE\\SYSTEM"},
        {"Hive", config + "SAM", "MACHINE\\SYSTEM"},
        {"Hive", "C" + userHive.substr(1), "MACHINE\\SAM"},  // a profile's NTUSER.DAT for SAM
        {"Hive", root + "\\Users\\a\\THESIS.DOC", "USERS\\S-1-5-21-2"},
        {"Hive", config + "SYSTEM", "MACHINE\\..\\SYSTEM"},
        {"Saved", thesis, "MACHINE\\SYSTEM"},
        {"Saved", "\\tolmen-tests\\THESIS.DOC", "MACHINE\\SYSTEM"},
        {"Saved", "..\\..\\..\\tolmen-tests\\THESIS.DOC", "MACHINE\\SYSTEM"},
        {"Saved", "Users\\..\\..\\..\\..\\tolmen-tests\\THESIS.DOC", "MACHINE\\SYSTEM"},
        {"Saved", "\\\\?\\" + thesis, "MACHINE\\SYSTEM"},
        {"Saved", "C:tolmen-tests\\THESIS.DOC", "MACHINE\\SYSTEM"},
    };
    // Each Saved value names a file that exists, so only the rule can refuse it.
    ASSERT_TRUE(exists(folder.folder() + "..\\..\\..\\tolmen-tests\\THESIS.DOC"));
    for (const auto& entry : refused) {
        for (int mode : {CopyFiles, WindowsApi}) {
            SCOPED_TRACE(std::string(entry.key) + " " + entry.value + (mode == CopyFiles ? " copy" : " replace"));
            writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", "C" + systemHive.substr(1), 1);
            writeValue(folder.ini(), "DATA0", entry.key, entry.value.c_str());
            writeValue(folder.ini(), "DATA0", "Type", entry.type);
            OfflineTree::put(userHive, "live NTUSER");
            DeleteFileA((userHive + ".BAK").c_str());
            actions.questions.clear();
            actions.replacements.clear();
            actions.answers = {IDYES};
            const size_t before = actions.lines(Reported::Line).size();
            run(mode, offline.root() + "\\WINNT");

            ASSERT_EQ(2u, session.plan.size());
            ASSERT_FALSE(actions.questions.empty());
            const auto& question = actions.questions[0];
            EXPECT_EQ(mode == CopyFiles ? "无法复制 " : "无法恢复 ", question.text.substr(0, 9));
            EXPECT_EQ(mode == CopyFiles ? QuestionCaption::RestoreError : QuestionCaption::Program, question.caption);
            EXPECT_FALSE(question.note);
            std::vector<std::wstring> merged = actions.log(before);
            ASSERT_FALSE(merged.empty());
            EXPECT_EQ(0u, merged[0].find(wide("恢复 (1 / 2) "))) << ansi(merged[0]);
            EXPECT_NE(std::wstring::npos, merged[0].find(wide(entry.value.substr(1)))) << ansi(merged[0]);
            EXPECT_NE(std::wstring::npos, merged[0].find(wide(" 失败 配置单元信息无效"))) << ansi(merged[0]);
            EXPECT_EQ(1, session.failed);
            EXPECT_EQ(err::kRestoreHive, session.failureCode);
            // Nothing of the refused entry was written; the next one was restored.
            EXPECT_EQ("live SYSTEM", fileBytes(systemHive));
            EXPECT_EQ("my thesis", fileBytes(thesis));
            for (const std::string& file : {systemHive + ".BAK", systemHive + ".TMP", thesis + ".BAK"})
                EXPECT_FALSE(exists(file)) << file;
            if (mode == CopyFiles) {
                EXPECT_EQ(savedUser, fileBytes(userHive));
                EXPECT_EQ(1u, actions.questions.size());
            } else {
                ASSERT_EQ(1u, actions.replacements.size());
                EXPECT_EQ("S-1-5-21-1", actions.replacements[0].subKey);
                EXPECT_EQ(savedUser, fileBytes(actions.replacements[0].newFile));
                DeleteFileA(actions.replacements[0].newFile.c_str());
            }
        }
    }

    // No stops the run there.
    writeValue(folder.ini(), "DATA0", "Hive", thesis.c_str());
    OfflineTree::put(userHive, "live NTUSER");
    actions.questions.clear();
    actions.answers = {IDNO};
    run(CopyFiles, offline.root() + "\\WINNT");
    EXPECT_EQ(1u, actions.questions.size());
    EXPECT_EQ(err::kRestoreHive, session.failureCode);
    EXPECT_EQ("live NTUSER", fileBytes(userHive));
    EXPECT_EQ(wide("处理 包含错误"), actions.lines(Reported::Line).back());
}

namespace {

// A regf file whose base block is damaged: the signature, then a checksum that does not
// match the first 508 bytes.
std::string brokenRegf() {
    std::string bytes(8192, '\0');
    bytes.replace(0, 4, "regf");
    bytes[4] = bytes[8] = 1;  // equal sequence numbers
    bytes[40] = 0x10;         // 4096 bytes of hive bins
    return bytes;
}

}  // namespace

TEST_F(Hardening, SavedFileThatDoesNotLoadIsNeverCopiedOverAnInstallation) {
    // A broken base block is told by the restore itself, before the registry is asked.
    const struct {
        std::string bytes;
        DWORD error;
    } saved[] = {
        {"not a hive at all", 0},
        {brokenRegf(), ERROR_BADDB},
    };
    for (const auto& file : saved) {
        folder.saveHive("system", file.bytes);
        const DWORD error = file.error ? file.error : loadError(folder, folder.folder() + "system");
        ASSERT_NE(0u, error);
        for (int answer : {IDNO, IDYES}) {
            SCOPED_TRACE(std::string(answer == IDYES ? "yes " : "no ") + file.bytes.substr(0, 4));
            OfflineTree::put(userHive, "live NTUSER");
            actions.questions.clear();
            actions.answers = {answer};
            const size_t before = actions.lines(Reported::Line).size();
            run(CopyFiles);
            EXPECT_EQ("live SYSTEM", fileBytes(systemHive)) << "byte for byte";
            EXPECT_FALSE(exists(systemHive + ".BAK")) << "not even the .BAK copy";
            EXPECT_FALSE(exists(systemHive + ".TMP"));
            ASSERT_EQ(1u, actions.questions.size());
            EXPECT_EQ("无法复制 " + folder.folder() + "system\n到\n" + systemHive + ".\n\n继续下一个文件吗？",
                      actions.questions[0].text);
            EXPECT_EQ(QuestionCaption::RestoreError, actions.questions[0].caption);
            EXPECT_FALSE(actions.questions[0].note);
            EXPECT_EQ(1, session.failed);
            EXPECT_EQ(err::kRestoreHive, session.failureCode);
            std::vector<std::wstring> merged = actions.log(before);
            ASSERT_FALSE(merged.empty());
            EXPECT_EQ(wide("恢复 (1 / 2) " + systemHive + " ... 失败 " + windowsErrorTextA(error)), merged[0]);
            // The answer decides about the next hive, which loads.
            EXPECT_EQ(answer == IDYES ? savedUser : "live NTUSER", fileBytes(userHive));
        }
    }
}

// A check that could not be made (no restore privilege, no room for the private copy)
// says nothing against the file: the run asks, and Yes restores the hive.
TEST_F(Hardening, HiveThatCouldNotBeCheckedIsRestoredAfterYes) {
    actions.uncheckable = {folder.folder() + "system"};
    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer == IDYES ? "yes" : "no");
        OfflineTree::put(systemHive, "live SYSTEM");
        actions.questions.clear();
        actions.answers = {answer};
        const size_t before = actions.lines(Reported::Line).size();
        run(CopyFiles);
        ASSERT_EQ(1u, actions.questions.size());
        EXPECT_EQ("无法验证 " + folder.folder() + "system.\n\n继续吗？", actions.questions[0].text);
        EXPECT_EQ(QuestionCaption::RestoreError, actions.questions[0].caption);
        EXPECT_EQ(answer == IDYES ? savedSystem : "live SYSTEM", fileBytes(systemHive));
        EXPECT_EQ(answer == IDYES ? savedUser : "live NTUSER", fileBytes(userHive));
        EXPECT_EQ(err::kRestoreHive, session.failureCode);
        std::vector<std::wstring> merged = actions.log(before);
        const std::wstring unverified = wide("恢复 (1 of 2) " + systemHive + " ... 失败 ");
        bool reported = false;
        for (const std::wstring& line : merged) reported = reported || line.compare(0, unverified.size(), unverified) == 0;
        EXPECT_TRUE(reported) << "a line of its own says the check failed";
        if (answer == IDYES) {
            EXPECT_NE(merged.end(), std::find(merged.begin(), merged.end(), wide("恢复 (1 / 2) " + systemHive + " ... 成功")));
        }
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
    EXPECT_EQ(QuestionCaption::Program, actions.questions[0].caption);
    EXPECT_EQ(1, actions.restarts);
    EXPECT_EQ(err::kRestoreHive, session.failureCode);
}
