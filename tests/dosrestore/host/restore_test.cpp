// The restore run of the DOS restore program: which hives it copies, the copy commands,
// the questions on failures and the reading of SURVIN.INI.
#include <string>
#include <vector>

#include "backup_fixture.h"

namespace {

const std::string kSoftware = "C:\\WINDOWS\\system32\\config\\software";
const std::string kSystem = "C:\\WINDOWS\\system32\\config\\system";

std::vector<SavedHive> systemHives() {
    return {{"software", kSoftware, 1}, {"system", kSystem, 1}};
}

std::string copyCommand(const std::string& from, const std::string& to) {
    return "copy \"" + from + "\" \"" + to + "\" /Y";
}

TEST_F(DosTest, RestoresEveryHiveWithBakCopies) {
    addBackup(systemHives());
    sim::typeText("\r");
    sim::whenWaiting([] {
        EXPECT_EQ(sim::row(11), "Do you want to backup existing hives (Y/N)?");
        EXPECT_EQ(sim::row(25), " Press Esc if you want to abort");
        EXPECT_TRUE(sim::machine().cursorVisible);
        sim::typeText("y");
    });
    runToFinish("");

    EXPECT_EQ(sim::commands(),
              (std::vector<std::string>{copyCommand(kSoftware, kSoftware + ".bak"),
                                        copyCommand("C:\\BK\\software", kSoftware),
                                        copyCommand(kSystem, kSystem + ".bak"),
                                        copyCommand("C:\\BK\\system", kSystem)}));
    EXPECT_EQ(sim::machine().execs[0].program, "C:\\COMMAND.COM");
    EXPECT_EQ(sim::fileBytes(kSoftware), "saved:software");
    EXPECT_EQ(sim::fileBytes(kSoftware + ".bak"), "live:" + kSoftware);
    EXPECT_EQ(sim::fileBytes(kSystem), "saved:system");

    EXPECT_EQ(sim::row(11), "Press any key to exit.");
    EXPECT_EQ(sim::row(25), " Finished");

    // Any key ends the program in the colour the screen had, the screen cleared.
    sim::reset();
    addBackup(systemHives());
    sim::typeText("\ry ");
    EXPECT_EQ(sim::runSurvin(), 0);
    EXPECT_EQ(sim::screenText(), std::string(25, '\n'));
    EXPECT_EQ(sim::attrAt(40, 12), 0x07);
    EXPECT_TRUE(sim::machine().cursorVisible);
}

TEST_F(DosTest, AnsweringNoMakesNoBakCopies) {
    addBackup(systemHives());
    runToFinish("\rN");
    EXPECT_EQ(sim::commands(),
              (std::vector<std::string>{copyCommand("C:\\BK\\software", kSoftware),
                                        copyCommand("C:\\BK\\system", kSystem)}));
    EXPECT_FALSE(sim::exists(kSoftware + ".bak"));

    // Esc at the backup question ends the program without copying anything.
    sim::reset();
    addBackup(systemHives());
    sim::typeText("\r\x1b");
    EXPECT_EQ(sim::runSurvin(), 0);
    EXPECT_TRUE(sim::commands().empty());
    EXPECT_EQ(sim::fileBytes(kSoftware), "live:" + kSoftware);
}

TEST_F(DosTest, DataSectionRulesDecideWhatIsRestored) {
    const std::string kSam = "C:\\WINDOWS\\system32\\config\\sam";
    std::string ini = infoSection() +
        // Hive before Saved: Saved forgets the hive, so nothing to restore.
        "[DATA0]\r\nType=MACHINE\\SOFTWARE\r\nHive=" + kSoftware + "\r\nSaved=software\r\nCategory=1\r\n"
        // A new section forgets the saved path of the one before.
        "[DATA1]\r\nType=MACHINE\\SYSTEM\r\nSaved=system\r\n"
        "[DATA2]\r\nHive=" + kSystem + "\r\nCategory=1\r\n"
        // ... and its Type: this entry has none, and is refused.
        "[DATA3]\r\nType=MACHINE\\SAM\r\n[DATA4]\r\nSaved=sam\r\nHive=" + kSam + "\r\nCategory=1\r\n"
        // Keys in any case, restored.
        "[DATA5]\r\ntype=machine\\sam\r\nSAVED=sam\r\nhive=" + kSam + "\r\ncategory=1\r\n";
    sim::addFile("C:\\BK\\SURVIN.INI", ini);
    for (const char* name : {"software", "system", "sam"}) {
        sim::addFile(std::string("C:\\BK\\") + name, std::string("saved:") + name);
        sim::addFile(std::string("C:\\WINDOWS\\system32\\config\\") + name, "live");
    }
    sim::typeText("\rn");
    sim::whenWaiting([&] {
        EXPECT_EQ(sim::row(13), "Hive information invalid: " + kSam);
        sim::typeText("y");
    });
    runToFinish("");
    EXPECT_EQ(sim::commands(), (std::vector<std::string>{copyCommand("C:\\BK\\sam", kSam)}));
    EXPECT_EQ(sim::fileBytes(kSoftware), "live");
    EXPECT_EQ(sim::row(25), " Finished");
}

TEST_F(DosTest, HiddenLiveHiveIsRestoredWithoutBak) {
    addBackup(systemHives());
    sim::addFile(kSoftware, "hidden live", 0x22);
    sim::typeText("\ry");
    sim::whenWaiting([] {
        EXPECT_EQ(sim::row(13), "Hive to replace not found: " + kSoftware);
        EXPECT_EQ(sim::row(17), "Do you want to continue? (Y/N):");
        EXPECT_EQ(sim::attrAt(1, 17), 0x1E);
        EXPECT_EQ(sim::row(10), "Restoring software (1 of 2)");
        EXPECT_EQ(sim::row(25), " Restoring software (1 of 2)");
        sim::typeText("y");
    });
    runToFinish("");
    EXPECT_EQ(sim::commands(),
              (std::vector<std::string>{copyCommand("C:\\BK\\software", kSoftware),
                                        copyCommand(kSystem, kSystem + ".bak"),
                                        copyCommand("C:\\BK\\system", kSystem)}));
    EXPECT_EQ(sim::fileBytes(kSoftware), "saved:software");
    EXPECT_EQ(sim::row(17), "");  // the question area is blank again

    // No stops the run; the finished screen follows.
    sim::reset();
    addBackup(systemHives());
    sim::addFile(kSoftware, "hidden live", 0x02);
    runToFinish("\ryn");
    EXPECT_TRUE(sim::commands().empty());
}

TEST_F(DosTest, RestoreCopyOfTheWrongSizeIsAFailure) {
    addBackup(systemHives());
    sim::machine().copyMode = sim::CopyMode::Truncate;
    sim::typeText("\rn");
    sim::whenWaiting([] {
        EXPECT_TRUE(contains(sim::screenText(),
                             "Unable to restore hive: Copied file does not match its source"))
            << sim::screenText();
        EXPECT_EQ(sim::row(17), "Do you want to continue with the next hive? (Y/N):");
        sim::typeText("n");  // stop: the second hive is not touched
    });
    runToFinish("");
    EXPECT_EQ(sim::commands().size(), 1u);
    EXPECT_EQ(sim::fileBytes(kSystem), "live:" + kSystem);

    // A copy that leaves the live file as it was is caught the same way.
    sim::reset();
    addBackup(systemHives());
    sim::machine().copyMode = sim::CopyMode::Nothing;
    runToFinish("\rnyy");
    EXPECT_EQ(sim::commands().size(), 2u);
}

TEST_F(DosTest, BakThatDosCannotNameIsReportedNotAssumed) {
    // NTUSER.DAT.bak is no DOS file name.
    addBackup({threeGroups()[1], {"software", kSoftware, 1}});
    sim::typeText("\ry");
    sim::whenWaiting([] {
        EXPECT_TRUE(contains(sim::screenText(), "Unable to backup hive: Invalid file name"));
        EXPECT_EQ(sim::row(17), "Do you want to continue? (Y/N):");
        EXPECT_TRUE(sim::commands().empty());
        sim::typeText("y");
    });
    runToFinish("");
    EXPECT_EQ(sim::fileBytes("C:\\DOCUME~1\\Alice\\NTUSER.DAT"), "saved:Users\\1\\NTUSER.DAT");
    EXPECT_EQ(sim::commands().size(), 3u);

    // A backup copy that did not arrive counts as failed too.
    sim::reset();
    addBackup(systemHives());
    sim::addDir("C:\\WINDOWS\\system32\\config\\software.bak");  // in the way
    runToFinish("\ryn");
    EXPECT_TRUE(sim::exists("C:\\WINDOWS\\system32\\config\\software.bak"));
    EXPECT_EQ(sim::commands().size(), 1u);
    EXPECT_EQ(sim::fileBytes(kSoftware), "live:" + kSoftware);
}

// A saved or live path that an interpreter would read as more than a file name, or that
// DOS opens as a device: that hive's failure, one question, no copy made and nothing read
// from the device.
TEST_F(DosTest, PathThatWouldBreakTheCopyCommandIsRefused) {
    const std::vector<SavedHive> cases = {
        {"soft+sys", kSoftware, 1},  // "+" would make copy join two files into the live hive
        {"software", "C:\\WINDOWS\\%WINDIR%\\config\\SOFTWARE", 1},
        {"software", "C:\\WINDOWS\\system32\\config\\SOFTWA^E", 1},
        {"software", "C:\\R&D\\system32\\config\\software", 1},
        {"software", "C:\\WINDOWS\\system32\\config\\HIVEDRV", 1},  // an installed driver's name
        {"Users\\1\\HIVEDRV.DAT", "C:\\WINDOWS\\system32\\config\\software", 1},
    };
    for (const SavedHive& entry : cases) {
        sim::reset();
        survin::resetState(sim::state());
        sim::machine().devices.insert("HIVEDRV");
        addBackup(systemHives());
        sim::addFile("C:\\BK\\SURVIN.INI", iniFor({entry, {"system", kSystem, 1}}));
        sim::addFile("C:\\BK\\" + entry.saved, "saved");
        sim::typeText("\ry");
        sim::whenWaiting([&] {
            EXPECT_TRUE(contains(sim::row(13), "Unable to restore hive: ")) << entry.hive << sim::screenText();
            EXPECT_EQ(sim::row(17), "Do you want to continue with the next hive? (Y/N):") << entry.hive;
            sim::typeText("y");
        });
        runToFinish("");
        EXPECT_EQ(sim::commands(), (std::vector<std::string>{copyCommand(kSystem, kSystem + ".bak"),
                                                             copyCommand("C:\\BK\\system", kSystem)}))
            << entry.saved << " " << entry.hive;
        EXPECT_EQ(sim::fileBytes(kSoftware), "live:" + kSoftware);
    }
}

TEST_F(DosTest, InterpreterThatCannotRunGivesErrorLines) {
    addBackup({{"software", kSoftware, 1}});
    sim::machine().execError = survin::kErrNoMemory;
    sim::typeText("\ryy");
    sim::whenWaiting([] {
        std::string screen = sim::screenText();
        EXPECT_TRUE(contains(screen, "Unable to backup hive: Not enough memory")) << screen;
        EXPECT_TRUE(contains(screen, "Unable to restore hive: Not enough memory")) << screen;
        sim::typeText("y");
    });
    runToFinish("");

    // No COMSPEC at all; the second question stops the run.
    sim::reset();
    addBackup(systemHives());
    sim::machine().env.erase("COMSPEC");
    sim::typeText("\rn");
    sim::whenWaiting([] {
        EXPECT_TRUE(contains(sim::screenText(),
                             "Unable to restore hive: No such file or directory"));
        EXPECT_EQ(sim::row(17), "Do you want to continue with the next hive? (Y/N):");
        sim::typeText("n");
    });
    runToFinish("");
    EXPECT_TRUE(sim::commands().empty());
}

TEST_F(DosTest, MissingSavedHiveIsSkippedButCounted) {
    addBackup(systemHives());
    sim::machine().disk.erase("C:\\BK\\SOFTWARE");
    sim::typeText("\rn");
    sim::whenWaiting([] {
        EXPECT_EQ(sim::row(13), "Can't find backup hive: software");
        EXPECT_EQ(sim::row(17), "Do you want to continue with the next hive? (Y/N):");
        sim::typeText("y");
    });
    runToFinish("");
    EXPECT_EQ(sim::commands(), (std::vector<std::string>{copyCommand("C:\\BK\\system", kSystem)}));
    EXPECT_EQ(sim::row(25), " Finished");
}

TEST_F(DosTest, ChangedRootMovesOnlyTheDriveLetter) {
    addBackup(systemHives());
    sim::addFile("D:\\WINDOWS\\system32\\config\\software", "other live");
    sim::pressExtended(0x3C);  // F2
    sim::typeText(std::string(10, '\b') + "D:\\WINDOWS\r");
    bool waiting = false;
    sim::typeText("\rn");
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);
    EXPECT_EQ(sim::commands().at(0),
              copyCommand("C:\\BK\\software", "D:\\WINDOWS\\system32\\config\\software"));
    EXPECT_EQ(sim::row(13), "Hive to replace not found: D:\\WINDOWS\\system32\\config\\system");
}

// Every way the program ends at once leaves its last text to be read, in the colour the
// screen had before it started, with the normal cursor and without restoring anything.
TEST_F(DosTest, EveryEarlyEndPutsBackColourAndCursor) {
    struct Case {
        const char* what;
        std::string ini;  // empty: no SURVIN.INI
        std::vector<int> keys;
        std::string shown;
    };
    const std::string good = iniFor(systemHives());
    const std::vector<Case> cases = {
        {"no SURVIN.INI", "", {}, "Error opening C:\\BK\\SURVIN.INI file"},
        {"no hives", infoSection() + "[DATA0]\r\nCategory=0\r\n", {}, "Err getting info. No hives found"},
        {"Esc on the main screen", good, {27}, "Press the Enter key to start restoration"},
        {"Esc at the backup question", good, {13, 27}, "Do you want to backup existing hives (Y/N)?"},
        {"no hives selected", good, {0x13D, 8, 8, 13, 'y'}, "No hives selected. Do you want to exit (Y/N)?"},
        {"no Windows root", "OSString=x\r\nSysRoot=C:\\GONE\r\nCategory=1\r\n", {13, 'y'},
         "Windows root does not exist or invalid."},
    };
    for (const Case& c : cases) {
        sim::reset();
        survin::resetState(sim::state());
        addBackup(systemHives());
        if (c.ini.empty()) {
            sim::machine().disk.erase("C:\\BK\\SURVIN.INI");
        } else {
            sim::addFile("C:\\BK\\SURVIN.INI", c.ini);
        }
        for (auto& line : sim::machine().screen) {
            for (sim::Cell& cell : line) cell.attr = 0x2A;  // the screen as the user had it
        }
        for (int key : c.keys) sim::pressKey(key);
        bool waiting = false;
        EXPECT_EQ(sim::runSurvin(&waiting), 0) << c.what;
        EXPECT_FALSE(waiting) << c.what;
        EXPECT_TRUE(contains(sim::screenText(), c.shown)) << c.what << "\n" << sim::screenText();
        int other = 0;
        for (int y = 1; y <= 25; ++y) {
            for (int x = 1; x <= 80; ++x) other += sim::attrAt(x, y) != 0x2A;
        }
        EXPECT_EQ(other, 0) << c.what;
        EXPECT_TRUE(sim::machine().cursorVisible) << c.what;
        EXPECT_TRUE(sim::commands().empty()) << c.what;
    }
}

TEST_F(DosTest, StartedWithoutAFolderReadsTheCurrentOne) {
    sim::addFile("SURVIN.INI", infoSection() + "Category=1\r\n");
    bool waiting = false;
    sim::runSurvin(&waiting, "SURVIN.EXE");
    EXPECT_TRUE(waiting);
    EXPECT_EQ(sim::row(6), "        Windows Root = C:\\WINDOWS");
}

TEST_F(DosTest, InformationPassCountsCategoriesAnywhere) {
    sim::addFile("C:\\BK\\SURVIN.INI", infoSection() +
                                           "[DATA0]\r\nCategory=3\r\n"
                                           "[Other]\r\nCategory:4\r\n"
                                           "Category=8\r\n"
                                           "Category\r\n");
    survin::resetState(sim::state());
    text::copy(sim::state().szAppDir, "C:\\BK\\", sizeof sim::state().szAppDir);
    survin::ParseIni_1(sim::state());
    EXPECT_EQ(sim::state().dwHives, 15u);
    EXPECT_EQ(sim::state().nTotHivesSys, 1);
    EXPECT_EQ(sim::state().nTotHivesUsr, 1);
    EXPECT_EQ(sim::state().nTotHivesOth, 1);
    EXPECT_EQ(sim::state().dwHivesSel, 15u);
    EXPECT_STREQ(sim::state().szRoot, "C:\\WINDOWS");
}

TEST_F(DosTest, LongLinesAndValuesAreCut) {
    // The part of a line past 511 characters is dropped, not read as a line of its own.
    std::string longLine = "X=" + std::string(509, 'a') + "Category=4";
    std::string ini = "OSString=" + std::string(600, 'o') + "\r\n" + longLine +
                      "\r\nSysRoot=C:\\WINDOWS\r\nCategory=1\r\n";
    sim::addFile("C:\\BK\\SURVIN.INI", ini);
    survin::resetState(sim::state());
    text::copy(sim::state().szAppDir, "C:\\BK\\", sizeof sim::state().szAppDir);
    survin::ParseIni_1(sim::state());
    EXPECT_EQ(sim::state().dwHives, 1u);
    EXPECT_EQ(std::string(sim::state().szOs), std::string(255, 'o'));
    EXPECT_STREQ(sim::state().szRoot, "C:\\WINDOWS");
}

TEST_F(DosTest, CommandThatDoesNotFitACommandLineIsRefused) {
    std::string deep = "C:\\" + std::string(60, 'D') + "\\" + std::string(40, 'E') + "\\config\\software";
    addBackup({{"software", deep, 1}});
    sim::typeText("\rn");
    sim::whenWaiting([] {
        EXPECT_TRUE(contains(sim::screenText(), "Unable to restore hive: Arg list too big"))
            << sim::screenText();
        sim::typeText("n");
    });
    runToFinish("");
    EXPECT_TRUE(sim::commands().empty());
    EXPECT_EQ(sim::fileBytes(deep), "live:" + deep);
}

}  // namespace
