// Shared pieces of the restore wizard's GUI tests.
#pragma once
#include <windows.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <string>

#include "harness.h"
#include "gui_driver.h"
#include "test_support.h"

namespace rgui {

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

// The running system's edition line as the restore program shows it.
std::wstring runningEdition();

}  // namespace rgui
