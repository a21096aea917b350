// The welcome page of the shipped program, driven as a user would.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "tolmen_run.h"

using namespace gui_driver;
using namespace testing_support;

namespace {

constexpr int kFolder = 1000, kSystem = 1002, kUser = 1003, kOthers = 1004, kMainMessage = 1006;

void setBoxes(TolmenRun& run, bool system, bool user, bool others) {
    for (auto [id, on] : {std::pair{kSystem, system}, std::pair{kUser, user}, std::pair{kOthers, others}})
        SendMessageW(run.control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Presses Next and returns the message box that answers it (null when none came).
HWND nextExpectingBox(TolmenRun& run) {
    run.press(PSBTN_NEXT);
    return run.window(kCaption, 5000);
}

bool onProgressPage(TolmenRun& run) { return isVisible(findControl(run.wizard(), kMainMessage)); }

}  // namespace

TEST(WelcomePage, WithoutSettingsShowsTheDefaultFolderAndTheRecommendedHives) {
    TolmenRun run(L"gui-defaults");
    ASSERT_TRUE(run.start());
    EXPECT_EQ(textOf(run.control(kFolder)), defaultFolderShown());
    EXPECT_TRUE(isChecked(run.control(kSystem)));
    EXPECT_TRUE(isChecked(run.control(kUser)));
    EXPECT_FALSE(isChecked(run.control(kOthers)));
    EXPECT_EQ(textOf(run.control(1010)), L"<a>高级选项</a>");
    EXPECT_EQ(textOf(run.control(1012)), L"<a>恢复备份</a>");
    EXPECT_EQ(textOf(run.control(1011)), L"<a>在线帮助...</a>");
    EXPECT_TRUE(waitUntil([&] { return isEnabled(findControl(run.wizard(), kNextButton)); }));
    EXPECT_FALSE(isEnabled(findControl(run.wizard(), kBackButton)));

    // Without an owner the sheet sits in the middle of the work area.
    RECT sheet, area;
    GetWindowRect(run.wizard(), &sheet);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_NEAR((sheet.left + sheet.right) / 2, (area.left + area.right) / 2, 2);
    EXPECT_NEAR((sheet.top + sheet.bottom) / 2, (area.top + area.bottom) / 2, 2);

    screenshot(run.wizard(), L"wizard-welcome");
    EXPECT_TRUE(run.cancelAndWait());
    EXPECT_FALSE(fileExists(run.iniPath())) << "looking at the page writes nothing";
}

TEST(WelcomePage, DefHivesTicksOnlyItsOwnBoxes) {
    {
        TolmenRun run(L"gui-defhives4");
        run.writeSetting(L"DefHives", L"4");
        ASSERT_TRUE(run.start());
        EXPECT_FALSE(isChecked(run.control(kSystem)));
        EXPECT_FALSE(isChecked(run.control(kUser)));
        EXPECT_TRUE(isChecked(run.control(kOthers)));
        EXPECT_TRUE(run.cancelAndWait());
    }
    {
        TolmenRun run(L"gui-defhives13");
        run.writeSetting(L"DefHives", L"13");  // 8 is no hive group
        ASSERT_TRUE(run.start());
        EXPECT_TRUE(isChecked(run.control(kSystem)));
        EXPECT_FALSE(isChecked(run.control(kUser)));
        EXPECT_TRUE(isChecked(run.control(kOthers)));
        EXPECT_TRUE(run.cancelAndWait());
    }
}

TEST(WelcomePage, NextWithoutAHiveStaysAndStoresNothing) {
    TolmenRun run(L"gui-nohive");
    ASSERT_TRUE(run.start());
    setBoxes(run, false, false, false);
    HWND box = nextExpectingBox(run);
    ASSERT_TRUE(box);
    EXPECT_EQ(messageBoxText(box), L"请选择至少一个配置单元来备份");
    screenshot(box, L"message-no-hive");
    EXPECT_TRUE(answerMessageBox(box, IDOK));
    EXPECT_FALSE(onProgressPage(run));
    EXPECT_EQ(run.setting(L"DefHives"), L"<missing>");
    EXPECT_TRUE(run.cancelAndWait());
}

TEST(WelcomePage, EmptyFolderRestoresTheDefault) {
    TolmenRun run(L"gui-empty");
    ASSERT_TRUE(run.start());
    typeText(run.control(kFolder), L"  \t ");
    HWND box = nextExpectingBox(run);
    ASSERT_TRUE(box);
    EXPECT_EQ(messageBoxText(box), L"无效保存位置");
    EXPECT_TRUE(answerMessageBox(box, IDOK));
    EXPECT_EQ(textOf(run.control(kFolder)), defaultFolderShown());
    EXPECT_FALSE(onProgressPage(run));
    EXPECT_EQ(run.setting(L"DefHives"), L"<missing>") << "the folder is checked before the hives";
    EXPECT_TRUE(run.cancelAndWait());
}

TEST(WelcomePage, UnresolvableFolderIsRefusedButTheHivesAreStored) {
    TolmenRun run(L"gui-unresolvable");
    ASSERT_TRUE(run.start());
    setBoxes(run, true, false, true);
    // Twelve references that expand to far more than a path may hold.
    std::wstring tooLong;
    for (int i = 0; i < 12; ++i) tooLong += L"%CommonProgramFiles%";
    typeText(run.control(kFolder), tooLong);
    HWND box = nextExpectingBox(run);
    ASSERT_TRUE(box);
    EXPECT_EQ(messageBoxText(box), L"无效保存位置");
    EXPECT_TRUE(answerMessageBox(box, IDOK));
    EXPECT_EQ(textOf(run.control(kFolder)), tooLong) << "only an empty folder brings the default back";
    EXPECT_FALSE(onProgressPage(run));
    EXPECT_EQ(run.setting(L"DefHives"), L"5");
    EXPECT_TRUE(run.cancelAndWait());
}

TEST(WelcomePage, MissingFolderIsTrimmedAndNeedsTheUsersYes) {
    TolmenRun run(L"gui-missing");
    ASSERT_TRUE(run.start());
    const std::wstring target = run.folder() + L"new backups\\today";
    typeText(run.control(kFolder), L"  " + target + L"  ");

    HWND box = nextExpectingBox(run);
    ASSERT_TRUE(box);
    EXPECT_EQ(messageBoxText(box), L"保存注册表的文件夹不存在: \n" + target + L"\\\n\n要创建它吗？");
    EXPECT_EQ(textOf(run.control(kFolder)), target + L"\\") << "the edit shows the resolved form first";
    EXPECT_TRUE(IsWindow(GetDlgItem(box, IDNO)));
    screenshot(box, L"message-create-folder");
    EXPECT_TRUE(answerMessageBox(box, IDNO));
    EXPECT_FALSE(onProgressPage(run));
    EXPECT_EQ(run.setting(L"DefHives"), L"3");

    box = nextExpectingBox(run);
    ASSERT_TRUE(box);
    EXPECT_TRUE(answerMessageBox(box, IDYES));
    ASSERT_TRUE(waitUntil([&] { return onProgressPage(run); }));
    EXPECT_EQ(textOf(findControl(run.wizard(), kMainMessage)), L"单击 [开始] 保存注册表到文件夹:\n" + target + L"\\");
    EXPECT_EQ(textOf(findControl(run.wizard(), kFinishButton)), L"开始");
    EXPECT_FALSE(dirExists(target)) << "the page does not create the folder";
    screenshot(run.wizard(), L"wizard-progress-ready");

    // Back shows the welcome page as it was left; coming forward shows the new folder.
    run.press(PSBTN_BACK);
    ASSERT_TRUE(waitUntil([&] { return isVisible(findControl(run.wizard(), kFolder)); }));
    EXPECT_EQ(textOf(run.control(kFolder)), target + L"\\");
    const std::wstring other = run.folder();
    typeText(run.control(kFolder), other);
    run.press(PSBTN_NEXT);
    ASSERT_TRUE(waitUntil([&] { return onProgressPage(run); }));
    EXPECT_EQ(textOf(findControl(run.wizard(), kMainMessage)), L"单击 [开始] 保存注册表到文件夹:\n" + other);
    EXPECT_EQ(listCount(findControl(run.wizard(), 1018)), 0);
    EXPECT_TRUE(run.cancelAndWait());
}

namespace {

struct TextSearch {
    const wchar_t* text;
    bool found;
};

bool holdsText(HWND window, const wchar_t* text) {
    TextSearch search{text, false};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM lParam) WINAPI -> BOOL {
            auto* s = reinterpret_cast<TextSearch*>(lParam);
            if (textOf(child) == s->text) s->found = true;
            return !s->found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The shell's folder browser of the program: the top-level window that shows our title.
HWND folderBrowser(TolmenRun& run, HWND wizard) {
    HWND found = nullptr;
    waitUntil([&] {
        for (HWND w = GetTopWindow(nullptr); w && !found; w = GetWindow(w, GW_HWNDNEXT)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == run.pid() && w != wizard && IsWindowVisible(w) && holdsText(w, L"选择备份位置:")) found = w;
        }
        return found != nullptr;
    });
    return found;
}

}  // namespace

TEST(WelcomePage, BrowsePutsThePickedFolderWithoutTrailingBackslash) {
    TolmenRun run(L"gui-browse");
    ASSERT_TRUE(run.start());
    const std::wstring shown = textOf(run.control(kFolder));

    click(run.control(1001));
    HWND browser = folderBrowser(run, run.wizard());
    ASSERT_TRUE(browser);
    screenshot(browser, L"folder-browser");
    click(GetDlgItem(browser, IDCANCEL));
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(browser); }));
    EXPECT_EQ(textOf(run.control(kFolder)), shown) << "cancelling changes nothing";

    const std::wstring picked = run.folder() + L"picked";
    ASSERT_TRUE(makeDirs(picked));
    click(run.control(1001));
    browser = folderBrowser(run, run.wizard());
    ASSERT_TRUE(browser);
    // Wine's browser ignores a selection set from outside; whatever folder it offers is
    // what the user picks here.
    sendWithText(browser, BFFM_SETSELECTIONW, TRUE, picked);
    click(GetDlgItem(browser, IDOK));
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(browser); }));
    const std::wstring chosen = textOf(run.control(kFolder));
    ASSERT_NE(chosen, shown);
    ASSERT_GT(chosen.size(), 3u);
    EXPECT_NE(chosen.back(), L'\\') << toUtf8(chosen);
    EXPECT_TRUE(dirExists(chosen)) << toUtf8(chosen);

    // Next adds the backslash.
    run.press(PSBTN_NEXT);
    ASSERT_TRUE(waitUntil([&] { return onProgressPage(run); }));
    EXPECT_EQ(textOf(run.control(kFolder)), chosen + L"\\");
    EXPECT_TRUE(run.cancelAndWait());
}
