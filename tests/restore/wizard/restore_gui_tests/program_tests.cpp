// The shipped SURVIN.EXE, started in a backup folder and driven like a user would.
#include <gtest/gtest.h>

#include "common.h"
#include "edition.h"

using namespace rgui;
using namespace gui_driver;

TEST(RestoreProgram, FolderWithoutIniOffersOnlyCancel) {
    BackupFolder folder(L"rgui-noini");
    RealProgram program(folder.path);
    ASSERT_TRUE(program.started());
    HWND sheet = waitForWindow(program.processId(), kSheetTitle);
    ASSERT_NE(sheet, nullptr);
    HWND page = currentPage(sheet);
    ASSERT_NE(page, nullptr);

    EXPECT_EQ(textOf(GetDlgItem(page, 1006)), L"错误: 在备份文件夹中没有找到 ini 文件；无法继续。");
    EXPECT_EQ(textOf(GetDlgItem(page, 1007)), L"");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, 1011))) << "the help link is created hidden";
    EXPECT_TRUE(waitForEnabled(GetDlgItem(sheet, kFinishButton), false));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(sheet, kNextButton)) &&
                 IsWindowEnabled(GetDlgItem(sheet, kNextButton)));
    screenshot(sheet, L"restore-welcome-no-ini");

    // Without an owner the sheet centres itself in the work area.
    RECT sheetRect = {}, work = {};
    GetWindowRect(sheet, &sheetRect);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((sheetRect.left + sheetRect.right) / 2, (work.left + work.right) / 2, 2);
    EXPECT_NEAR((sheetRect.top + sheetRect.bottom) / 2, (work.top + work.bottom) / 2, 2);

    // The options can still be opened; without information they change nothing.
    clickLink(GetDlgItem(page, 1010));
    HWND options = waitForWindow(program.processId(), L"高级选项");
    ASSERT_NE(options, nullptr);
    for (int id : {1002, 1003, 1004}) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(options, id))) << id;
    screenshot(options, L"restore-options-no-ini");
    click(GetDlgItem(options, IDCANCEL));
    EXPECT_TRUE(waitForWindowGone(program.processId(), L"高级选项"));

    pressSheetButton(sheet, PSBTN_CANCEL);
    DWORD exitCode = 1;
    EXPECT_TRUE(program.waitForExit(15000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

// A backup of another installation, found inside that installation's Windows folder on
// another drive letter, is restored there by copying files.
TEST(RestoreProgram, CopiesHivesIntoOfflineInstallation) {
    ASSERT_EQ(GetDriveTypeA("G:\\"), static_cast<UINT>(DRIVE_FIXED)) << "the test prefix has G: as a fixed disk";
    OfflineTree tree("RGUIOLD");
    // The installation's Windows folder and its profiles beside it.
    const std::string windows = tree.root + "\\WINDOWS";
    const std::string name = windows.substr(2);  // \RGUIOLDnnnn\WINDOWS
    const std::string profiles = "C:" + tree.root.substr(2) + "\\Users";
    const std::string liveSystem = windows + "\\system32\\config\\SYSTEM";
    const std::string liveUser = tree.root + "\\Users\\Alice\\NTUSER.DAT";
    ASSERT_TRUE(makeFolders(windows + "\\system32\\config\\"));
    ASSERT_TRUE(makeFolders(tree.root + "\\Users\\Alice\\"));
    ASSERT_TRUE(putFile(liveSystem, "old system hive"));
    ASSERT_TRUE(putFile(liveUser, "old user hive"));
    const std::string restoredSystem = testing_support::hiveBytes("restored system hive");
    const std::string restoredUser = testing_support::hiveBytes("restored user hive");

    const std::string folder = windows + "\\Tolmen\\2026-12-08\\";
    BackupDescription backup;
    backup.sysRoot = "C:" + name;  // as the other installation saw itself
    backup.hives = {
        {"MACHINE\\SYSTEM", "SYSTEM", "C:" + name + "\\system32\\config\\SYSTEM", 1, restoredSystem},
        {"USERS\\S-1-5-21-1-2-3-1003", "Users\\1\\NTUSER.DAT", profiles + "\\Alice\\NTUSER.DAT", 2, restoredUser},
    };
    ASSERT_TRUE(writeBackup(folder, backup));

    RealProgram program(folder);
    ASSERT_TRUE(program.started());
    HWND sheet = waitForWindow(program.processId(), kSheetTitle);
    ASSERT_NE(sheet, nullptr);
    HWND welcome = currentPage(sheet);
    ASSERT_NE(welcome, nullptr);

    std::wstring os;
    {
        std::string osString;
        OsInfoRecord record = {};
        ASSERT_TRUE(identifyWindowsA(osString, record, IdentifyMode::Query));
        os = wide(osString);
    }
    EXPECT_EQ(waitForText(GetDlgItem(welcome, 1006),
                          L"日期 && 时间\t:    2026-12-08 , 8:00:00 上午\nWindows\t:    " + os +
                              L"\n备份目录  \t:    " + wide(folder) + L"\n"),
              L"日期 && 时间\t:    2026-12-08 , 8:00:00 上午\nWindows\t:    " + os + L"\n备份目录  \t:    " +
                  wide(folder) + L"\n");
    const std::wstring restoreInfo = L"恢复来源      \t:    " + runningEdition() +
                                     L"\n恢复模式    \t:    自动检测;  (不同 Windows) 将复制文件\n恢复到根目录   \t:    " +
                                     wide(windows);
    EXPECT_EQ(textOf(GetDlgItem(welcome, 1007)), restoreInfo);
    EXPECT_EQ(waitForOtherDialog(program.processId(), {sheet}, 1000), nullptr) << "no detection warning";
    EXPECT_TRUE(waitForEnabled(GetDlgItem(sheet, kNextButton), true));
    screenshot(sheet, L"restore-welcome");

    pressSheetButton(sheet, PSBTN_NEXT);
    HWND progress = waitForPageChange(sheet, welcome);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(textOf(GetDlgItem(progress, 1006)), L"单击开始恢复注册表。");
    EXPECT_TRUE(waitUntil([&] { return textOf(GetDlgItem(sheet, kFinishButton)) == L"开始"; }));
    // Back is requested; setting the Finish text hides it on this platform.
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(GetDlgItem(sheet, kBackButton)) != FALSE; }));
    HWND list = GetDlgItem(progress, 1021);
    EXPECT_FALSE(IsWindowVisible(list));
    click(GetDlgItem(progress, 1009));
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(list) && !IsWindowVisible(GetDlgItem(progress, 1009)); }));
    screenshot(sheet, L"restore-progress-ready");

    pressSheetButton(sheet, PSBTN_FINISH);
    EXPECT_EQ(waitForText(GetDlgItem(progress, 1006), L"注册表恢复操作完成。", 30000), L"注册表恢复操作完成。");
    EXPECT_EQ(textOf(GetDlgItem(progress, 1007)), L"");
    EXPECT_TRUE(waitForEnabled(GetDlgItem(sheet, kFinishButton), false)) << "after the run only Cancel is left";

    const std::wstring system = wide(liveSystem), user = wide(liveUser);
    const std::vector<std::wstring> expected = {
        L"备份配置单元 (1 / 2) " + system + L"...",
        L"恢复 (1 / 2) " + system + L" ... 成功",
        L"备份配置单元 (2 / 2) " + user + L"...",
        L"恢复 (2 / 2) " + user + L" ... 成功",
        L"处理  ",
    };
    EXPECT_EQ(listItems(list), expected);
    EXPECT_EQ(fileBytes(liveSystem), restoredSystem);
    EXPECT_EQ(fileBytes(liveUser), restoredUser);
    EXPECT_EQ(fileBytes(liveSystem + ".BAK"), "old system hive");
    EXPECT_EQ(fileBytes(liveUser + ".BAK"), "old user hive");
    screenshot(sheet, L"restore-progress-done");

    pressSheetButton(sheet, PSBTN_CANCEL);
    DWORD exitCode = 1;
    EXPECT_TRUE(program.waitForExit(15000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}
