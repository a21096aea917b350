// Whole interactive backups through the shipped program: Start on the progress page,
// the merged log, the outcome and the files left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>

#include "errors.h"
#include "tolmen_run.h"

using namespace gui_driver;
using namespace testing_support;

namespace {

constexpr int kFolder = 1000, kMainMessage = 1006, kStatic = 1007, kLog = 1018;

struct SheetChildSearch {
    const wchar_t* cls;
    HWND found;
};

// The status link is the page's SysLink control (it has no id of its own).
HWND statusLink(HWND wizard) {
    SheetChildSearch search{L"SysLink", nullptr};
    EnumChildWindows(
        wizard,
        [](HWND window, LPARAM lParam) WINAPI -> BOOL {
            auto* s = reinterpret_cast<SheetChildSearch*>(lParam);
            wchar_t cls[32] = {};
            GetClassNameW(window, cls, 32);
            if (lstrcmpiW(cls, s->cls) != 0 || !IsWindowVisible(window)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Goes from the welcome page to the progress page with the folder, answering the
// create question when it comes.
bool toProgressPage(TolmenRun& run, const std::wstring& folder) {
    typeText(run.control(kFolder), folder);
    run.press(PSBTN_NEXT);
    return waitUntil([&] {
        if (HWND box = findWindow(run.pid(), kCaption)) answerMessageBox(box, IDYES);
        return isVisible(findControl(run.wizard(), kMainMessage));
    });
}

std::wstring mainMessage(TolmenRun& run) { return textOf(findControl(run.wizard(), kMainMessage)); }

bool ended(TolmenRun& run, DWORD timeoutMs = 120000) {
    return waitUntil(
        [&] {
            std::wstring text = mainMessage(run);
            return text == L"注册表备份操作结束。" || text == L"注册表备份遇到错误。";
        },
        timeoutMs);
}

}  // namespace

TEST(BackupRun, AnInteractiveBackupEndsWithTheFolderLink) {
    TolmenRun run(L"gui-run-ok");
    ASSERT_TRUE(run.start());
    const std::wstring folder = run.folder() + L"backup\\";
    ASSERT_TRUE(toProgressPage(run, folder));
    HWND start = findControl(run.wizard(), kFinishButton);
    ASSERT_TRUE(waitUntil([&] { return isEnabled(start); }));
    click(start);
    ASSERT_TRUE(ended(run)) << toUtf8(mainMessage(run));
    EXPECT_EQ(mainMessage(run), L"注册表备份操作结束。");

    HWND log = findControl(run.wizard(), kLog);
    ASSERT_TRUE(waitUntil([&] { return listCount(log) > 0 && listItemText(log, listCount(log) - 1) == L"处理 成功"; }));
    // Each announcement "保存 (n / m) name ..." was completed in place by its outcome, so
    // there is exactly one item per hive.
    int saves = 0, total = 0;
    for (const std::wstring& line : listItems(log)) {
        if (line.rfind(L"保存 (", 0) != 0) continue;
        ++saves;
        swscanf(line.c_str() + 4, L"%*d / %d", &total);
        auto endsWith = [&](const std::wstring& tail) {
            return line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
        };
        const bool completed = endsWith(L"... 成功") || endsWith(L"... 已复制");
        EXPECT_TRUE(completed) << toUtf8(line);
    }
    EXPECT_GT(saves, 0);
    EXPECT_EQ(saves, total);

    HWND link = statusLink(run.wizard());
    ASSERT_TRUE(link);
    const std::wstring status = textOf(link);
    EXPECT_EQ(status.rfind(L"要在以后恢复注册表，请从备份文件夹运行 SURVIN.EXE 程序\n", 0), 0u) << toUtf8(status);
    EXPECT_NE(status.find(folder), std::wstring::npos) << toUtf8(status);
    EXPECT_FALSE(isVisible(findControl(run.wizard(), kStatic)));
    EXPECT_FALSE(isEnabled(start)) << "there is no second backup in one wizard";
    screenshot(run.wizard(), L"wizard-progress-done");

    EXPECT_TRUE(fileExists(folder + L"SURVIN.INI"));
    EXPECT_TRUE(fileExists(folder + L"SURVIN.EXE"));

    // A click on the folder (the link's second line) opens it in the file manager.
    PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, 22));
    PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(12, 22));
    HWND manager = nullptr;
    EXPECT_TRUE(waitUntil(
        [&] {
            for (HWND w = GetTopWindow(nullptr); w && !manager; w = GetWindow(w, GW_HWNDNEXT)) {
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid != run.pid() && pid != GetCurrentProcessId() && IsWindowVisible(w)) {
                    if (textOf(w).find(L"backup") != std::wstring::npos) manager = w;
                }
            }
            return manager != nullptr;
        },
        20000));
    if (manager) {
        PostMessageW(manager, WM_CLOSE, 0, 0);
        EXPECT_TRUE(waitUntil([&] { return !IsWindow(manager); }));
    }
    EXPECT_TRUE(run.cancelAndWait()) << "Cancel closes the wizard after the end";
}

TEST(BackupRun, AFolderHoldingABackupEndsInTheErrorState) {
    TolmenRun run(L"gui-run-exists");
    const std::wstring folder = run.folder() + L"taken\\";
    ASSERT_TRUE(makeDirs(folder));
    ASSERT_TRUE(writeBytes(folder + L"SURVIN.INI", "[INFO]\r\n"));
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(toProgressPage(run, folder));
    HWND start = findControl(run.wizard(), kFinishButton);
    ASSERT_TRUE(waitUntil([&] { return isEnabled(start); }));
    click(start);
    ASSERT_TRUE(ended(run));
    EXPECT_EQ(mainMessage(run), L"注册表备份遇到错误。");
    HWND link = statusLink(run.wizard());
    ASSERT_TRUE(link);
    EXPECT_TRUE(waitUntil([&] { return textOf(link) == L"错误: " + errorMessage(err::kHiveExists); }))
        << toUtf8(textOf(link));
    screenshot(run.wizard(), L"wizard-progress-error");
    EXPECT_EQ(readBytes(folder + L"SURVIN.INI"), "[INFO]\r\n") << "the old backup is left alone";
    EXPECT_TRUE(run.cancelAndWait());
}
