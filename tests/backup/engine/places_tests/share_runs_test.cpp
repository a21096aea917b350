// Tolmen.exe backing up to a file server, as one machine of many does from a scheduled
// task: \\fileserver\regbackup is a share of the test prefix (tools/prefix.d), and the
// machine's backups go below its own folder there.
#include <gtest/gtest.h>

#include <algorithm>

#include "places_fixture.h"

using namespace places_testing;

namespace {

std::wstring computerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 64] = L"";
    GetEnvironmentVariableW(L"COMPUTERNAME", name, MAX_COMPUTERNAME_LENGTH + 64);
    return name;
}

// What Tolmen.exe would have written had it lost the two leading backslashes: a folder
// \fileserver on the drive it runs on (its folder is on C:).
const wchar_t kLostShare[] = L"C:\\fileserver";

// The folders in a folder, by name: the runs' folder names sort by their time.
std::vector<std::wstring> sortedSubfolders(const std::wstring& folder) {
    std::vector<std::wstring> names = subfolders(folder);
    std::sort(names.begin(), names.end());
    return names;
}

bool hasPlaceNaming(const std::wstring& settings, const std::wstring& text) {
    for (int k = 0; k < 10; ++k) {
        wchar_t value[520] = L"";
        GetPrivateProfileStringW(L"BackupDirs", std::to_wstring(k).c_str(), L"", value, 520, settings.c_str());
        std::wstring place = value;
        CharLowerBuffW(&place[0], static_cast<DWORD>(place.size()));
        if (place.find(text) != std::wstring::npos) return true;
    }
    return false;
}

}  // namespace

TEST(ShareRuns, BackupsLandOnTheShareAndOnlyALimitNamedOnTheCommandLinePrunesThere) {
    const std::wstring computer = computerName();
    ASSERT_FALSE(computer.empty());
    const std::wstring root = L"\\\\fileserver\\regbackup\\" + computer + L"\\";
    ASSERT_TRUE(dirExists(L"\\\\fileserver\\regbackup")) << "the test prefix has the share";
    removeTree(root);
    removeTree(kLostShare);
    // The administrator keeps a file of their own in the machine's folder.
    ASSERT_TRUE(makeDirs(root));
    ASSERT_TRUE(writeBytes(root + L"notes.txt", "the administrator's notes"));

    testing_support::PrivateTolmen program(L"share-runs");
    ASSERT_TRUE(program.ok());
    ASSERT_TRUE(writeBytes(program.settings(), "[Settings]\r\nDateFormat=yyyyMMdd\r\nTimeFormat=HH'h'mm'm'ss's'\r\n"));
    const std::wstring folder = L"\"\\\\fileserver\\regbackup\\%COMPUTERNAME%\\<DATE>_<Time>\\\" /silent /reg:s";

    // Three runs that keep two, then two runs without a limit, which delete nothing there.
    const struct {
        const wchar_t* limit;
        size_t kept;  // the newest ones the runs made
    } runs[] = {{L" /limitcount:2", 1}, {L" /limitcount:2", 2}, {L" /limitcount:2", 2}, {L"", 3}, {L"", 4}};
    std::vector<std::wstring> made;
    for (size_t run = 0; run < sizeof(runs) / sizeof(runs[0]); ++run) {
        SCOPED_TRACE(run);
        const std::vector<std::wstring> before = subfolders(root);
        Sleep(1100);  // a new second: a new folder name and a later SURVIN.INI
        DWORD exitCode = 99;
        ASSERT_TRUE(program.run(folder + runs[run].limit, &exitCode));
        EXPECT_EQ(exitCode, 0u);
        std::vector<std::wstring> fresh;
        for (const std::wstring& name : subfolders(root))
            if (std::find(before.begin(), before.end(), name) == before.end()) fresh.push_back(name);
        ASSERT_EQ(fresh.size(), 1u) << "one new backup folder on the share";
        made.push_back(fresh[0]);
        const std::wstring backup = root + fresh[0] + L"\\";
        for (const wchar_t* name : {L"SURVIN.INI", L"SURVIN.EXE", L"SURVIN.WRC", L"SYSTEM", L"SAM"})
            EXPECT_TRUE(fileExists(backup + name)) << toUtf8(backup + name);

        std::vector<std::wstring> newest(made.end() - static_cast<ptrdiff_t>(runs[run].kept), made.end());
        EXPECT_EQ(sortedSubfolders(root), newest);
    }
    EXPECT_EQ(readBytes(root + L"notes.txt"), "the administrator's notes");
    // Nowhere else: not on the drive the program ran on, and the share is no stored place.
    EXPECT_FALSE(dirExists(kLostShare));
    EXPECT_FALSE(hasPlaceNaming(program.settings(), L"fileserver"));
    removeTree(root);
}

TEST(ShareRuns, AMissingShareAndTheDeviceFormsMakeNoBackup) {
    testing_support::PrivateTolmen program(L"share-refused");
    ASSERT_TRUE(program.ok());
    const std::wstring local = program.dir() / L"device-form";
    const struct {
        std::wstring folder;
        DWORD exitCode;
    } cases[] = {
        {L"\\\\fileserver\\missing\\%COMPUTERNAME%\\<date>\\", 607},  // the share is never made
        {L"\\\\?\\" + local + L"\\<date>\\", 609},                  // an invalid location
        {L"\\\\.\\" + local + L"\\<date>\\", 609},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.folder));
        DWORD exitCode = 99;
        ASSERT_TRUE(program.run(L"\"" + c.folder + L"\" /silent /reg:s", &exitCode));
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_FALSE(dirExists(L"\\\\fileserver\\missing"));
        EXPECT_FALSE(dirExists(kLostShare));
        EXPECT_FALSE(dirExists(local));
    }
}
