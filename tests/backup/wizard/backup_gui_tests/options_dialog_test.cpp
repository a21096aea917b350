// The advanced options dialog, opened from the welcome page of the shipped program.
#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>

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

// The retention modes in the order of their radio buttons, which is also the order the
// down arrow walks them.
struct Mode {
    int radio;
    const wchar_t* stored;  // LimitBackup
};
constexpr Mode kModes[] = {{kKeepAll, L"0"}, {kByDays, L"1"}, {kByCount, L"2"}};

// Which radio buttons are checked, as "1012 1014" for a report.
std::string checkedRadios(HWND dialog) {
    std::string checked;
    for (const Mode& mode : kModes)
        if (isChecked(GetDlgItem(dialog, mode.radio))) checked += (checked.empty() ? "" : " ") + std::to_string(mode.radio);
    return checked;
}

enum class Input { Mouse, Keys };

// Every change of mode in both directions, each saved with OK and shown again by the next
// opening: keep all -> by days -> by count -> keep all -> by count -> by days -> keep all.
void walkEveryModeChange(Input input, const wchar_t* tag) {
    TolmenRun run(tag);
    ASSERT_TRUE(run.start());
    const int chain[] = {0, 1, 2, 0, 2, 1, 0};
    for (size_t step = 0; step + 1 < std::size(chain); ++step) {
        const Mode& from = kModes[chain[step]];
        const Mode& to = kModes[chain[step + 1]];
        SCOPED_TRACE("from " + std::to_string(from.radio) + " to " + std::to_string(to.radio));
        HWND dialog = openOptions(run);
        ASSERT_TRUE(dialog);
        ASSERT_EQ(checkedRadios(dialog), std::to_string(from.radio)) << "the stored mode is not the one shown";

        if (input == Input::Mouse) {
            mouseClick(GetDlgItem(dialog, to.radio));
        } else {
            // Into the group at the checked button, then one arrow key to the next mode.
            HWND current = GetDlgItem(dialog, from.radio);
            mouseClick(current);
            ASSERT_TRUE(waitUntil([&] { return keyboardFocus(dialog) == current; }));
            const bool forward = chain[step + 1] == (chain[step] + 1) % 3;
            ASSERT_TRUE(pressKey(dialog, forward ? VK_DOWN : VK_UP));
            EXPECT_TRUE(waitUntil([&] { return keyboardFocus(dialog) == GetDlgItem(dialog, to.radio); }))
                << "the arrow key did not move to the next mode";
        }
        EXPECT_TRUE(waitUntil([&] { return checkedRadios(dialog) == std::to_string(to.radio); }, 3000))
            << "checked: " << checkedRadios(dialog);
        // Both number fields stay editable whichever mode is chosen.
        EXPECT_TRUE(isEnabled(GetDlgItem(dialog, kDays)));
        EXPECT_TRUE(isEnabled(GetDlgItem(dialog, kCount)));
        pressOk(dialog);
        EXPECT_EQ(run.setting(L"LimitBackup"), to.stored);
        EXPECT_EQ(run.setting(L"LimitBackupDays"), L"30");
        EXPECT_EQ(run.setting(L"LimitBackupCount"), L"10");
        if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_TRUE(run.cancelAndWait());
}

}  // namespace

TEST(AdvancedOptions, EveryModeChangeByMouseIsSavedAndShownAgain) {
    walkEveryModeChange(Input::Mouse, L"gui-options-mouse");
}

TEST(AdvancedOptions, EveryModeChangeByArrowKeysIsSavedAndShownAgain) {
    walkEveryModeChange(Input::Keys, L"gui-options-keys");
}

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
    screenshot(dialog, L"options");

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
        screenshot(dialog, L"options-read-only");
        click(GetDlgItem(dialog, IDCANCEL));
        EXPECT_TRUE(closes(dialog));
        EXPECT_TRUE(run.cancelAndWait());
    }
    removeTree(name);
}
