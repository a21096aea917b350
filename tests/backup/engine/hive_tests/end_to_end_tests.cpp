// The shipped backup program, run unattended on the test machine.
#include <gtest/gtest.h>

#include "hive_fixture.h"
#include "test_support.h"

using namespace hive_tests;
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
