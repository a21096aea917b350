// The advanced options dialog, opened from the welcome page of the wizard.
#include <gtest/gtest.h>

#include "common.h"

using namespace rgui;
using namespace gui_driver;

namespace {

const wchar_t kOptions[] = L"高级选项";

HWND openOptions(InProcessWizard& wizard, HWND* sheetOut) {
    HWND sheet = waitForWindow(wizard.processId(), kSheetTitle);
    if (!sheet) return nullptr;
    *sheetOut = sheet;
    clickLink(GetDlgItem(currentPage(sheet), 1010));
    return waitForWindow(wizard.processId(), kOptions);
}

// Selects a mode item and answers the expert warning.
void chooseMode(InProcessWizard& wizard, HWND options, int item, bool yes) {
    selectComboItem(GetDlgItem(options, 1018), item);
    HWND warning = waitForWindow(wizard.processId(), L"警告");
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(messageBoxText(warning),
              L"恢复模式的更改只能由专家来完成。\n\n设置不正确的模式将导致当前注册表出现问题。\n\n要继续吗？");
    PostMessageW(warning, WM_COMMAND, yes ? IDYES : IDNO, 0);
    ASSERT_TRUE(waitForWindowGone(wizard.processId(), L"警告"));
}

}  // namespace

TEST(RestoreOptions, ExpertWarningCategoriesAndManualMode) {
    BackupFolder folder(L"rgui-opt");
    BackupDescription backup;
    backup.hives = {{"MACHINE\\SYSTEM", "SYSTEM", folder.path + "live\\SYSTEM", 1, "a"},
                    {"USERS\\S-1-5-21-1-2-3-1003", "Users\\1\\NTUSER.DAT", folder.path + "live\\NTUSER.DAT", 2, "b"}};
    ASSERT_TRUE(writeBackup(folder.path + "bk\\", backup));
    InProcessWizard wizard(folder.path + "bk\\", nullptr);
    HWND sheet = nullptr;
    HWND options = openOptions(wizard, &sheet);
    ASSERT_NE(options, nullptr);

    EXPECT_EQ(comboItems(GetDlgItem(options, 1018)),
              (std::vector<std::wstring>{L"自动检测     (检测: Windows API)", L"Windows API", L"复制文件"}));
    EXPECT_EQ(comboSelection(GetDlgItem(options, 1018)), 0);
    EXPECT_EQ(IsDlgButtonChecked(options, 1019), static_cast<UINT>(BST_CHECKED));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(options, 1019)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(options, 1020)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(options, 1002)) && IsWindowEnabled(GetDlgItem(options, 1003)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(options, 1004))) << "no hive of other users in the backup";
    screenshot(options, L"restore-options");

    chooseMode(wizard, options, 2, false);
    EXPECT_TRUE(waitUntil([&] { return comboSelection(GetDlgItem(options, 1018)) == 0; }))
        << "No goes back to automatic";
    chooseMode(wizard, options, 2, true);
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(GetDlgItem(options, 1020)) != FALSE; }));
    EXPECT_EQ(comboSelection(GetDlgItem(options, 1018)), 2);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(options, 1019)));

    // All boxes cleared keeps the categories; no target selected gives an empty root.
    for (int id : {1002, 1003, 1004}) SendDlgItemMessageW(options, id, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageW(options, 1020, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    click(GetDlgItem(options, IDOK));
    ASSERT_TRUE(waitForWindowGone(wizard.processId(), kOptions));
    EXPECT_EQ(wizard.session.selectedCategories, 3u);
    EXPECT_EQ(wizard.session.autoDetect, 0);
    EXPECT_EQ(wizard.session.restoreMode, static_cast<int>(CopyFiles));
    EXPECT_EQ(wizard.session.targetWindowsRoot, "");
    EXPECT_EQ(waitForText(GetDlgItem(currentPage(sheet), 1007),
                          L"恢复来源      \t:    " + runningEdition() +
                              L"\n恢复模式    \t:    用户检测;  (不同 Windows) 将复制文件\n恢复到根目录   \t:    "),
              L"恢复来源      \t:    " + runningEdition() +
                  L"\n恢复模式    \t:    用户检测;  (不同 Windows) 将复制文件\n恢复到根目录   \t:    ");

    // One box cleared does change the categories.
    clickLink(GetDlgItem(currentPage(sheet), 1010));
    options = waitForWindow(wizard.processId(), kOptions);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(comboSelection(GetDlgItem(options, 1018)), 2) << "the manual mode is shown again";
    SendDlgItemMessageW(options, 1003, BM_SETCHECK, BST_UNCHECKED, 0);
    click(GetDlgItem(options, IDOK));
    ASSERT_TRUE(waitForWindowGone(wizard.processId(), kOptions));
    EXPECT_EQ(wizard.session.selectedCategories, 1u);
}

// The Windows API mode always keeps the live hives and restores into the running Windows:
// its row of the dependent controls, and the manual copy mode's row around it.
TEST(RestoreOptions, WindowsApiModeTargetsTheRunningWindowsAndKeepsTheLiveHives) {
    BackupFolder folder(L"rgui-api-mode");
    BackupDescription backup;
    backup.hives = {{"MACHINE\\SYSTEM", "SYSTEM", folder.path + "live\\SYSTEM", 1, "a"}};
    ASSERT_TRUE(writeBackup(folder.path + "bk\\", backup));
    InProcessWizard wizard(folder.path + "bk\\", nullptr);
    HWND sheet = nullptr;
    HWND options = openOptions(wizard, &sheet);
    ASSERT_NE(options, nullptr);
    const std::wstring current = wide(wizard.session.currentWindowsRoot);

    chooseMode(wizard, options, 2, true);
    ASSERT_TRUE(waitUntil([&] { return IsWindowEnabled(GetDlgItem(options, 1019)) != FALSE; }));
    EXPECT_EQ(IsDlgButtonChecked(options, 1019), static_cast<UINT>(BST_CHECKED)) << "the session's choice";
    SendDlgItemMessageW(options, 1019, BM_SETCHECK, BST_UNCHECKED, 0);

    wizard.session.targetWindowsRoot = "C:\\elsewhere";
    chooseMode(wizard, options, 1, true);
    ASSERT_TRUE(waitUntil([&] { return !IsWindowEnabled(GetDlgItem(options, 1019)); }));
    EXPECT_EQ(IsDlgButtonChecked(options, 1019), static_cast<UINT>(BST_CHECKED));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(options, 1020)));
    EXPECT_EQ(wide(wizard.session.targetWindowsRoot), current) << "at once, before OK";
    const int selected = comboSelection(GetDlgItem(options, 1020));
    ASSERT_GE(selected, 0);
    EXPECT_EQ(_wcsicmp(comboItems(GetDlgItem(options, 1020))[selected].c_str(), current.c_str()), 0)
        << "the item on the running Windows' drive";

    click(GetDlgItem(options, IDOK));
    ASSERT_TRUE(waitForWindowGone(wizard.processId(), kOptions));
    EXPECT_EQ(wizard.session.autoDetect, 0);
    EXPECT_EQ(wizard.session.restoreMode, static_cast<int>(WindowsApi));
    EXPECT_EQ(wizard.session.backupExisting, 1);
    EXPECT_EQ(_wcsicmp(wide(wizard.session.targetWindowsRoot).c_str(), current.c_str()), 0);
    HWND welcome = currentPage(sheet);
    EXPECT_TRUE(waitUntil([&] {
        return textOf(GetDlgItem(welcome, 1007)).find(L"用户检测;  (相同 Windows) 将使用 Windows API") != std::wstring::npos;
    })) << ansi(textOf(GetDlgItem(welcome, 1007)));
}

TEST(RestoreOptions, CopyModeRefusesTargetOnCurrentDrive) {
    ASSERT_EQ(GetDriveTypeA("G:\\"), static_cast<UINT>(DRIVE_FIXED));
    OfflineTree onG("RGUIDRV");
    const std::string onC = "C:" + onG.root.substr(2);
    ASSERT_TRUE(makeFolders(onC + "\\"));
    BackupFolder folder(L"rgui-drive");
    BackupDescription backup;
    backup.sysRoot = onC;
    backup.hives = {{"MACHINE\\SYSTEM", "SYSTEM", onC + "\\SYSTEM", 1, "a"}};
    ASSERT_TRUE(writeBackup(folder.path, backup));
    InProcessWizard wizard(folder.path, nullptr);
    HWND sheet = nullptr;
    HWND options = openOptions(wizard, &sheet);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(comboItems(GetDlgItem(options, 1020)), (std::vector<std::wstring>{wide(onC), wide(onG.root)}));
    EXPECT_EQ(comboSelection(GetDlgItem(options, 1020)), 0) << "the item on the target's drive";

    chooseMode(wizard, options, 2, true);
    selectComboItem(GetDlgItem(options, 1020), 1);
    HWND known[] = {sheet, options};
    EXPECT_EQ(waitForOtherDialog(wizard.processId(), {known[0], known[1]}, 800), nullptr) << "another drive is fine";
    selectComboItem(GetDlgItem(options, 1020), 0);
    HWND refusal = waitForOtherDialog(wizard.processId(), {known[0], known[1]});
    ASSERT_NE(refusal, nullptr);
    EXPECT_EQ(messageBoxText(refusal), L"在“文件复制”模式，目标 Windows 根目录不能与当前 Windows 根目录相同");
    screenshot(refusal, L"restore-drive-refusal");
    PostMessageW(refusal, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(waitUntil([&] { return comboSelection(GetDlgItem(options, 1018)) == 0; }))
        << "back to automatic detection";
    EXPECT_EQ(wizard.session.autoDetect, 1);
    click(GetDlgItem(options, IDCANCEL));
    ASSERT_TRUE(waitForWindowGone(wizard.processId(), kOptions));
    RemoveDirectoryA(onC.c_str());
}

TEST(RestoreOptions, OtherKindOfWindowsOffersOnlyAutomaticMode) {
    ASSERT_EQ(GetDriveTypeA("G:\\"), static_cast<UINT>(DRIVE_FIXED));
    OfflineTree tree("RGUIOS");
    BackupFolder folder(L"rgui-os");
    BackupDescription backup;
    backup.sysRoot = tree.root;
    backup.otherProductType = true;
    backup.hives = {{"MACHINE\\SYSTEM", "SYSTEM", tree.root + "\\SYSTEM", 1, "a"}};
    ASSERT_TRUE(writeBackup(folder.path, backup));
    InProcessWizard wizard(folder.path, nullptr);
    HWND sheet = nullptr;
    HWND options = openOptions(wizard, &sheet);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(wizard.session.osDiffers, 1);
    EXPECT_EQ(comboItems(GetDlgItem(options, 1018)), (std::vector<std::wstring>{L"自动检测     (检测: 复制文件)"}));
    click(GetDlgItem(options, IDCANCEL));
    ASSERT_TRUE(waitForWindowGone(wizard.processId(), kOptions));
}

TEST(RestoreOptions, InvalidIniIsTreatedAsMissing) {
    BackupFolder folder(L"rgui-bad");
    BackupDescription backup;
    backup.editOsString = true;
    backup.hives = {{"MACHINE\\SYSTEM", "SYSTEM", folder.path + "SYSTEM.LIVE", 1, "a"}};
    ASSERT_TRUE(writeBackup(folder.path, backup));
    InProcessWizard wizard(folder.path, nullptr);
    HWND sheet = waitForWindow(wizard.processId(), kSheetTitle);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(textOf(GetDlgItem(currentPage(sheet), 1006)), L"错误: 在备份文件夹中没有找到 ini 文件；无法继续。");
    EXPECT_TRUE(waitForEnabled(GetDlgItem(sheet, kFinishButton), false));
}
