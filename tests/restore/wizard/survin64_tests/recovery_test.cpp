// SURVIN64.EXE where Windows RE runs it: a 64-bit system without any 32-bit Windows, in a
// Windows PE session, with the installation that no longer starts on another drive letter.
// The test prefix (tools/test.sh) has no 32-bit Windows, carries the Windows PE marker and
// has D: as a fixed disk of its own, where the installation's C:\WINDOWS now lies.
#include <windows.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "edition.h"
#include "gui_driver.h"
#include "test_support.h"

using namespace gui_driver;
using namespace testing_support;

namespace {

const wchar_t kSheetTitle[] = L"欢迎使用 - 注册表恢复工具";

struct Hive {
    const wchar_t* type;
    const wchar_t* saved;     // in the backup folder
    const wchar_t* recorded;  // Hive as the installation recorded it, on its own C:
    std::string restored;     // the saved file's bytes
};

// The offline installation on D:, removed afterwards.
struct OfflineInstallation {
    ~OfflineInstallation() {
        removeTree(L"D:\\WINDOWS");
        removeTree(L"D:\\Users");
    }
};

bool writeInfo(const std::wstring& ini, const std::vector<Hive>& hives) {
    // The running system's own record: in Windows RE the record of the recovery system can
    // match the installation's, so only the session itself tells them apart.
    std::string osString;
    OsInfoRecord record = {};
    if (!identifyWindowsA(osString, record, IdentifyMode::Query)) return false;
    const std::string file = toAnsi(ini);
    const std::string winVer = std::to_string(record.majorVersion) + "." + std::to_string(record.minorVersion);
    bool ok = WritePrivateProfileStringA("INFO", "DateTime", "2026-12-08 , 8:00:00", file.c_str()) &&
              WritePrivateProfileStringA("INFO", "WinVer", winVer.c_str(), file.c_str()) &&
              WritePrivateProfileStringA("INFO", "OSString", osString.c_str(), file.c_str()) &&
              WritePrivateProfileStructA("INFO", "OSINFO", &record, sizeof(record), file.c_str()) &&
              WritePrivateProfileStringA("INFO", "SysRoot", "C:\\WINDOWS", file.c_str());
    for (size_t i = 0; i < hives.size(); ++i) {
        const std::wstring section = L"DATA" + std::to_wstring(i);
        ok = ok && WritePrivateProfileStringW(section.c_str(), L"Type", hives[i].type, ini.c_str()) &&
             WritePrivateProfileStringW(section.c_str(), L"Saved", hives[i].saved, ini.c_str()) &&
             WritePrivateProfileStringW(section.c_str(), L"Hive", hives[i].recorded, ini.c_str()) &&
             WritePrivateProfileStringW(section.c_str(), L"Category", i < 2 ? L"1" : L"2", ini.c_str());
    }
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, ini.c_str());
    return ok;
}

std::wstring onD(const wchar_t* recorded) { return L"D" + std::wstring(recorded).substr(1); }

}  // namespace

TEST(Survin64InWindowsRe, RestoresTheInstallationFoundUnderAnotherDriveLetterByCopyingFiles) {
    // Made by Wine's 64-bit loader alone, the prefix's 32-bit system folder is empty: no
    // 32-bit program starts here ("could not load kernel32.dll"), as in Windows PE
    // without WOW64.
    wchar_t wow64[MAX_PATH] = L"";
    GetSystemWow64DirectoryW(wow64, MAX_PATH);
    ASSERT_FALSE(fileExists(std::wstring(wow64) + L"\\kernel32.dll")) << "the prefix must have no 32-bit Windows";
    ASSERT_EQ(GetDriveTypeW(L"D:\\"), static_cast<UINT>(DRIVE_FIXED)) << "the prefix has D: as a fixed disk";
    HKEY marker = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\MiniNT", 0, KEY_READ, &marker),
              ERROR_SUCCESS)
        << "the prefix is marked as a Windows PE session";
    RegCloseKey(marker);

    OfflineInstallation cleanup;
    const std::vector<Hive> hives = {
        {L"MACHINE\\SYSTEM", L"SYSTEM", L"C:\\WINDOWS\\system32\\config\\SYSTEM", hiveBytes("restored SYSTEM")},
        {L"MACHINE\\SOFTWARE", L"SOFTWARE", L"C:\\WINDOWS\\system32\\config\\SOFTWARE", hiveBytes("restored SOFTWARE")},
        {L"USERS\\S-1-5-21-1-2-3-1003", L"Users\\1\\NTUSER.DAT", L"C:\\Users\\Alice\\NTUSER.DAT",
         hiveBytes("restored NTUSER")},
    };
    const std::wstring folder = L"D:\\WINDOWS\\Tolmen\\2026-12-08\\";
    ASSERT_TRUE(makeDirs(folder + L"Users\\1\\"));
    ASSERT_TRUE(makeDirs(L"D:\\WINDOWS\\system32\\config\\"));
    ASSERT_TRUE(makeDirs(L"D:\\Users\\Alice\\"));
    for (const Hive& hive : hives) {
        ASSERT_TRUE(writeBytes(folder + hive.saved, hive.restored));
        ASSERT_TRUE(writeBytes(onD(hive.recorded), "old " + toUtf8(hive.saved)));
    }
    ASSERT_TRUE(writeInfo(folder + L"SURVIN.INI", hives));
    const std::wstring exe = folder + L"SURVIN64.EXE";
    ASSERT_TRUE(CopyFileW(distFile(L"x64\\Survin.exe").c_str(), exe.c_str(), FALSE));

    // Started from the recovery system's prompt, whose current folder is its own.
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, system, &si, &pi))
        << GetLastError();
    CloseHandle(pi.hThread);
    struct Ender {
        HANDLE process;
        ~Ender() {
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
            CloseHandle(process);
        }
    } ender{pi.hProcess};

    BOOL underWow64 = TRUE;
    ASSERT_TRUE(IsWow64Process(pi.hProcess, &underWow64));
    EXPECT_FALSE(underWow64) << "a native 64-bit process";

    HWND sheet = waitForWindow(pi.dwProcessId, kSheetTitle, 60000);
    ASSERT_NE(sheet, nullptr);
    HWND welcome = currentPage(sheet);
    ASSERT_NE(welcome, nullptr);
    EXPECT_TRUE(waitUntil([&] {
        const std::wstring text = textOf(GetDlgItem(welcome, 1007));
        return text.find(L"自动检测;  (不同 Windows) 将复制文件\n恢复到根目录   \t:    D:\\WINDOWS") != std::wstring::npos;
    })) << toUtf8(textOf(GetDlgItem(welcome, 1007)));
    EXPECT_EQ(waitForOtherDialog(pi.dwProcessId, {sheet}, 1000), nullptr) << "no detection warning";

    // Hive replacement is not offered, not even by hand.
    clickLink(GetDlgItem(welcome, 1010));
    HWND options = waitForWindow(pi.dwProcessId, L"高级选项");
    ASSERT_NE(options, nullptr);
    const std::vector<std::wstring> modes = comboItems(GetDlgItem(options, 1018));
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_EQ(modes[0], L"自动检测     (检测: 复制文件)");
    click(GetDlgItem(options, IDCANCEL));
    ASSERT_TRUE(waitForWindowGone(pi.dwProcessId, L"高级选项"));

    pressSheetButton(sheet, PSBTN_NEXT);
    HWND progress = waitForPageChange(sheet, welcome);
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(waitUntil([&] { return textOf(GetDlgItem(sheet, kFinishButton)) == L"开始"; }));
    pressSheetButton(sheet, PSBTN_FINISH);
    EXPECT_EQ(waitForText(GetDlgItem(progress, 1006), L"注册表恢复操作完成。", 60000), L"注册表恢复操作完成。");
    screenshot(sheet, L"survin64-windows-re-done");

    for (const Hive& hive : hives) {
        const std::wstring live = onD(hive.recorded);
        EXPECT_TRUE(readBytes(live) == hive.restored) << toUtf8(live);
        EXPECT_EQ(readBytes(live + L".BAK"), "old " + toUtf8(hive.saved)) << toUtf8(live);
    }

    pressSheetButton(sheet, PSBTN_CANCEL);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 15000), WAIT_OBJECT_0);
}
