// The wizard code on a thread of this test program, with the hive replacement and the
// restart recorded instead of done.
#include <gtest/gtest.h>

#include "common.h"

#include <commctrl.h>
#include "restore_progress_page.h"

using namespace rgui;
using namespace gui_driver;

namespace {

HWND openSheet(InProcessWizard& wizard) {
    return waitForWindow(wizard.processId(), kSheetTitle);
}

// Next, show the list, Finish: the run starts.
HWND startRun(HWND sheet) {
    HWND welcome = currentPage(sheet);
    EXPECT_TRUE(waitForEnabled(GetDlgItem(sheet, kNextButton), true));
    pressSheetButton(sheet, PSBTN_NEXT);
    HWND progress = waitForPageChange(sheet, welcome);
    if (!progress) return nullptr;
    click(GetDlgItem(progress, 1009));
    waitUntil([&] { return IsWindowVisible(GetDlgItem(progress, 1021)) != FALSE; });
    pressSheetButton(sheet, PSBTN_FINISH);
    return progress;
}

}  // namespace

TEST(RestoreWizard, SameWindowsReplacesHivesAndAsksForRestart) {
    BackupFolder folder(L"rgui-api");
    // A profile of the running Windows of this test alone.
    char profile[64];
    wsprintfA(profile, "C:\\users\\rgui-api-%lu\\", GetCurrentProcessId());
    struct Cleanup {
        std::string folder;
        ~Cleanup() { testing_support::removeTree(wide(folder)); }
    } cleanup{profile};
    const std::string live = std::string(profile) + "NTUSER.DAT";
    const std::string temp = std::string(profile) + "NTUSER.TMP";
    ASSERT_TRUE(makeFolders(profile));
    ASSERT_TRUE(putFile(live, "live hive"));
    const std::string saved = testing_support::hiveBytes("saved hive");
    BackupDescription backup;
    backup.hives = {{"USERS\\S-1-5-21-1-2-3-1003", "NTUSER.DAT", live, 2, saved}};
    ASSERT_TRUE(writeBackup(folder.path + "bk\\", backup));

    ScriptedActions actions;
    InProcessWizard wizard(folder.path + "bk\\", &actions);
    HWND sheet = openSheet(wizard);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(textOf(GetDlgItem(currentPage(sheet), 1007)),
              L"恢复来源      \t:    " + runningEdition() +
                  L"\n恢复模式    \t:    自动检测;  (相同 Windows) 将使用 Windows API\n恢复到根目录   \t:    " +
                  wide(windowsRoot()));

    HWND progress = startRun(sheet);
    ASSERT_NE(progress, nullptr);
    HWND note = waitForWindow(wizard.processId(), L"注册表恢复完成。");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(messageBoxText(note), L"Windows 必须重新启动才能完成恢复操作。单击“确定”，Windows 将自动重新启动。");
    EXPECT_EQ(actions.restarts, 0) << "no restart before the note is closed";
    EXPECT_EQ(GetWindow(note, GW_OWNER), sheet);
    EXPECT_EQ(GetDlgItem(note, IDNO), nullptr) << "a note with OK alone";
    screenshot(note, L"restore-restart-note");
    PostMessageW(note, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(waitUntil([&] { return actions.restarts == 1; }));

    EXPECT_EQ(waitForText(GetDlgItem(progress, 1006), L"注册表恢复操作完成。"), L"注册表恢复操作完成。");
    ASSERT_EQ(actions.replacements.size(), 1u);
    EXPECT_EQ(actions.replacements[0].root, HKEY_USERS);
    EXPECT_EQ(actions.replacements[0].subKey, "S-1-5-21-1-2-3-1003");
    EXPECT_EQ(actions.replacements[0].newFile, temp);
    EXPECT_EQ(actions.replacements[0].oldFile, live + ".BAK");
    EXPECT_EQ(fileBytes(temp), saved);
    EXPECT_EQ(fileBytes(live), "live hive") << "the live hive is left to the replacement";
    const std::vector<std::wstring> expected = {L"恢复 (1 / 1) " + wide(live) + L" ... 成功", L"处理  "};
    EXPECT_EQ(listItems(GetDlgItem(progress, 1021)), expected);
    pressSheetButton(sheet, PSBTN_CANCEL);
    EXPECT_TRUE(wizard.waitForEnd(10000));
}

// A copy that fails: the user is asked, cancel is refused meanwhile, and the answer
// decides whether the next hive is restored. The failure is reported either way.
class FailingRun : public ::testing::TestWithParam<bool> {};

TEST_P(FailingRun, AnswerDecidesWhetherTheRunGoesOn) {
    const bool goOn = GetParam();
    ASSERT_EQ(GetDriveTypeA("G:\\"), static_cast<UINT>(DRIVE_FIXED));
    OfflineTree tree("RGUIFAIL");
    const std::string software = tree.root + "\\system32\\config\\SOFTWARE";
    // A folder of the installation that is not there: the copy into it fails.
    const std::string missing = tree.root + "\\system32\\config\\missing\\SYSTEM";
    ASSERT_TRUE(makeFolders(tree.root + "\\system32\\config\\"));
    ASSERT_TRUE(putFile(software, "old software"));
    const std::string savedSoftware = testing_support::hiveBytes("saved software");
    BackupFolder folder(L"rgui-fail");
    BackupDescription backup;
    backup.sysRoot = tree.root;
    backup.hives = {
        {"MACHINE\\SYSTEM", "SYSTEM", missing, 1, testing_support::hiveBytes("saved system")},
        {"MACHINE\\SOFTWARE", "SOFTWARE", software, 1, savedSoftware},
    };
    ASSERT_TRUE(writeBackup(folder.path, backup));

    InProcessWizard wizard(folder.path, nullptr);
    HWND sheet = openSheet(wizard);
    ASSERT_NE(sheet, nullptr);
    HWND welcome = currentPage(sheet);
    // No ".BAK" copies: the copy itself is what fails.
    clickLink(GetDlgItem(welcome, 1010));
    HWND options = waitForWindow(wizard.processId(), L"高级选项");
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(options, 1019)));
    SendDlgItemMessageW(options, 1019, BM_SETCHECK, BST_UNCHECKED, 0);
    click(GetDlgItem(options, IDOK));
    ASSERT_TRUE(waitForWindowGone(wizard.processId(), L"高级选项"));
    EXPECT_EQ(wizard.session.backupExisting, 0);

    HWND progress = startRun(sheet);
    ASSERT_NE(progress, nullptr);
    HWND question = waitForWindow(wizard.processId(), L"恢复错误");
    ASSERT_NE(question, nullptr);
    // The page owns the question; Yes and No answer it.
    EXPECT_EQ(GetWindow(question, GW_OWNER), sheet);
    EXPECT_NE(GetDlgItem(question, IDYES), nullptr);
    EXPECT_NE(GetDlgItem(question, IDNO), nullptr);
    const std::wstring message = messageBoxText(question);
    EXPECT_EQ(message.rfind(L"无法复制 ", 0), 0u) << ansi(message);
    EXPECT_NE(message.find(L"\n到\n" + wide(missing) + L".\n\n继续下一个文件吗？"),
              std::wstring::npos);
    if (goOn) {
        screenshot(question, L"restore-failure-question");
    }
    // Cancel while the run is going on is refused.
    pressSheetButton(sheet, PSBTN_CANCEL);
    Sleep(500);
    EXPECT_TRUE(IsWindow(sheet));
    PostMessageW(question, WM_COMMAND, goOn ? IDYES : IDNO, 0);

    EXPECT_EQ(waitForText(GetDlgItem(progress, 1006), L"注册表恢复遇到错误。"), L"注册表恢复遇到错误。");
    EXPECT_EQ(textOf(GetDlgItem(progress, 1007)), L"错误: 无法恢复配置单元");
    EXPECT_EQ(wizard.session.failed, 1);
    EXPECT_EQ(wizard.session.failureCode, 614);
    EXPECT_EQ(fileBytes(software), goOn ? savedSoftware : "old software");
    std::vector<std::wstring> items = listItems(GetDlgItem(progress, 1021));
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.back(), L"处理 包含错误");
    EXPECT_EQ(items[0].rfind(L"恢复 (1 / 2) " + wide(missing) + L" ... 失败 ", 0), 0u);
    if (goOn) {
        EXPECT_EQ(items[1], L"恢复 (2 / 2) " + wide(software) + L" ... 成功");
        screenshot(sheet, L"restore-progress-failed");
    }
    EXPECT_TRUE(IsWindow(sheet)) << "the results stay on screen";
    pressSheetButton(sheet, PSBTN_CANCEL);
    EXPECT_TRUE(wizard.waitForEnd(10000));
}

INSTANTIATE_TEST_SUITE_P(NoAndYes, FailingRun, ::testing::Values(false, true));

TEST(RestoreWizard, ImpossibleDetectionWarnsOnEveryActivation) {
    BackupFolder folder(L"rgui-warn");
    BackupDescription backup;
    char missingRoot[64];
    wsprintfA(missingRoot, "C:\\RGUINOPE%lu", GetCurrentProcessId());
    backup.sysRoot = missingRoot;
    backup.hives = {{"MACHINE\\SYSTEM", "SYSTEM", std::string(missingRoot) + "\\system32\\config\\SYSTEM", 1, "x"}};
    ASSERT_TRUE(writeBackup(folder.path, backup));

    InProcessWizard wizard(folder.path, nullptr);
    HWND warning = waitForWindow(wizard.processId(), L"自动检测失败");
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(messageBoxText(warning), L"无法正常自动检测。\n\n请验证“模式”和“恢复到根目录”选项。");
    screenshot(warning, L"restore-auto-detect-warning");
    PostMessageW(warning, WM_COMMAND, IDOK, 0);
    HWND sheet = openSheet(wizard);
    ASSERT_NE(sheet, nullptr);
    HWND welcome = currentPage(sheet);
    EXPECT_TRUE(waitForEnabled(GetDlgItem(sheet, kNextButton), true)) << "the page stays usable";

    pressSheetButton(sheet, PSBTN_NEXT);
    ASSERT_NE(waitForPageChange(sheet, welcome), nullptr);
    pressSheetButton(sheet, PSBTN_BACK);
    HWND again = waitForWindow(wizard.processId(), L"自动检测失败");
    ASSERT_NE(again, nullptr) << "the warning comes with every activation";
    PostMessageW(again, WM_COMMAND, IDOK, 0);
}

// The lines of one step complete their item, whatever their texts hold (a folder name may
// hold "..."); other lines are added.
TEST(ProgressList, LinesOfOneStepCompleteTheirItem) {
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_POPUP | LVS_REPORT, 0, 0, 300, 200, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(list, nullptr);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    const std::string hive = "C:\\Users\\a...b\\NTUSER.DAT";
    EXPECT_EQ(mergeLogLine(list, backupCopyStep(1), "备份配置单元 (1 / 2) " + hive + "..."), 0);
    EXPECT_EQ(mergeLogLine(list, restoreStep(1), "恢复 (1 / 2) " + hive + " ..."), 1);
    EXPECT_EQ(mergeLogLine(list, kOwnLine, "恢复 (1 of 2) " + hive + " ... 失败 x"), 2);
    EXPECT_EQ(mergeLogLine(list, restoreStep(1), "恢复 (1 / 2) " + hive + " ... 成功"), 1);
    EXPECT_EQ(mergeLogLine(list, restoreStep(2), "恢复 (2 / 2) C:\\W\\SAM ... 失败 y"), 3) << "a new step is added";
    EXPECT_EQ(mergeLogLine(list, kOwnLine, "处理 "), 4);
    EXPECT_EQ(mergeLogLine(list, kOwnLine, "处理 "), 5) << "a line of its own is never merged";
    const std::wstring wideHive = wide(hive);
    const std::vector<std::wstring> expected = {
        L"备份配置单元 (1 / 2) " + wideHive + L"...", L"恢复 (1 / 2) " + wideHive + L" ... 成功",
        L"恢复 (1 of 2) " + wideHive + L" ... 失败 x", L"恢复 (2 / 2) C:\\W\\SAM ... 失败 y", L"处理 ", L"处理 "};
    EXPECT_EQ(listItems(list), expected);
    DestroyWindow(list);
}
