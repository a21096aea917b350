// The backup program on the older Windows versions it knows, as the test platform reports
// them to it: Windows NT 4.0 gets the note and no backup; Windows 2000, XP and Server 2003
// get their unattended backup, also of a hive that only the registry can save.
#include <gtest/gtest.h>

#include "test_support.h"
#include "wine_version.h"

using testing_support::PrivateTolmen;
using testing_support::ScratchDir;

namespace {

std::wstring windowText(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

BOOL CALLBACK findVisible(HWND window, LPARAM lParam) {
    auto* found = reinterpret_cast<std::pair<DWORD, HWND>*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != found->first || !IsWindowVisible(window)) return TRUE;
    found->second = window;
    return FALSE;
}

HWND waitForWindowOf(DWORD pid, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        std::pair<DWORD, HWND> found(pid, nullptr);
        EnumWindows(findVisible, reinterpret_cast<LPARAM>(&found));
        if (found.second) return found.second;
        Sleep(100);
    }
    return nullptr;
}

std::string iniText(const std::wstring& ini, const char* key) {
    char text[260] = "";
    GetPrivateProfileStringA("INFO", key, "", text, sizeof(text), testing_support::toAnsi(ini).c_str());
    return text;
}

struct OlderWindows {
    const wchar_t* version;  // Wine's name of it
    const char* winVer;      // null: the program refuses this Windows
    const char* osString;    // how the edition text begins
};

TEST(OlderWindows, BackupFromWindows2000OnAndTheNoteOnNt4) {
    const OlderWindows cases[] = {
        {L"nt40", nullptr, nullptr},
        {L"win2k", "5.0", "Windows 2000 Professional Service Pack 4 (build 2195)"},
        {L"winxp", "5.1", "Windows XP Professional Service Pack 3 (build 2600)"},
        {L"win2003", "5.2", "Windows Server 2003, Standard"},
    };
    // The current user's hive held open, as Windows holds a loaded hive: its plain copy
    // fails, and the registry saves its key instead (on Windows 2000 with the older call).
    wchar_t user[256];
    DWORD cchUser = 256;
    ASSERT_TRUE(GetUserNameW(user, &cchUser));
    const std::wstring liveHive = std::wstring(L"C:\\users\\") + user + L"\\NTUSER.DAT";
    const std::string liveBytes = testing_support::readBytes(liveHive);
    ASSERT_FALSE(liveBytes.empty());

    PrivateTolmen tolmen(L"older-windows-program");
    ASSERT_TRUE(tolmen.ok());
    ScratchDir dir(L"older-windows");
    for (const OlderWindows& c : cases) {
        SCOPED_TRACE(testing_support::toUtf8(c.version));
        testing_support::WineVersionFor version(L"Tolmen.exe", c.version);
        ASSERT_TRUE(version.ok());
        ASSERT_TRUE(testing_support::waitForTolmenFree());
        const std::wstring folder = dir / (std::wstring(c.version) + L"\\");
        // Without /silent on NT 4.0, where the note is the run's only word (with /silent a
        // scheduled run ends without a box: the entry tests show that).
        std::wstring commandLine = L"\"" + tolmen.exe() + L"\" \"" + folder + L"\" /reg:su" + (c.winVer ? L" /silent" : L"");
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        HANDLE lock = CreateFileW(liveHive.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        CloseHandle(pi.hThread);
        if (!c.winVer) {
            HWND box = waitForWindowOf(pi.dwProcessId, 30000);
            EXPECT_NE(box, nullptr);
            EXPECT_EQ(windowText(box), L"注册表备份");
            EXPECT_EQ(windowText(GetDlgItem(box, 0xFFFF)), L"该程序需要 Windows 2000 及其以后版本。");
            if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        DWORD exitCode = 99;
        if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
        GetExitCodeProcess(pi.hProcess, &exitCode);
        CloseHandle(pi.hProcess);
        CloseHandle(lock);

        if (!c.winVer) {
            EXPECT_EQ(exitCode, 1u);
            EXPECT_FALSE(testing_support::dirExists(folder)) << "no backup on Windows NT 4.0";
            continue;
        }
        EXPECT_EQ(exitCode, 0u) << "every selected hive was saved and loads";
        const std::wstring ini = folder + L"SURVIN.INI";
        EXPECT_EQ(iniText(ini, "WinVer"), c.winVer);
        EXPECT_EQ(iniText(ini, "OSString").rfind(c.osString, 0), 0u) << iniText(ini, "OSString");
        const std::string saved = testing_support::readBytes(folder + L"Users\\1\\NTUSER.DAT");
        EXPECT_FALSE(saved.empty());
        EXPECT_NE(saved, liveBytes) << "the held hive came from the registry, not from a copy";
        EXPECT_TRUE(testing_support::fileExists(folder + L"SYSTEM"));
    }
}

}  // namespace
