// Tolmen.exe started from the command line, as a scheduled task would: the folder is
// resolved from the template and the settings file, and /limitcount: prunes.
#include <gtest/gtest.h>

#include <algorithm>

#include "places_fixture.h"

using namespace places_testing;

namespace {

ULONGLONG lastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// Runs an overwriting backup of the system hives into the folder until one has written
// its SURVIN.INI anew (another test's instance may hold the mutex at the first try).
bool backUpOverwriting(testing_support::PrivateTolmen& program, const std::wstring& folder) {
    const ULONGLONG before = lastWrite(folder + L"SURVIN.INI");
    for (int attempt = 0; attempt < 2; ++attempt) {
        Sleep(1100);  // a later write time than any earlier SURVIN.INI
        if (!program.run(L"\"" + folder + L"\" /silent /overwrite /reg:s")) return false;
        const ULONGLONG after = lastWrite(folder + L"SURVIN.INI");
        if (after != 0 && after != before) return true;
    }
    return false;
}

}  // namespace

TEST(UnattendedRuns, OverwriteKeepsAHelpFileThatNoBackupBroughtAndTheProgramsOwn) {
    testing_support::PrivateTolmen program(L"overwrite-help");
    ASSERT_TRUE(program.ok());
    ASSERT_TRUE(writeBytes(program.dir() / L"Tolmen.chm", "the program's help"));

    // A folder that holds a help file and nothing else.
    const std::wstring folder = program.dir() / L"help-only\\";
    ASSERT_TRUE(makeDirs(folder));
    ASSERT_TRUE(writeBytes(folder + L"Tolmen.chm", "the user's help"));
    ASSERT_TRUE(backUpOverwriting(program, folder));
    EXPECT_TRUE(fileExists(folder + L"SURVIN.EXE"));
    EXPECT_EQ(readBytes(folder + L"Tolmen.chm"), "the user's help");

    // The program's own folder, twice: the second run deletes the first run's backup there.
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(backUpOverwriting(program, program.dir().path())) << "run " << run;
        EXPECT_TRUE(fileExists(program.dir() / L"SURVIN.EXE"));
        EXPECT_EQ(readBytes(program.dir() / L"Tolmen.chm"), "the program's help") << "run " << run;
    }
}

TEST(UnattendedRuns, RepeatedBackupsWithLimitCountThreeKeepTheThreeNewest) {
    testing_support::PrivateTolmen program(L"unattended");
    ASSERT_TRUE(program.ok());
    ASSERT_TRUE(writeBytes(program.settings(), "[Settings]\r\nDateFormat=yyyyMMdd\r\nTimeFormat=HH'h'mm'm'ss's'\r\n"));
    const std::wstring root = program.dir() / L"bk\\";
    const std::wstring arguments = L"\"" + root + L"<DATE>_<Time>\\\" /silent /reg:s /limitcount:3";

    std::vector<std::wstring> made;  // in the order the runs made them
    for (int run = 0; run < 5; ++run) {
        const std::vector<std::wstring> before = testing_support::subfolders(root);
        std::vector<std::wstring> fresh;
        // Another test's instance may have taken the mutex first: try once more.
        for (int attempt = 0; attempt < 2 && fresh.empty(); ++attempt) {
            Sleep(1100);  // a new second: a new folder name and a later SURVIN.INI
            DWORD exitCode = 99;
            ASSERT_TRUE(program.run(arguments, &exitCode));
            EXPECT_EQ(exitCode, 0u) << "run " << run;
            for (const std::wstring& name : testing_support::subfolders(root))
                if (std::find(before.begin(), before.end(), name) == before.end()) fresh.push_back(name);
        }
        made.insert(made.end(), fresh.begin(), fresh.end());
        ASSERT_EQ(made.size(), static_cast<size_t>(run + 1)) << "run " << run << " made no backup folder";
        EXPECT_TRUE(fileExists(root + made.back() + L"\\SURVIN.EXE"));
    }

    wchar_t date[16];
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, nullptr, L"yyyyMMdd", date, 16);
    EXPECT_EQ(made[0].substr(0, 9), std::wstring(date) + L"_") << "folder named from the template";
    EXPECT_EQ(made[0].size(), 9u + 9u) << toUtf8(made[0]);
    EXPECT_EQ(testing_support::subfolders(root), (std::vector<std::wstring>{made[2], made[3], made[4]}));

    wchar_t place[520];
    GetPrivateProfileStringW(L"BackupDirs", L"0", L"", place, 520, program.settings().c_str());
    EXPECT_EQ(std::wstring(place), root);
}

TEST(UnattendedRuns, AFolderThatCannotBeResolvedMakesNoBackup) {
    testing_support::PrivateTolmen program(L"unattended");
    ASSERT_TRUE(program.ok());
    // The date picture's result does not fit: the template cannot be expanded.
    std::string picture;
    while (picture.size() < 150) picture += "yyyy-";
    ASSERT_TRUE(writeBytes(program.settings(), "[Settings]\r\nDateFormat=" + picture + "\r\n"));
    const std::wstring arguments = L"\"" + (program.dir() / L"out\\<date>\\") + L"\" /silent /reg:s";
    DWORD exitCode = 99;
    ASSERT_TRUE(program.run(arguments, &exitCode));
    EXPECT_FALSE(dirExists(program.dir() / L"out"));
    EXPECT_EQ(exitCode, 609u);  // as for a rejected folder

    // The same command with a usable picture does back up.
    ASSERT_TRUE(writeBytes(program.settings(), "[Settings]\r\nDateFormat=yyyy\r\n"));
    for (int attempt = 0; attempt < 2 && !dirExists(program.dir() / L"out"); ++attempt)
        ASSERT_TRUE(program.run(arguments));
    wchar_t year[8];
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, nullptr, L"yyyy", year, 8);
    EXPECT_TRUE(fileExists(program.dir() / (L"out\\" + std::wstring(year) + L"\\SURVIN.INI")));
}
