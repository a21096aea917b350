// The shipped backup program, run unattended on the test machine.
#include <gtest/gtest.h>

#include "hive_check.h"
#include "hive_fixture.h"
#include "platform.h"
#include "test_support.h"

using namespace hive_tests;
using testing_support::hiveCheckKeys;
using testing_support::dirExists;
using testing_support::programFile;
using testing_support::fileExists;
using testing_support::readBytes;
using testing_support::ScratchDir;

namespace {

// The program runs once per machine: another test program may be running it just now.
// Runs Tolmen.exe "<root><date>\" <options> and returns the dated folder it wrote.
std::wstring runUnattended(const ScratchDir& root, const std::wstring& options) {
    // A private copy: the run registers its place in a RegOpt.ini beside the program.
    testing_support::PrivateTolmen program(L"hive-e2e-program");
    for (int attempt = 0; attempt < 3; ++attempt) {
        testing_support::waitForTolmenFree();
        DWORD exitCode = 0;
        std::wstring command = L"\"" + program.exe() + L"\" \"" + root.path() + L"<date>\\\" " + options;
        if (!testing_support::runProgram(command, 120000, &exitCode)) return L"";
        auto written = testing_support::subfolders(root.path());
        if (written.size() == 1) return root / (written[0] + L"\\");
        if (!written.empty()) return L"";
    }
    return L"";
}

std::wstring liveFile(const wchar_t* relative) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows, 2) + L"\\" + relative;
}

std::wstring currentUserFile(const wchar_t* relative) {
    return liveFile((L"users\\" + userName() + L"\\" + relative).c_str());
}

}  // namespace

TEST(EndToEnd, UnattendedBackupSavesSystemAndCurrentUserHives) {
    ASSERT_TRUE(fileExists(programFile(L"Tolmen.exe")));
    ScratchDir root(L"hive-e2e");
    const std::wstring folder = runUnattended(root, L"/silent");
    ASSERT_FALSE(folder.empty()) << "no backup folder was written";

    for (const wchar_t* name : {L"SYSTEM", L"SOFTWARE", L"SAM", L"SECURITY", L"DEFAULT"}) {
        SCOPED_TRACE(testing_support::toUtf8(name));
        const std::string saved = readBytes(folder + name);
        EXPECT_FALSE(saved.empty());
        EXPECT_EQ(readBytes(liveFile((std::wstring(L"Windows\\System32\\config\\") + name).c_str())), saved);
    }
    EXPECT_EQ(readBytes(currentUserFile(L"NTUSER.DAT")), readBytes(folder + L"Users\\1\\NTUSER.DAT"));
    EXPECT_EQ(readBytes(currentUserFile(L"AppData\\Local\\Microsoft\\Windows\\UsrClass.dat")),
              readBytes(folder + L"Users\\2\\UsrClass.dat"));
    EXPECT_FALSE(fileExists(folder + L"Users\\1\\UsrClass.dat"));
    EXPECT_FALSE(dirExists(folder + L"Users\\3"));  // other users' hives are not selected
    EXPECT_FALSE(fileExists(folder + L"BCD"));
    EXPECT_FALSE(fileExists(folder + L"HARDWARE"));
}

TEST(EndToEnd, EveryCategorySelected) {
    ScratchDir root(L"hive-e2e-all");
    const std::wstring folder = runUnattended(root, L"/reg:suo /silent");
    ASSERT_FALSE(folder.empty()) << "no backup folder was written";

    EXPECT_TRUE(fileExists(folder + L"SYSTEM"));
    int users = 0;
    while (dirExists(folder + L"Users\\" + std::to_wstring(users + 1))) ++users;
    EXPECT_EQ(5, users);  // two service profiles, the current user's two hives, the other user
    const std::string other = readBytes(liveFile((L"users\\" + userName() + L"2\\NTUSER.DAT").c_str()));
    ASSERT_FALSE(other.empty());
    bool found = false;
    for (int i = 1; i <= users; ++i)
        found = found || readBytes(folder + L"Users\\" + std::to_wstring(i) + L"\\NTUSER.DAT") == other;
    EXPECT_TRUE(found) << "the other user's hive";
    EXPECT_FALSE(fileExists(folder + L"BCD"));
}

TEST(EndToEnd, EverySavedHiveLoadsAndNoCheckIsLeftBehind) {
    // What a check of an earlier run left when that run was stopped half-way: a loaded key
    // named after a process that no longer runs.
    ScratchDir live(L"hive-e2e-leftover");
    ASSERT_TRUE(testing_support::writeBytes(live / L"hive", testing_support::hiveBytes("left over")));
    wchar_t leftover[64];
    wsprintfW(leftover, L"%s%lu.3", kHiveCheckKeyPrefix, 0xFFFFFFF0ul);
    {
        BackupPrivileges on(true);
        ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyW(HKEY_USERS, leftover, (live / L"hive").c_str()));
    }
    ASSERT_EQ(std::vector<std::wstring>{leftover}, hiveCheckKeys());

    testing_support::PrivateTolmen program(L"hive-e2e-verify-program");
    ScratchDir root(L"hive-e2e-verify");
    DWORD exitCode = 99;
    ASSERT_TRUE(program.run(L"\"" + root.path() + L"<date>\\\" /reg:suo /silent", &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(hiveCheckKeys().empty()) << "a temporary key stayed under HKEY_USERS";
    {
        BackupPrivileges on(true);
        RegUnLoadKeyW(HKEY_USERS, leftover);  // only if the program did not
    }

    const auto written = testing_support::subfolders(root.path());
    ASSERT_EQ(1u, written.size());
    const std::wstring folder = root / (written[0] + L"\\");
    EXPECT_TRUE(hiveCheckScratchFolders(folder).empty()) << "a scratch folder stayed in the backup";
    std::vector<std::wstring> saved = {L"SYSTEM", L"SOFTWARE", L"SAM", L"SECURITY", L"DEFAULT"};
    for (int user = 1; user <= 5; ++user) {
        const std::wstring users = L"Users\\" + std::to_wstring(user) + L"\\";
        saved.push_back(users + (fileExists(folder + users + L"UsrClass.dat") ? L"UsrClass.dat" : L"NTUSER.DAT"));
    }
    for (const std::wstring& name : saved) {
        SCOPED_TRACE(testing_support::toUtf8(name));
        ASSERT_TRUE(fileExists(folder + name));
        EXPECT_EQ(0u, checkHive((folder + name).c_str(), folder).error);
        EXPECT_NE(std::string::npos, readBytes(folder + L"SURVIN.INI").find(testing_support::toAnsi(name)));
    }
}
