// A backup folder made by the shipped backup program, restored by the restore program it
// placed there, as a user does: under Windows 7 and under Windows 10, as the test platform
// reports them to both programs.
#include <gtest/gtest.h>

#include "common.h"
#include "edition.h"
#include "wine_version.h"

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

// The SURVIN.EXE of a backup folder, started there as a user starts it; ended when the
// object goes (a restart is never let through).
class StartedSurvin {
public:
    explicit StartedSurvin(const std::string& folder) {
        const std::wstring exe = wide(folder) + L"SURVIN.EXE";
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, wide(folder).c_str(),
                            &si, &pi))
            return;
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        pid = pi.dwProcessId;
    }
    ~StartedSurvin() {
        if (!process_) return;
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 10000);
        CloseHandle(process_);
    }
    bool endsWithin(DWORD ms) const { return process_ && WaitForSingleObject(process_, ms) == WAIT_OBJECT_0; }
    DWORD pid = 0;

private:
    HANDLE process_ = nullptr;
};

std::string iniText(const std::string& ini, const char* section, const char* key) {
    char buffer[1024] = "";
    GetPrivateProfileStringA(section, key, "", buffer, sizeof(buffer), ini.c_str());
    return buffer;
}

const wchar_t kDetectionWarning[] = L"无法正常自动检测。\n\n请验证“模式”和“恢复到根目录”选项。";

}  // namespace

TEST(TolmenBackup, SameWindowsIsRestoredByHiveReplacementUnderWindows7And10) {
    const struct {
        const wchar_t* version;
        const char* winVer;
    } systems[] = {{L"win7", "6.1"}, {L"win10", "10.0"}};
    for (const auto& system : systems) {
        SCOPED_TRACE(testing_support::toUtf8(system.version));
        // Wine's own Version value for each program: both are told the same version.
        testing_support::WineVersionFor tolmenSees(L"Tolmen.exe", system.version);
        testing_support::WineVersionFor survinSees(L"SURVIN.EXE", system.version);
        ASSERT_TRUE(tolmenSees.ok() && survinSees.ok());

        BackupFolder scratch(L"rgui-tolmen");
        const std::string folder = scratch.path + "backup\\";
        ASSERT_TRUE(makeBackupWithTolmen(scratch, folder));
        const std::string ini = folder + "SURVIN.INI";
        EXPECT_EQ(system.winVer, iniText(ini, "INFO", "WinVer"));
        const std::wstring osString = wide(iniText(ini, "INFO", "OSString"));

        {
            StartedSurvin program(folder);
            ASSERT_NE(program.pid, 0u);
            HWND sheet = waitForWindow(program.pid, kSheetTitle);
            ASSERT_NE(sheet, nullptr);
            HWND welcome = currentPage(sheet);
            // The running system's edition is the one the backup recorded: the same Windows.
            const std::wstring restoreInfo = L"恢复来源      \t:    " + osString +
                                             L"\n恢复模式    \t:    自动检测;  (相同 Windows) 将使用 Windows API\n"
                                             L"恢复到根目录   \t:    " +
                                             wide(windowsRoot());
            EXPECT_EQ(waitForText(GetDlgItem(welcome, 1007), restoreInfo), restoreInfo);
            HWND other = waitForOtherDialog(program.pid, {sheet}, 1000);
            ASSERT_EQ(other, nullptr) << "no detection warning: " << testing_support::toUtf8(messageBoxText(other));

            // Only the current user's hives: nothing is written beside the machine hives.
            clickLink(GetDlgItem(welcome, 1010));
            HWND options = waitForWindow(program.pid, L"高级选项");
            ASSERT_NE(options, nullptr);
            SendDlgItemMessageW(options, 1002, BM_SETCHECK, BST_UNCHECKED, 0);
            SendDlgItemMessageW(options, 1004, BM_SETCHECK, BST_UNCHECKED, 0);
            click(GetDlgItem(options, IDOK));
            ASSERT_TRUE(waitForWindowGone(program.pid, L"高级选项"));
            ASSERT_TRUE(waitForEnabled(GetDlgItem(sheet, kNextButton), true));
            pressSheetButton(sheet, PSBTN_NEXT);
            HWND progress = waitForPageChange(sheet, welcome);
            ASSERT_NE(progress, nullptr);
            click(GetDlgItem(progress, 1009));
            pressSheetButton(sheet, PSBTN_FINISH);

            // The hives are handed to the registry's replacement: the restart note comes (the
            // program is ended there, so the restart itself never happens).
            HWND note = waitForWindow(program.pid, L"注册表恢复完成。", 60000);
            ASSERT_NE(note, nullptr);
            EXPECT_EQ(messageBoxText(note), L"Windows 必须重新启动才能完成恢复操作。单击“确定”，Windows 将自动重新启动。");
            HWND list = GetDlgItem(progress, 1021);
            EXPECT_TRUE(waitUntil([&] { return !listItems(list).empty() && listItems(list).back() == L"处理  "; }));
            int replaced = 0;
            for (int i = 0; i < 100; ++i) {
                char section[16];
                wsprintfA(section, "DATA%d", i);
                if (iniText(ini, section, "Category").empty()) break;
                if (iniText(ini, section, "Category") != "2") continue;
                char hive[MAX_PATH] = "";
                ASSERT_GT(GetLongPathNameA(iniText(ini, section, "Hive").c_str(), hive, MAX_PATH), 0u);
                std::string temp = hive;
                temp = temp.substr(0, temp.rfind('.')) + ".TMP";
                EXPECT_EQ(fileBytes(temp), fileBytes(folder + iniText(ini, section, "Saved"))) << temp;
                DeleteFileA(temp.c_str());
                ++replaced;
            }
            EXPECT_GT(replaced, 0);
            const std::vector<std::wstring> lines = listItems(list);
            EXPECT_EQ(lines.size(), static_cast<size_t>(replaced) + 1);
            const std::wstring succeeded = L" ... 成功";
            for (size_t i = 0; i + 1 < lines.size(); ++i) {
                EXPECT_TRUE(lines[i].size() > succeeded.size() &&
                            lines[i].compare(lines[i].size() - succeeded.size(), succeeded.size(), succeeded) == 0)
                    << testing_support::toUtf8(lines[i]);
            }
        }  // the restore program ends here, at its restart note

        if (std::wstring(system.version) != L"win10") continue;
        // Windows 7 upgraded in place to this Windows 10 is another Windows: its backup is
        // never replaced into the running one.
        const std::string upgraded = scratch.path + "upgraded\\";
        ASSERT_TRUE(makeFolders(upgraded));
        ASSERT_TRUE(CopyFileA(ini.c_str(), (upgraded + "SURVIN.INI").c_str(), FALSE));
        OsInfoRecord record = {};
        ASSERT_TRUE(GetPrivateProfileStructA("INFO", "OSINFO", &record, sizeof(record), ini.c_str()));
        record.majorVersion = 6;
        record.minorVersion = 1;
        record.buildNumber = 7601;
        std::string edition;
        ASSERT_TRUE(identifyWindowsA(edition, record, IdentifyMode::FromRecord));
        const std::string upgradedIni = upgraded + "SURVIN.INI";
        ASSERT_TRUE(WritePrivateProfileStringA("INFO", "WinVer", "6.1", upgradedIni.c_str()));
        ASSERT_TRUE(WritePrivateProfileStringA("INFO", "OSString", edition.c_str(), upgradedIni.c_str()));
        ASSERT_TRUE(WritePrivateProfileStructA("INFO", "OSINFO", &record, sizeof(record), upgradedIni.c_str()));
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, upgradedIni.c_str());
        ASSERT_TRUE(CopyFileW(testing_support::distFile(L"Survin.exe").c_str(), wide(upgraded + "SURVIN.EXE").c_str(),
                              FALSE));
        StartedSurvin older(upgraded);
        // The welcome page warns while it comes up: copying over the running Windows is no
        // restore.
        HWND warning = waitForWindow(older.pid, L"自动检测失败");
        ASSERT_NE(warning, nullptr);
        EXPECT_EQ(messageBoxText(warning), kDetectionWarning);
        answerMessageBox(warning, IDOK);
        HWND olderSheet = waitForWindow(older.pid, kSheetTitle);
        ASSERT_NE(olderSheet, nullptr);
        EXPECT_NE(textOf(GetDlgItem(currentPage(olderSheet), 1007)).find(L"(不同 Windows) 将复制文件"), std::wstring::npos);
    }
}

// A machine's backup on a file server: its SURVIN.EXE, started by the network path, reads
// the backup in that folder and offers to restore it into the Windows that made it.
TEST(TolmenBackup, ItsRestoreProgramStartedFromTheFileServerShowsTheBackupThere) {
    char computer[MAX_COMPUTERNAME_LENGTH + 64] = "";
    ASSERT_GT(GetEnvironmentVariableA("COMPUTERNAME", computer, sizeof(computer)), 0u);
    BackupFolder scratch(L"rgui-share");
    const std::string root = "\\\\fileserver\\regbackup\\rgui-" + std::to_string(GetCurrentProcessId()) + "\\";
    testing_support::removeTree(wide(root));
    const std::string folder = root + computer + "\\2026-12-08\\";
    ASSERT_TRUE(makeBackupWithTolmen(scratch, folder));
    const std::string ini = folder + "SURVIN.INI";
    const std::wstring osString = wide(iniText(ini, "INFO", "OSString"));

    {
        StartedSurvin program(folder);
        ASSERT_NE(program.pid, 0u);
        HWND sheet = waitForWindow(program.pid, kSheetTitle);
        ASSERT_NE(sheet, nullptr);
        HWND welcome = currentPage(sheet);
        const std::wstring backupInfo = L"日期 && 时间\t:    " + wide(iniText(ini, "INFO", "DateTime")) +
                                        L"\nWindows\t:    " + osString + L"\n备份目录  \t:    " + wide(folder) + L"\n";
        EXPECT_EQ(waitForText(GetDlgItem(welcome, 1006), backupInfo), backupInfo);
        const std::wstring restoreInfo = L"恢复来源      \t:    " + osString +
                                         L"\n恢复模式    \t:    自动检测;  (相同 Windows) 将使用 Windows API\n"
                                         L"恢复到根目录   \t:    " +
                                         wide(windowsRoot());
        EXPECT_EQ(textOf(GetDlgItem(welcome, 1007)), restoreInfo);
        EXPECT_TRUE(waitForEnabled(GetDlgItem(sheet, kNextButton), true));
        pressSheetButton(sheet, PSBTN_CANCEL);
        EXPECT_TRUE(program.endsWithin(15000));
    }
    testing_support::removeTree(wide(root));
}
