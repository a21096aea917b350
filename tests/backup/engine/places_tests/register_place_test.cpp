// Registering the backup root of a job in BackupDirs: outermost places only, the
// current root first, fixed local disks only, nothing rewritten in read-only mode.
#include <gtest/gtest.h>

#include "backup_places.h"
#include "job.h"
#include "places_fixture.h"

using namespace places_testing;

namespace {

void jobIn(BackupJob& job, const std::wstring& folder, const std::wstring& dateText) {
    job.backupFolder = folder;
    job.dateText = dateText;
    job.timeText.clear();
}

using Places = std::vector<std::wstring>;

}  // namespace

TEST(RegisterPlace, AnOuterRootReplacesAStoredInnerPlace) {
    PlacesFixture f;
    ASSERT_TRUE(makeDirs(f / L"Backups\\Daily\\"));
    writeBackupDirs({f / L"Backups\\Daily\\"});
    BackupJob job;
    jobIn(job, f / L"Backups\\2009-05-18\\", L"2009-05-18");
    registerPlace(job);
    EXPECT_EQ(readBackupDirs(), Places{f / L"Backups\\"});
}

TEST(RegisterPlace, AnInnerRootUnderAStoredPlaceAddsNothing) {
    PlacesFixture f;
    ASSERT_TRUE(makeDirs(f / L"Backups\\Daily\\2009-05-18\\"));
    writeBackupDirs({f / L"Backups\\"});
    BackupJob job;
    jobIn(job, f / L"Backups\\Daily\\2009-05-18\\", L"2009-05-18");
    registerPlace(job);
    EXPECT_EQ(readBackupDirs(), Places{f / L"Backups\\"});
}

TEST(RegisterPlace, CurrentRootComesFirstAndStoredPlacesAreCleanedUp) {
    PlacesFixture f;
    for (const wchar_t* name : {L"A\\", L"B\\", L"Root\\", L"A;B\\"}) ASSERT_TRUE(makeDirs(f / name));
    std::wstring upperA = f / L"A\\";
    CharUpperBuffW(&upperA[0], static_cast<DWORD>(upperA.size()));
    // Blanks around a value and a missing backslash are tidied; a duplicate in another
    // case counts as covered; a ";" is part of a name, not a list separator.
    writeBackupDirs({L"  " + f.dir.path() + L"B", f / L"A\\", upperA, f / L"A;B\\", f / L"Gone\\"});
    BackupJob job;
    jobIn(job, f / L"Root\\", L"");
    registerPlace(job);
    EXPECT_EQ(readBackupDirs(), (Places{f / L"Root\\", f / L"B\\", f / L"A\\", f / L"A;B\\"}));
}

TEST(RegisterPlace, TheStoredListEndsAtAShortValue) {
    PlacesFixture f;
    ASSERT_TRUE(makeDirs(f / L"A\\"));
    ASSERT_TRUE(makeDirs(f / L"B\\"));
    writeBackupDirs({f / L"A\\", L" x ", f / L"B\\"});
    BackupJob job;
    jobIn(job, f / L"Root\\", L"");  // not created: still registered as the root
    registerPlace(job);
    EXPECT_EQ(readBackupDirs(), (Places{f / L"Root\\", f / L"A\\"}));
}

// Wine reports D: as a CD-ROM, E: as removable and F: as a network drive (prefix setup).
TEST(RegisterPlace, OnlyFixedLocalDisksAreRegistered) {
    PlacesFixture f;
    const std::wstring tag = std::to_wstring(GetCurrentProcessId());
    const std::wstring usb = L"E:\\usb-" + tag + L"\\", net = L"F:\\net-" + tag + L"\\";
    const std::wstring second = L"G:\\fixed-" + tag + L"\\";
    for (const std::wstring& folder : {usb, net, second}) ASSERT_TRUE(makeDirs(folder));
    writeBackupDirs({net, usb, second, L"D:\\"});

    BackupJob job;
    jobIn(job, usb + L"2009-05-18\\", L"2009-05-18");
    registerPlace(job);
    EXPECT_EQ(readBackupDirs(), Places{second});

    jobIn(job, net + L"2009-05-18\\", L"2009-05-18");
    registerPlace(job);
    EXPECT_EQ(readBackupDirs(), Places{second});
    for (const std::wstring& folder : {usb, net, second}) removeTree(folder);
}

TEST(RegisterPlace, ReadOnlyModeLeavesTheListAlone) {
    const std::wstring folder = L"D:\\places-ro-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(makeDirs(folder));
    const std::string original = "[BackupDirs]\r\n0=C:\\gone-place\\\r\n";
    ASSERT_TRUE(writeBytes(folder + L"RegOpt.ini", original));
    initSettings(folder.c_str());
    ASSERT_TRUE(settingsReadOnly());

    ScratchDir backups(L"places-ro");
    BackupJob job;
    jobIn(job, backups.path(), L"");
    registerPlace(job);
    EXPECT_EQ(readBytes(folder + L"RegOpt.ini"), original);
    removeTree(folder);
}
