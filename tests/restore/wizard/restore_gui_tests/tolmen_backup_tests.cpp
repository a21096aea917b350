// A backup folder made by the shipped backup program, restored through the wizard.
#include <gtest/gtest.h>

#include "common.h"

using namespace rgui;
using namespace gui_driver;

namespace {

// Runs a private copy of Tolmen.exe (its settings stay in the scratch folder) for one
// unattended backup into folder.
bool makeBackupWithTolmen(const BackupFolder& scratch, const std::string& folder) {
    const std::wstring program = scratch.dir / L"program\\";
    if (!testing_support::makeDirs(program) ||
        !CopyFileW(testing_support::distFile(L"Tolmen.exe").c_str(), (program + L"Tolmen.exe").c_str(), FALSE))
        return false;
    DWORD exitCode = 1;
    const std::wstring commandLine = L"\"" + program + L"Tolmen.exe\" \"" + wide(folder) + L"\" /silent";
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (testing_support::runProgram(commandLine, 120000, &exitCode, program.c_str()) &&
            testing_support::fileExists(wide(folder + "SURVIN.INI")))
            return true;
        Sleep(2000);  // another test may hold the backup program's single instance
    }
    return false;
}

}  // namespace

TEST(TolmenBackup, RestoreProgramInTheFolderWalksThroughTheRestore) {
    BackupFolder scratch(L"rgui-tolmen");
    const std::string folder = scratch.path + "backup\\";
    ASSERT_TRUE(makeBackupWithTolmen(scratch, folder));
    ASSERT_TRUE(testing_support::fileExists(wide(folder + "SURVIN.EXE")));

    // The restore program the backup placed, as a user starts it.
    {
        const std::wstring exe = wide(folder) + L"SURVIN.EXE";
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   wide(folder).c_str(), &si, &pi));
        CloseHandle(pi.hThread);
        HWND sheet = waitForWindow(pi.dwProcessId, kSheetTitle);
        EXPECT_NE(sheet, nullptr);
        if (sheet) {
            HWND welcome = currentPage(sheet);
            const std::wstring restoreInfo =
                L"恢复来源      \t:    " + runningEdition() +
                L"\n恢复模式    \t:    自动检测;  (相同 Windows) 将使用 Windows API\n恢复到根目录   \t:    " +
                wide(windowsRoot());
            EXPECT_EQ(waitForText(GetDlgItem(welcome, 1007), restoreInfo), restoreInfo);
            EXPECT_NE(textOf(GetDlgItem(welcome, 1006)).find(L"\n备份目录  \t:    " + wide(folder) + L"\n"),
                      std::wstring::npos);
            HWND other = waitForOtherDialog(pi.dwProcessId, {sheet}, 1000);
            EXPECT_EQ(other, nullptr) << "no detection warning: " << testing_support::toUtf8(messageBoxText(other));
            EXPECT_TRUE(waitForEnabled(GetDlgItem(sheet, kNextButton), true));
            pressSheetButton(sheet, PSBTN_CANCEL);
        }
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 15000), WAIT_OBJECT_0);
        if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hProcess);
    }

    // The same folder restored with the replacement recorded: only the current user's
    // hives, so that nothing is written beside the machine hives of the test prefix.
    ScriptedActions actions;
    InProcessWizard wizard(folder, &actions);
    HWND sheet = waitForWindow(wizard.processId(), kSheetTitle);
    ASSERT_NE(sheet, nullptr);
    clickLink(GetDlgItem(currentPage(sheet), 1010));
    HWND options = waitForWindow(wizard.processId(), L"高级选项");
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(options, 1002)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(options, 1003)));
    SendDlgItemMessageW(options, 1002, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageW(options, 1004, BM_SETCHECK, BST_UNCHECKED, 0);
    click(GetDlgItem(options, IDOK));
    ASSERT_TRUE(waitForWindowGone(wizard.processId(), L"高级选项"));
    ASSERT_EQ(wizard.session.selectedCategories, 2u);

    HWND welcome = currentPage(sheet);
    ASSERT_TRUE(waitForEnabled(GetDlgItem(sheet, kNextButton), true));
    pressSheetButton(sheet, PSBTN_NEXT);
    HWND progress = waitForPageChange(sheet, welcome);
    ASSERT_NE(progress, nullptr);
    pressSheetButton(sheet, PSBTN_FINISH);
    HWND note = waitForWindow(wizard.processId(), L"注册表恢复完成。", 60000);
    ASSERT_NE(note, nullptr);
    PostMessageW(note, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(waitForText(GetDlgItem(progress, 1006), L"注册表恢复操作完成。"), L"注册表恢复操作完成。")
        << testing_support::toUtf8(textOf(GetDlgItem(progress, 1007)));
    for (const std::wstring& line : listItems(GetDlgItem(progress, 1021)))
        EXPECT_EQ(line.find(L"失败"), std::wstring::npos) << testing_support::toUtf8(line);
    EXPECT_EQ(actions.restarts, 1);

    ASSERT_FALSE(actions.replacements.empty());
    for (const auto& replacement : actions.replacements) {
        EXPECT_EQ(replacement.root, HKEY_USERS) << replacement.subKey;
        EXPECT_EQ(replacement.subKey.rfind("S-1-5-21-", 0), 0u) << replacement.subKey;
        EXPECT_TRUE(testing_support::fileExists(wide(replacement.newFile))) << replacement.newFile;
        DeleteFileA(replacement.newFile.c_str());
    }
    EXPECT_EQ(actions.replacements.size(), wizard.session.plan.size());
    pressSheetButton(sheet, PSBTN_CANCEL);
    EXPECT_TRUE(wizard.waitForEnd(10000));
}
