// Choosing the restore mode and the target Windows root from the loaded backup and the
// running system.
#include <gtest/gtest.h>

#include "edition.h"
#include "loader.h"
#include "restore_fixture.h"

using namespace restore_tests;

namespace {

class DetectTest : public ::testing::Test {
protected:
    // Writes the backup's INFO section and hive section, then loads it as the program does.
    void load(const std::string& sysRoot, const std::string& winVer, const OsInfoRecord& record) {
        writeInfoSection(folder.ini(), sysRoot, winVer, record);
        writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", sysRoot + "\\system32\\config\\SYSTEM", 1);
        session = RestoreSession{};
        session.infoFilePath = folder.ini();
        session.currentWindowsRoot = currentWindowsRootA();
        session.infoLoaded = LoadRestoreInfo(session) ? 1 : 0;
        ASSERT_EQ(1, session.infoLoaded);
    }
    void detect(const std::string& programFile) { detectRestoreTargetFrom(session, programFile); }

    SystemRecord system = runningSystem();
    BackupFolder folder;
    RestoreSession session;
};

std::string upper(std::string text) {
    CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

TEST_F(DetectTest, SameWindowsIsRestoredThroughTheRegistry) {
    std::string current = currentWindowsRootA();
    ASSERT_FALSE(current.empty());
    load(upper(current), system.winVer, system.record);  // the root compares without case
    session.targetWindowsRoot = "X:\\elsewhere";
    detect("Z:\\somewhere\\SURVIN.EXE");
    EXPECT_EQ(WindowsApi, session.restoreMode);
    EXPECT_EQ(WindowsApi, session.detectedMode);
    EXPECT_EQ(current, session.targetWindowsRoot);
    EXPECT_EQ(0, session.osDiffers);
}

TEST_F(DetectTest, AnotherRootCopiesFilesAndKeepsTheStoredRoot) {
    load("Q:\\WINNT", system.winVer, system.record);
    detect("Z:\\somewhere\\SURVIN.EXE");
    EXPECT_EQ(CopyFiles, session.restoreMode);
    EXPECT_EQ(CopyFiles, session.detectedMode);
    EXPECT_EQ("Q:\\WINNT", session.targetWindowsRoot);  // kept although Q: does not exist
    EXPECT_EQ(0, session.osDiffers);
}

TEST_F(DetectTest, AnotherRecordCopiesFilesAndMarksTheSystemAsDifferent) {
    const std::string current = currentWindowsRootA();
    // Each of the five compared fields on its own makes the backup another Windows.
    for (int field = 0; field < 5; ++field) {
        OsInfoRecord other = system.record;
        switch (field) {
        case 0: other.suiteMask ^= 0x0100; break;
        case 1: other.productType = other.productType == 1 ? 3 : 1; break;
        case 2: other.productNumber += 1; break;
        case 3: other.architecture = other.architecture == 9 ? 0 : 9; break;
        case 4: other.platformId = other.platformId == 2 ? 1 : 2; break;
        }
        if (field == 4) {  // a 9x-type record with a text of its own
            other.majorVersion = 4;
            other.minorVersion = 10;
        }
        load(current, field == 4 ? "4.10" : system.winVer, other);
        detect("Z:\\somewhere\\SURVIN.EXE");
        EXPECT_EQ(CopyFiles, session.restoreMode) << field;
        EXPECT_EQ(1, session.osDiffers) << field;
        EXPECT_EQ(current, session.targetWindowsRoot) << field;
    }
}

TEST_F(DetectTest, LaterWindowsVersionNeverCountsAsTheSameWindows) {
    // A backup of Windows 8 or later is another Windows than this one (the suite's own
    // version); the same Windows 8 or later is shown by the wizard's tests, which switch
    // the version the programs see.
    const std::string current = currentWindowsRootA();
    const struct {
        const char* winVer;
        uint32_t major, minor, build;
    } later[] = {{"6.2", 6, 2, 9200}, {"10.0", 10, 0, 19045}};
    for (const auto& version : later) {
        SCOPED_TRACE(version.winVer);
        OsInfoRecord record = system.record;
        record.majorVersion = version.major;
        record.minorVersion = version.minor;
        record.buildNumber = version.build;
        load(current, version.winVer, record);
        EXPECT_EQ(9, session.backupVersionCode);
        detect(current + "\\Tolmen\\2026-12-08\\SURVIN.EXE");
        EXPECT_EQ(CopyFiles, session.restoreMode);
        EXPECT_EQ(current, session.targetWindowsRoot);  // the same folder, found by the search
        EXPECT_EQ(0, session.osDiffers);
    }
}

TEST_F(DetectTest, TargetRootIsFoundUnderTheDriveLetterTheProgramRunsFrom) {
    OfflineTree offline;  // R:\tolmen-tests\restore-...
    const std::string tail = offline.root().substr(1) + "\\WINDOWS";  // :\tolmen-tests\...\WINDOWS
    OfflineTree::put("R" + tail + "\\system32\\config\\SYSTEM", "live");
    load("C" + tail, system.winVer, system.record);

    detect("r" + tail + "\\Tolmen\\2026-12-08\\SURVIN.EXE");
    EXPECT_EQ(CopyFiles, session.restoreMode);
    EXPECT_EQ("r" + tail, session.targetWindowsRoot);

    // Outside that folder, or where the candidate does not exist, the stored root stays.
    const char* const elsewhere[] = {"R:\\tolmen-tests\\SURVIN.EXE", "Q:\\other\\SURVIN.EXE"};
    for (const char* program : elsewhere) {
        load("C" + tail, system.winVer, system.record);
        detect(program);
        EXPECT_EQ("C" + tail, session.targetWindowsRoot) << program;
    }
    load("C" + tail, system.winVer, system.record);
    detect("Q" + tail + "\\Tolmen\\SURVIN.EXE");  // Q: holds no such folder
    EXPECT_EQ("C" + tail, session.targetWindowsRoot);
    EXPECT_EQ(CopyFiles, session.detectedMode);
}

TEST_F(DetectTest, NothingIsDetectedWithoutALoadedFileOrWithAutomaticModeOff) {
    load("Q:\\WINNT", system.winVer, system.record);
    session.autoDetect = 0;
    detect("Z:\\x\\SURVIN.EXE");
    EXPECT_EQ(WindowsApi, session.restoreMode);
    EXPECT_EQ(WindowsApi, session.detectedMode);

    session.autoDetect = 1;
    session.infoLoaded = 0;
    detect("Z:\\x\\SURVIN.EXE");
    EXPECT_EQ(WindowsApi, session.restoreMode);
}

TEST_F(DetectTest, StartUpLoadsAndDetectsForTheProgramFolder) {
    writeInfoSection(folder.ini(), "Q:\\WINNT");
    writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", "Q:\\WINNT\\system32\\config\\SYSTEM", 3);
    RestoreSession started;
    started.failed = 1;
    started.restoreMode = CopyFiles;
    initSession(started, folder.folder());
    EXPECT_EQ(folder.folder(), started.backupFolder);
    EXPECT_EQ(folder.folder() + "SURVIN.INI", started.infoFilePath);
    EXPECT_EQ(1, started.infoLoaded);
    EXPECT_EQ(0, started.failed);
    EXPECT_EQ(1, started.backupExisting);
    EXPECT_EQ(3u, started.selectedCategories);
    EXPECT_EQ(currentWindowsRootA(), started.currentWindowsRoot);
    EXPECT_EQ(CopyFiles, started.detectedMode);
    EXPECT_EQ("Q:\\WINNT", started.targetWindowsRoot);

    RestoreSession empty;
    BackupFolder nothing;
    initSession(empty, nothing.folder());
    EXPECT_EQ(0, empty.infoLoaded);
    EXPECT_EQ(WindowsApi, empty.restoreMode);

    // A program folder without an ANSI name is none: no SURVIN.INI is read elsewhere, not
    // even the one at the root of the current drive.
    char previous[MAX_PATH] = "";
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(nothing.folder().c_str()));
    const std::string rootIni = nothing.folder().substr(0, 3) + "SURVIN.INI";
    ASSERT_TRUE(CopyFileA(folder.ini().c_str(), rootIni.c_str(), FALSE));
    RestoreSession nameless;
    initSession(nameless, "");
    DeleteFileA(rootIni.c_str());
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(0, nameless.infoLoaded);
}
