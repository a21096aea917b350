// The backup browser, opened from the welcome page of the shipped program, over backup
// folders made by the test.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "tolmen_run.h"

using namespace gui_driver;
using namespace testing_support;

namespace {

constexpr int kList = 1008, kDetails = 1000, kRestore = 1001, kDelete = 1002, kView = 1019;
const std::wstring kHint = L"选择一个备份可查看其详细信息或恢复它";

// A backup folder as the backup program leaves it, as far as the browser looks: SURVIN.INI
// with INFO and hive categories, SURVIN.EXE, and SURVIN.INI created at a chosen time.
void makeBackup(const std::wstring& folder, const wchar_t* dateTime, std::initializer_list<int> categories,
                int dayOffset, bool withRestoreProgram = true) {
    ASSERT_TRUE(makeDirs(folder));
    const std::wstring ini = folder + L"SURVIN.INI";
    WritePrivateProfileStringW(L"INFO", L"DateTime", dateTime, ini.c_str());
    WritePrivateProfileStringW(L"INFO", L"OSString", L"  Windows 7 Professional Service Pack 1  ", ini.c_str());
    WritePrivateProfileStringW(L"INFO", L"SysRoot", L"C:\\Windows", ini.c_str());
    int i = 0;
    for (int category : categories) {
        wchar_t section[16], value[16];
        wsprintfW(section, L"DATA%d", i++);
        wsprintfW(value, L"%d", category);
        WritePrivateProfileStringW(section, L"Category", value, ini.c_str());
    }
    WritePrivateProfileStringW(L"Files", L"0", L"SURVIN.EXE", ini.c_str());
    WritePrivateProfileStringW(L"Files", L"1", L"SURVIN.INI", ini.c_str());
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, ini.c_str());  // flush the profile cache
    if (withRestoreProgram) {
        ASSERT_TRUE(CopyFileW(distFile(L"Survin.exe").c_str(), (folder + L"SURVIN.EXE").c_str(), FALSE));
    }

    // Creation times a day apart from 2009-05-01 order the backups.
    SYSTEMTIME base = {2009, 5, 5, 1, 12, 0, 0, 0};
    FILETIME time;
    SystemTimeToFileTime(&base, &time);
    ULARGE_INTEGER value = {{time.dwLowDateTime, time.dwHighDateTime}};
    value.QuadPart += static_cast<ULONGLONG>(dayOffset) * 864000000000ULL;
    time = {value.LowPart, value.HighPart};
    HANDLE file = CreateFileW(ini.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFileTime(file, &time, nullptr, nullptr);
    CloseHandle(file);
}

HWND openBrowser(TolmenRun& run) {
    clickLink(run.control(1012));
    return run.window(L"备份浏览器");
}

std::wstring details(const std::wstring& folder, const wchar_t* dateTime) {
    return L"详细信息\r\n--------------------\r\n路径 \t: " + folder + L"\r\n系统 \t: Windows 7 Professional Service Pack 1\r\n" +
           L"系统根目录 \t: C:\\Windows\r\n时间 \t: " + dateTime + L"\r\n";
}

// The restore programs started from a folder (path of their image).
std::vector<DWORD> restoreProgramsIn(const std::wstring& folder) {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, L"SURVIN.EXE") != 0) continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process) continue;
        wchar_t image[MAX_PATH];
        DWORD cch = MAX_PATH;
        if (QueryFullProcessImageNameW(process, 0, image, &cch) && lstrcmpiW(image, (folder + L"SURVIN.EXE").c_str()) == 0)
            found.push_back(entry.th32ProcessID);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace

TEST(BackupBrowser, WithoutPlacesTheSearchFindsNothing) {
    TolmenRun run(L"gui-browser-empty");
    ASSERT_TRUE(run.start());
    HWND browser = openBrowser(run);
    ASSERT_TRUE(browser);
    EXPECT_EQ(textOf(GetDlgItem(browser, kDetails)), L"单击“搜索”列表出所有可用备份");
    for (int id : {kRestore, kView, kDelete}) EXPECT_FALSE(isEnabled(GetDlgItem(browser, id)));
    screenshot(browser, L"browser-start");

    // Enter runs the search: it is the default button.
    PostMessageW(GetDlgItem(browser, kList), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(waitUntil([&] { return textOf(GetDlgItem(browser, kDetails)) == kHint; }));
    EXPECT_EQ(listCount(GetDlgItem(browser, kList)), 0);
    click(GetDlgItem(browser, IDCANCEL));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(browser); }));
    EXPECT_TRUE(run.cancelAndWait());
}

TEST(BackupBrowser, ListsDetailsAndDeletesBackups) {
    TolmenRun run(L"gui-browser-list");
    const std::wstring place = run.folder() + L"place\\";
    makeBackup(place + L"first\\", L"2009-05-18 10:00:00", {1, 2}, 1);
    makeBackup(place + L"no hives\\", L"2009-05-18 11:00:00", {0}, 2);
    makeBackup(place + L"users later\\", L"2009-05-19 08:30:00", {0, 2}, 3);
    makeBackup(place + L"no program\\", L"2009-05-19 09:00:00", {1}, 4, false);
    makeBackup(place + L"same text\\", L"2009-05-18 10:00:00", {4}, 5);
    run.writeSetting(L"0", place.c_str(), L"BackupDirs");
    ASSERT_TRUE(run.start());
    HWND browser = openBrowser(run);
    ASSERT_TRUE(browser);
    HWND list = GetDlgItem(browser, kList);
    click(GetDlgItem(browser, IDOK));
    ASSERT_TRUE(waitUntil([&] { return listCount(list) == 3; })) << listCount(list);
    EXPECT_EQ(listItems(list),
              (std::vector<std::wstring>{L"2009-05-18 10:00:00", L"2009-05-19 08:30:00", L"2009-05-18 10:00:00"}));
    EXPECT_EQ(textOf(GetDlgItem(browser, kDetails)), kHint);
    // The column is sized to the dates it lists, not stretched over the whole list.
    {
        const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
        const int text = static_cast<int>(sendWithText(list, LVM_GETSTRINGWIDTHW, 0, L"2009-05-19 08:30:00"));
        RECT client = {};
        GetClientRect(list, &client);
        EXPECT_GT(text, 0);
        EXPECT_GE(width, text);
        EXPECT_LT(width, text + 40);
        EXPECT_LT(width, client.right) << "client width " << client.right;
    }

    ASSERT_TRUE(selectListItem(list, 1));
    EXPECT_TRUE(waitUntil([&] { return isEnabled(GetDlgItem(browser, kDelete)); }));
    EXPECT_TRUE(isEnabled(GetDlgItem(browser, kRestore)));
    EXPECT_TRUE(isEnabled(GetDlgItem(browser, kView)));
    EXPECT_EQ(textOf(GetDlgItem(browser, kDetails)), details(place + L"users later\\", L"2009-05-19 08:30:00"));
    screenshot(browser, L"browser-listed");

    // Delete asks first; No keeps the backup.
    ASSERT_TRUE(selectListItem(list, 0));
    click(GetDlgItem(browser, kDelete));
    HWND box = run.window(L"删除");
    ASSERT_TRUE(box);
    EXPECT_EQ(messageBoxText(box),
              L"确实要删除选定的备份吗？\n\n日期: 2009-05-18 10:00:00\n路径: " + place + L"first\\");
    screenshot(box, L"browser-delete-question");
    EXPECT_TRUE(answerMessageBox(box, IDNO));
    EXPECT_EQ(listCount(list), 3);
    EXPECT_TRUE(fileExists(place + L"first\\SURVIN.INI"));

    click(GetDlgItem(browser, kDelete));
    box = run.window(L"删除");
    ASSERT_TRUE(box);
    EXPECT_TRUE(answerMessageBox(box, IDYES));
    EXPECT_TRUE(waitUntil([&] { return listCount(list) == 2; }));
    EXPECT_FALSE(dirExists(place + L"first"));
    EXPECT_EQ(listItems(list), (std::vector<std::wstring>{L"2009-05-19 08:30:00", L"2009-05-18 10:00:00"}));

    // Nothing is selected now: Delete does nothing until an item is selected again.
    click(GetDlgItem(browser, kDelete));
    EXPECT_FALSE(run.window(L"删除", 1000));
    EXPECT_EQ(listCount(list), 2);

    // A new search rebuilds the list from what is left.
    click(GetDlgItem(browser, IDOK));
    EXPECT_TRUE(waitUntil([&] { return listCount(list) == 2 && textOf(GetDlgItem(browser, kDetails)) == kHint; }));
    click(GetDlgItem(browser, IDCANCEL));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(browser); }));
    EXPECT_TRUE(run.cancelAndWait());
}

TEST(BackupBrowser, RestoreStartsTheCarriedRestoreProgramInTheSelectedFolder) {
    TolmenRun run(L"gui-browser-restore");
    const std::wstring place = run.folder() + L"place\\";
    makeBackup(place + L"a\\", L"2009-05-20 07:00:00", {1}, 1);
    makeBackup(place + L"b\\", L"2009-05-21 07:00:00", {3}, 2);
    // A changed restore program: the browser starts the one it carries instead.
    ASSERT_TRUE(writeBytes(place + L"b\\SURVIN.EXE", "a changed restore program"));
    run.writeSetting(L"0", place.c_str(), L"BackupDirs");
    ASSERT_TRUE(run.start());
    HWND browser = openBrowser(run);
    ASSERT_TRUE(browser);
    HWND list = GetDlgItem(browser, kList);
    click(GetDlgItem(browser, IDOK));
    ASSERT_TRUE(waitUntil([&] { return listCount(list) == 2; }));
    ASSERT_TRUE(selectListItem(list, 1));

    click(GetDlgItem(browser, kRestore));
    HWND box = run.window(L"恢复");
    ASSERT_TRUE(box);
    EXPECT_EQ(messageBoxText(box), L"确实要恢复选定的注册表吗？\n\n日期: 2009-05-21 07:00:00\n路径: " + place + L"b\\");
    EXPECT_TRUE(answerMessageBox(box, IDNO));
    Sleep(1000);
    EXPECT_TRUE(restoreProgramsIn(place + L"b\\").empty());

    // A restore program of another test would make this one end at once, unseen.
    waitUntil(
        [] {
            HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"SURVIN_RESTORE_MUTEX_2008");
            if (!mutex) return true;
            CloseHandle(mutex);
            return false;
        },
        120000);
    click(GetDlgItem(browser, kRestore));
    box = run.window(L"恢复");
    ASSERT_TRUE(box);
    EXPECT_TRUE(answerMessageBox(box, IDYES));
    std::vector<DWORD> started;
    EXPECT_TRUE(waitUntil([&] { return !(started = restoreProgramsIn(place + L"b\\")).empty(); }, 20000));
    EXPECT_TRUE(restoreProgramsIn(place + L"a\\").empty());
    EXPECT_TRUE(readBytes(place + L"b\\SURVIN.EXE") == readBytes(distFile(L"Survin.exe")))
        << "the changed restore program was not replaced";
    EXPECT_TRUE(IsWindow(browser)) << "the browser stays open";
    // The restore program was started for this test; it is ended by its id.
    for (DWORD pid : started) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!process) continue;
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
    click(GetDlgItem(browser, IDCANCEL));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(browser); }));
    EXPECT_TRUE(run.cancelAndWait());
}
