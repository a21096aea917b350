// The search for backups below the stored places.
#include <gtest/gtest.h>

#include "backup_places.h"
#include "places_fixture.h"

using namespace places_testing;

namespace {

std::vector<std::wstring> foldersOf(const std::vector<FoundBackup>& found) {
    std::vector<std::wstring> folders;
    for (const FoundBackup& backup : found) folders.push_back(backup.folder);
    return folders;
}

using Folders = std::vector<std::wstring>;

}  // namespace

TEST(SearchBackups, FindsBackupsAtAnyDepthAndInsideOtherBackupsOldestFirst) {
    PlacesFixture f;
    const ULONGLONG base = nowFileTime() - 10 * kDay;
    ASSERT_TRUE(makeBackup(f / L"P\\a\\", base + 3 * kHour));
    ASSERT_TRUE(makeBackup(f / L"P\\a\\inner\\", base + 1 * kHour));
    ASSERT_TRUE(makeBackup(f / L"P\\b\\c\\d\\", base + 2 * kHour));
    ASSERT_TRUE(makeBackup(f / L"P\\noexe\\", base + 4 * kHour, false));
    ASSERT_TRUE(makeDirs(f / L"P\\noini\\"));
    ASSERT_TRUE(writeBytes(f / L"P\\noini\\SURVIN.EXE", "MZ"));
    writeBackupDirs({f / L"P\\"});

    std::vector<FoundBackup> found = searchBackups();
    EXPECT_EQ(foldersOf(found), (Folders{f / L"P\\a\\inner\\", f / L"P\\b\\c\\d\\", f / L"P\\a\\"}));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].time, base + 1 * kHour);
    EXPECT_EQ(found[2].time, base + 3 * kHour);
}

TEST(SearchBackups, KnowsTheTwoFilesByTheirWholeNamesInAnyLetterCase) {
    PlacesFixture f;
    const ULONGLONG time = nowFileTime() - kDay;
    ASSERT_TRUE(makeDirs(f / L"P\\lower\\"));
    ASSERT_TRUE(writeBytes(f / L"P\\lower\\survin.ini", "[Files]\r\n"));
    ASSERT_TRUE(writeBytes(f / L"P\\lower\\Survin.Exe", "MZ"));
    ASSERT_TRUE(setFileTimes(f / L"P\\lower\\survin.ini", time));
    // Names that only begin or end like the two files.
    ASSERT_TRUE(makeDirs(f / L"P\\noexe\\"));
    ASSERT_TRUE(writeBytes(f / L"P\\noexe\\SURVIN.INI", "[Files]\r\n"));
    ASSERT_TRUE(writeBytes(f / L"P\\noexe\\SURVIN.EX", "MZ"));
    ASSERT_TRUE(writeBytes(f / L"P\\noexe\\SURVIN.EXE.old", "MZ"));
    ASSERT_TRUE(makeDirs(f / L"P\\noini\\"));
    ASSERT_TRUE(writeBytes(f / L"P\\noini\\SURVIN.EXE", "MZ"));
    ASSERT_TRUE(writeBytes(f / L"P\\noini\\XSURVIN.INI", "[Files]\r\n"));
    ASSERT_TRUE(writeBytes(f / L"P\\noini\\SURVIN.IN", "[Files]\r\n"));
    writeBackupDirs({f / L"P\\"});

    std::vector<FoundBackup> found = searchBackups();
    EXPECT_EQ(foldersOf(found), Folders{f / L"P\\lower\\"});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].time, time);
}

TEST(SearchBackups, EqualTimesCountOnce) {
    PlacesFixture f;
    const ULONGLONG time = nowFileTime() - kDay;
    ASSERT_TRUE(makeBackup(f / L"P\\x\\", time));
    ASSERT_TRUE(makeBackup(f / L"P\\y\\", time));
    ASSERT_TRUE(makeBackup(f / L"P\\z\\", time + 1));
    // The same backups reached through two places (the list may be edited by hand).
    writeBackupDirs({f / L"P\\", f / L"P\\y\\"});
    std::vector<FoundBackup> found = searchBackups();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].time, time);
    EXPECT_EQ(found[1].folder, f / L"P\\z\\");
}

TEST(SearchBackups, PlacesAreReadUpToTheFirstShortValueAndMissingOnesAreSkipped) {
    PlacesFixture f;
    const ULONGLONG time = nowFileTime() - kDay;
    ASSERT_TRUE(makeBackup(f / L"One\\b\\", time));
    ASSERT_TRUE(makeBackup(f / L"Two\\b\\", time + kHour));
    ASSERT_TRUE(makeBackup(f / L"Three\\b\\", time + 2 * kHour));
    writeBackupDirs({f / L"Missing\\", f / L"One", f / L"Two\\", L"x", f / L"Three\\"});
    EXPECT_EQ(foldersOf(searchBackups()), (Folders{f / L"One\\b\\", f / L"Two\\b\\"}));

    writeBackupDirs({});
    EXPECT_TRUE(searchBackups().empty());
}

// The prefix setup makes G:\loop\ a backup whose subfolder "again" is the folder itself.
// Wine shows that link as a plain folder, so only the depth limit can end this walk.
TEST(SearchBackups, AFolderLoopEnds) {
    PlacesFixture f;
    ASSERT_TRUE(fileExists(L"G:\\loop\\again\\again\\SURVIN.INI")) << "prefix fixture missing";
    writeBackupDirs({L"G:\\loop\\"});
    DWORD start = GetTickCount();
    std::vector<FoundBackup> found = searchBackups();
    EXPECT_LT(GetTickCount() - start, 20000u);
    EXPECT_EQ(foldersOf(found), Folders{L"G:\\loop\\"});
}

TEST(SearchBackups, NeverGoesThroughALinkThePlaceItselfIncluded) {
    PlacesFixture f;
    ASSERT_TRUE(makeBackup(f / L"elsewhere\\b\\", nowFileTime() - kDay));
    ASSERT_TRUE(makeBackup(f / L"P\\a\\", nowFileTime() - 2 * kDay));
    FolderLink place(f / L"linked-place", f / L"elsewhere");
    FolderLink inside(f / L"P\\linked", f / L"elsewhere");
    ASSERT_TRUE(place.made && inside.made);
    writeBackupDirs({f / L"linked-place\\", f / L"P\\"});
    EXPECT_EQ(foldersOf(searchBackups()), Folders{f / L"P\\a\\"});
}
