// Shared pieces of the restore wizard's GUI tests.
#pragma once
#include <windows.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <string>

#include "harness.h"
#include "rgui_driver.h"
#include "test_support.h"

namespace rgui {

// Buttons of a wizard sheet.
constexpr int kBackButton = 0x3023;
constexpr int kNextButton = 0x3024;
constexpr int kFinishButton = 0x3025;

// A scratch backup folder on C: (ANSI path with a trailing backslash).
struct BackupFolder {
    testing_support::ScratchDir dir;
    std::string path;
    explicit BackupFolder(const wchar_t* tag) : dir(tag), path(ansi(dir.path())) {}
};

// A folder tree on the second fixed drive G:, removed afterwards.
struct OfflineTree {
    std::string root;  // e.g. G:\RGUIOLD1234 (no trailing backslash)
    explicit OfflineTree(const char* name) {
        char text[64];
        wsprintfA(text, "G:\\%s%lu", name, GetCurrentProcessId());
        root = text;
        testing_support::removeTree(wide(root));
        makeFolders(root + "\\");
    }
    ~OfflineTree() { testing_support::removeTree(wide(root)); }
};

inline void pressSheetButton(HWND sheet, int button) {
    PostMessageW(sheet, PSM_PRESSBUTTON, button, 0);
}

// Waits until the sheet shows another page than page.
inline HWND waitForPageChange(HWND sheet, HWND page) {
    HWND now = nullptr;
    rgui_driver::waitUntil([&] {
        now = rgui_driver::currentPage(sheet);
        return now && now != page;
    }, 10000);
    return now;
}

inline void screenshot(HWND wnd, const wchar_t* name) {
    EXPECT_TRUE(rgui_driver::saveScreenshot(wnd, rgui_driver::screenshotPath(name))) << "screenshot " << ansi(name);
}

// The running system's edition line as the restore program shows it.
std::wstring runningEdition();

}  // namespace rgui
