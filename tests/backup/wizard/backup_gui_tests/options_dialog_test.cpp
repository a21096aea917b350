// The advanced options dialog, opened from the welcome page of the shipped program.
#include <windows.h>

#include <gtest/gtest.h>

#include "tolmen_run.h"

using namespace gui_driver;
using namespace testing_support;

namespace {

constexpr int kFolder = 1000, kOverwrite = 1003, kKeepAll = 1012, kByDays = 1013, kByCount = 1014, kDays = 1015,
              kCount = 1016;

HWND openOptions(TolmenRun& run) {
    clickLink(run.control(1010));
    return run.window(L"高级选项");
}

bool closes(HWND dialog) {
    return waitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
}

void pressOk(HWND dialog) {
    click(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(closes(dialog));
}

}  // namespace

TEST(AdvancedOptions, ShowsTheDefaultsAndCancelAndEnterWriteNothing) {
    TolmenRun run(L"gui-options-defaults");
    ASSERT_TRUE(run.start());
    HWND dialog = openOptions(run);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(textOf(GetDlgItem(dialog, kFolder)), L"%SystemRoot%\\Tolmen\\<DATE>\\");
    EXPECT_FALSE(isChecked(GetDlgItem(dialog, kOverwrite)));
    EXPECT_TRUE(isChecked(GetDlgItem(dialog, kKeepAll)));
    EXPECT_FALSE(isChecked(GetDlgItem(dialog, kByDays)));
    EXPECT_FALSE(isChecked(GetDlgItem(dialog, kByCount)));
    EXPECT_EQ(textOf(GetDlgItem(dialog, kDays)), L"30");
    EXPECT_EQ(textOf(GetDlgItem(dialog, kCount)), L"10");
    EXPECT_EQ(LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0)), IDCANCEL);
    EXPECT_TRUE(isEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(screenshot(dialog, L"options"));

    typeText(GetDlgItem(dialog, kFolder), L"C:\\Elsewhere\\");
    click(GetDlgItem(dialog, kByCount));
    click(GetDlgItem(dialog, IDCANCEL));
    ASSERT_TRUE(closes(dialog));
    EXPECT_FALSE(fileExists(run.iniPath()));
    EXPECT_EQ(textOf(run.control(1000)), defaultFolderShown());

    // Enter presses the default button, which is Cancel.
    dialog = openOptions(run);
    ASSERT_TRUE(dialog);
    typeText(GetDlgItem(dialog, kDays), L"5");
    PostMessageW(GetDlgItem(dialog, kDays), WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(closes(dialog));
    EXPECT_FALSE(fileExists(run.iniPath()));
    EXPECT_TRUE(run.cancelAndWait());
}

TEST(AdvancedOptions, OkRepairsLimitsThatWouldUseAnEmptyOrZeroNumber) {
    TolmenRun run(L"gui-options-repair");
    ASSERT_TRUE(run.start());
    HWND dialog = openOptions(run);
    ASSERT_TRUE(dialog);
    click(GetDlgItem(dialog, kByDays));
    typeText(GetDlgItem(dialog, kDays), L"");
    pressOk(dialog);
    EXPECT_EQ(run.setting(L"DefBackupDir"), L"%SystemRoot%\\Tolmen\\<DATE>\\");
    EXPECT_EQ(run.setting(L"Overwrite"), L"0");
    EXPECT_EQ(run.setting(L"LimitBackup"), L"0");
    EXPECT_EQ(run.setting(L"LimitBackupDays"), L"30");
    EXPECT_EQ(run.setting(L"LimitBackupCount"), L"10");

    dialog = openOptions(run);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(isChecked(GetDlgItem(dialog, kKeepAll)));
    click(GetDlgItem(dialog, kOverwrite));
    click(GetDlgItem(dialog, kByCount));
    typeText(GetDlgItem(dialog, kCount), L"0");
    typeText(GetDlgItem(dialog, kDays), L"7");
    pressOk(dialog);
    EXPECT_EQ(run.setting(L"Overwrite"), L"1");
    EXPECT_EQ(run.setting(L"LimitBackup"), L"0");
    EXPECT_EQ(run.setting(L"LimitBackupDays"), L"7");
    EXPECT_EQ(run.setting(L"LimitBackupCount"), L"10");

    dialog = openOptions(run);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(isChecked(GetDlgItem(dialog, kOverwrite)));
    click(GetDlgItem(dialog, kByCount));
    typeText(GetDlgItem(dialog, kCount), L"4");
    pressOk(dialog);
    EXPECT_EQ(run.setting(L"LimitBackup"), L"2");
    EXPECT_EQ(run.setting(L"LimitBackupCount"), L"4");
    EXPECT_TRUE(run.cancelAndWait());
}

TEST(AdvancedOptions, AnUnknownStoredModeShowsKeepAllAndIsSavedAsZero) {
    TolmenRun run(L"gui-options-mode5");
    run.writeSetting(L"LimitBackup", L"5");
    run.writeSetting(L"LimitBackupDays", L"12");
    ASSERT_TRUE(run.start());
    HWND dialog = openOptions(run);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(isChecked(GetDlgItem(dialog, kKeepAll)));
    EXPECT_EQ(textOf(GetDlgItem(dialog, kDays)), L"12");
    pressOk(dialog);
    EXPECT_EQ(run.setting(L"LimitBackup"), L"0");
    EXPECT_EQ(run.setting(L"LimitBackupDays"), L"12");
    EXPECT_TRUE(run.cancelAndWait());
}

TEST(AdvancedOptions, OnlyAnEditedFolderFieldReplacesTheWelcomePagesFolder) {
    TolmenRun run(L"gui-options-folder");
    run.writeSetting(L"DefBackupDir", L"C:\\Kept\\<date>\\");
    ASSERT_TRUE(run.start());
    EXPECT_EQ(textOf(run.control(1000)), L"C:\\Kept\\" + todayText() + L"\\");
    typeText(run.control(1000), L"C:\\Typed\\");

    // OK without touching the field keeps what the user typed on the page.
    HWND dialog = openOptions(run);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(textOf(GetDlgItem(dialog, kFolder)), L"C:\\Kept\\<date>\\");
    pressOk(dialog);
    EXPECT_EQ(textOf(run.control(1000)), L"C:\\Typed\\");

    // Typing and then restoring the old text still counts as an edit.
    dialog = openOptions(run);
    ASSERT_TRUE(dialog);
    typeText(GetDlgItem(dialog, kFolder), L"C:\\Kept\\<date>\\x");
    typeText(GetDlgItem(dialog, kFolder), L"C:\\Kept\\<date>\\");
    pressOk(dialog);
    EXPECT_EQ(textOf(run.control(1000)), L"C:\\Kept\\" + todayText() + L"\\");

    dialog = openOptions(run);
    ASSERT_TRUE(dialog);
    typeText(GetDlgItem(dialog, kFolder), L"%SystemDrive%\\Nightly\\<DATE>\\");
    pressOk(dialog);
    EXPECT_EQ(run.setting(L"DefBackupDir"), L"%SystemDrive%\\Nightly\\<DATE>\\");
    EXPECT_EQ(textOf(run.control(1000)), L"C:\\Nightly\\" + todayText() + L"\\");
    EXPECT_TRUE(run.cancelAndWait());
}

TEST(AdvancedOptions, OnACdTheDialogOnlyShowsTheValues) {
    wchar_t name[64];
    wsprintfW(name, L"D:\\bgui-readonly-%lu\\", GetCurrentProcessId());
    removeTree(name);
    {
        TolmenRun run(L"gui-options-cd", name);
        ASSERT_EQ(GetDriveTypeW(L"D:\\"), static_cast<UINT>(DRIVE_CDROM));
        run.writeSetting(L"LimitBackup", L"1");
        run.writeSetting(L"LimitBackupDays", L"9");
        ASSERT_TRUE(run.start());
        HWND dialog = openOptions(run);
        ASSERT_TRUE(dialog);
        for (int id : {IDOK, kFolder, kDays, kCount, kOverwrite, kByDays, kByCount, kKeepAll})
            EXPECT_FALSE(isEnabled(GetDlgItem(dialog, id))) << "control " << id;
        EXPECT_TRUE(isEnabled(GetDlgItem(dialog, IDCANCEL)));
        EXPECT_TRUE(isChecked(GetDlgItem(dialog, kByDays)));
        EXPECT_EQ(textOf(GetDlgItem(dialog, kDays)), L"9");
        EXPECT_TRUE(screenshot(dialog, L"options-read-only"));
        click(GetDlgItem(dialog, IDCANCEL));
        EXPECT_TRUE(closes(dialog));
        EXPECT_TRUE(run.cancelAndWait());
    }
    removeTree(name);
}
