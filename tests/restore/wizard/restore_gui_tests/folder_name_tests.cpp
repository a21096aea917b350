// The shipped SURVIN.EXE in a backup folder whose name the ANSI code page lacks.
#include <gtest/gtest.h>

#include "common.h"

using namespace rgui;
using namespace gui_driver;

// A backup folder whose name the ANSI code page (936 here) lacks: the program finds its
// own folder through its short form and restores it.
TEST(RestoreProgram, RestoresFromAFolderOutsideTheCodePage) {
    ASSERT_EQ(GetDriveTypeA("G:\\"), static_cast<UINT>(DRIVE_FIXED));
    const std::wstring folder = L"C:\\Bk\\J\x00f6rg\\";
    struct Cleanup {
        std::wstring folder;
        ~Cleanup() { testing_support::removeTree(folder); }
    } cleanup{folder};
    testing_support::removeTree(folder);
    ASSERT_TRUE(testing_support::makeDirs(folder));
    BOOL usedDefault = FALSE;
    char lossy[MAX_PATH];
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.c_str(), -1, lossy, MAX_PATH, nullptr, &usedDefault);
    ASSERT_TRUE(usedDefault) << "the name must be one the code page lacks";
    wchar_t shortForm[MAX_PATH] = L"";
    ASSERT_GT(GetShortPathNameW(folder.c_str(), shortForm, MAX_PATH), 0u);

    OfflineTree tree("RGUIJORG");
    const std::string windows = tree.root + "\\WINDOWS";
    const std::string live = windows + "\\system32\\config\\SOFTWARE";
    ASSERT_TRUE(makeFolders(windows + "\\system32\\config\\"));
    ASSERT_TRUE(putFile(live, "old software hive"));
    const std::string restored = testing_support::hiveBytes("restored from Joerg");
    BackupDescription backup;
    backup.sysRoot = windows;
    backup.hives = {{"MACHINE\\SOFTWARE", "SOFTWARE", live, 1, restored}};
    ASSERT_TRUE(writeBackup(ansi(shortForm), backup));

    RealProgram program(folder);
    ASSERT_TRUE(program.started());
    HWND sheet = waitForWindow(program.processId(), kSheetTitle);
    ASSERT_NE(sheet, nullptr);
    HWND welcome = currentPage(sheet);
    ASSERT_NE(welcome, nullptr);
    EXPECT_TRUE(waitForEnabled(GetDlgItem(sheet, kNextButton), true)) << ansi(textOf(GetDlgItem(welcome, 1006)));
    EXPECT_EQ(textOf(GetDlgItem(welcome, 1006)).find(L"错误"), std::wstring::npos)
        << ansi(textOf(GetDlgItem(welcome, 1006)));

    pressSheetButton(sheet, PSBTN_NEXT);
    HWND progress = waitForPageChange(sheet, welcome);
    ASSERT_NE(progress, nullptr);
    click(GetDlgItem(progress, 1009));
    waitUntil([&] { return IsWindowVisible(GetDlgItem(progress, 1021)) != FALSE; });
    pressSheetButton(sheet, PSBTN_FINISH);
    EXPECT_EQ(waitForText(GetDlgItem(progress, 1006), L"注册表恢复操作完成。", 30000), L"注册表恢复操作完成。");
    EXPECT_EQ(fileBytes(live), restored);
    EXPECT_EQ(fileBytes(live + ".BAK"), "old software hive");

    pressSheetButton(sheet, PSBTN_CANCEL);
    DWORD exitCode = 1;
    EXPECT_TRUE(program.waitForExit(15000, &exitCode));
}
