// The two programs together: a backup folder written by Tolmen.exe is loaded and restored
// by the restore engine, and the shipped SURVIN.EXE honours its command line and its
// single-instance lock.
#include <gtest/gtest.h>

#include <vector>

#include "handles.h"
#include "loader.h"
#include "platform.h"
#include "restore_fixture.h"

using namespace restore_tests;
using namespace testing_support;

namespace {

struct OfflineHive {
    std::string saved;  // in the backup folder
    std::string live;   // on drive R:
};

// R:\windows and R:\users mirror the hive files of C: as an inactive installation.
class OfflineDriveR {
public:
    ~OfflineDriveR() {
        removeTree(L"R:\\windows");
        removeTree(L"R:\\users");
    }
};

// The hive files lie in the 64-bit system folder: look at them as the restore program
// does, with WOW64 redirection off for this thread.
class NoRedirection {
public:
    NoRedirection() : off_(disableFsRedirection(&cookie_)) {}
    ~NoRedirection() {
        if (off_) revertFsRedirection(cookie_);
    }

private:
    PVOID cookie_ = nullptr;
    bool off_;
};

}  // namespace

TEST(EndToEnd, BackupOfTolmenIsRestoredIntoAnOfflineInstallationByteForByte) {
    ScratchDir dir(L"restore-e2e");
    std::wstring folder = dir.path().substr(0, dir.path().size() - 1);  // no trailing backslash
    const std::string backup = ansi(dir.path());
    testing_support::PrivateTolmen program(L"restore-e2e-program");
    // Another test may run Tolmen.exe at the same moment; a second instance ends silently.
    for (int attempt = 0; attempt < 30 && !exists(backup + "SURVIN.INI"); ++attempt) {
        if (attempt) Sleep(1000);
        DWORD exitCode = 1;
        ASSERT_TRUE(runProgram(L"\"" + program.exe() + L"\" " + folder + L" /silent /reg:SUO", 120000,
                               &exitCode));
    }
    ASSERT_TRUE(exists(backup + "SURVIN.INI")) << "Tolmen.exe wrote no backup";

    NoRedirection redirection;
    RestoreSession session;
    initSession(session, backup);
    ASSERT_EQ(1, session.infoLoaded);
    // The backup was made on this very Windows: both programs must agree on it.
    EXPECT_EQ(WindowsApi, session.detectedMode);
    EXPECT_EQ(0, session.osDiffers);
    EXPECT_EQ(currentWindowsRootA(), session.targetWindowsRoot);
    EXPECT_NE(0u, session.availableCategories & 1u);

    // Lay out the inactive installation on R: with other contents in every hive file.
    OfflineDriveR cleanup;
    std::vector<OfflineHive> hives;
    for (int i = 0; i < 100; ++i) {
        char section[16];
        wsprintfA(section, "DATA%d", i);
        std::string hive = readValue(session.infoFilePath, section, "Hive");
        if (hive.empty()) break;
        char longPath[MAX_PATH] = "";
        ASSERT_GT(GetLongPathNameA(hive.c_str(), longPath, MAX_PATH), 0u) << hive;
        std::string live = "R" + std::string(longPath).substr(1);
        OfflineTree::put(live, "offline hive " + live);
        hives.push_back({backup + readValue(session.infoFilePath, section, "Saved"), live});
    }
    ASSERT_GE(hives.size(), 3u);

    ScriptedActions actions;
    session.restoreMode = CopyFiles;
    session.targetWindowsRoot = "R:\\windows";
    RunRestore(session, actions);

    EXPECT_EQ(0, session.failed);
    EXPECT_TRUE(actions.questions.empty());
    EXPECT_EQ(0, actions.restarts);
    ASSERT_EQ(hives.size(), session.plan.size());
    for (size_t i = 0; i < hives.size(); ++i) {
        EXPECT_STRCASEEQ(hives[i].live.c_str(), session.plan[i].hivePath);
        std::string saved = fileBytes(hives[i].saved);
        ASSERT_FALSE(saved.empty()) << hives[i].saved;
        EXPECT_EQ(saved, fileBytes(hives[i].live)) << hives[i].live;
        EXPECT_EQ("offline hive " + hives[i].live, fileBytes(hives[i].live + ".BAK"));
    }
    EXPECT_EQ(wide("处理  "), actions.lines(Reported::Line).back());
}

namespace {

// A backup folder holding the shipped SURVIN.EXE and a hive it could restore into R:.
class ShippedProgram : public ::testing::Test {
protected:
    void SetUp() override {
        live = offline.root() + "\\WINDOWS\\system32\\config\\SYSTEM";
        OfflineTree::put(live, "live SYSTEM");
        writeInfoSection(folder.ini(), "C" + offline.root().substr(1) + "\\WINDOWS");
        writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", live, 1);
        folder.saveHive("system", "saved SYSTEM");
        program = folder.folder() + "SURVIN.EXE";
        ASSERT_TRUE(CopyFileW(distFile(L"Survin.exe").c_str(), wide(program).c_str(), FALSE));
    }

    OfflineTree offline;
    BackupFolder folder;
    std::string live, program;
};

}  // namespace

TEST_F(ShippedProgram, AnyCommandLineShowsNothingAndRestoresNothing) {
    DWORD exitCode = 1;
    ASSERT_TRUE(runProgram(L"\"" + wide(program) + L"\" /restore", 30000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ("live SYSTEM", fileBytes(live));
    EXPECT_FALSE(exists(live + ".BAK"));
}

TEST_F(ShippedProgram, SecondInstanceEndsAtOnceWithoutAWindow) {
    SingleInstance running(L"SURVIN_RESTORE_MUTEX_2008");
    ASSERT_FALSE(running.otherRunning());
    DWORD exitCode = 1;
    // An empty command line would open the wizard and wait: only the lock ends it.
    ASSERT_TRUE(runProgram(L"\"" + wide(program) + L"\"", 30000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ("live SYSTEM", fileBytes(live));
}
