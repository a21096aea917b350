// What the restore may write and read: the path rules shared with the Windows restore
// program, the DOS program's refusal of a crafted SURVIN.INI before anything is copied, and
// its checks of the saved file and of each copy's contents.
#include <string>
#include <vector>

#include "../common/hive_path.h"
#include "backup_fixture.h"

namespace {

const std::string kSoftware = "C:\\WINDOWS\\system32\\config\\software";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool isHive(const std::string& hive, const std::string& root = "C:\\WINDOWS") {
    return hivepath::isHiveOfInstallation(hive.c_str(), root.c_str());
}

TEST(HivePathRules, HiveFilesOfTheInstallationPass) {
    for (const char* hive : {
             "C:\\WINDOWS\\system32\\config\\SOFTWARE",
             "c:\\windows\\SYSTEM32\\CONFIG\\sam",
             "C:\\WINDOWS\\system32\\config\\systemprofile\\NTUSER.DAT",  // the system profile
             "C:\\WINDOWS\\system32\\config\\SYSTEM~1\\NTUSER.DAT",
             "C:\\Users\\Alice\\NTUSER.DAT",
             "C:\\Users\\ALICE~1\\AppData\\Local\\MICROS~1\\Windows\\UsrClass.dat",
             "C:\\Documents and Settings\\Bob\\NTUSER.DAT",
             "C:\\DOCUME~1\\Bob\\LOCALS~1\\APPLIC~1\\MICROS~1\\Windows\\USRCLASS.DAT",
             "C:\\WINDOWS\\ServiceProfiles\\LocalService\\NTUSER.DAT",
             "C:\\WINDOWS\\SERVIC~1\\NETWOR~1\\NTUSER.DAT",
             "C:\\DO1A2B~1\\Bob\\NTUSER.DAT",  // the hashed short form
             "C:\\WINDOWS\\SERV~XYZ\\LOCA~ABC\\NTUSER.DAT",  // letters after the "~"
         }) {
        EXPECT_TRUE(isHive(hive)) << hive;
    }
    // A Windows folder deeper down has its profiles beside it.
    EXPECT_TRUE(isHive("R:\\Disks\\Old\\WINNT\\system32\\config\\SYSTEM", "R:\\Disks\\Old\\WINNT"));
    EXPECT_TRUE(isHive("R:\\Disks\\Old\\Users\\a\\NTUSER.DAT", "R:\\Disks\\Old\\WINNT"));
    EXPECT_TRUE(isHive("R:\\DISKS~1\\Old\\WINNT\\system32\\config\\SYSTEM", "R:\\Disks Of Mine\\Old\\WINNT"));
    EXPECT_TRUE(isHive("C:\\WINDOWS\\system32\\config\\SYSTEM", "C:\\WINDOWS\\"));
}

TEST(HivePathRules, AnythingElseIsRefused) {
    for (const char* hive : {
             "C:\\DOCS\\THESIS.DOC",
             "C:\\WINDOWS\\system32\\config",                     // the folder itself
             "C:\\WINDOWS\\system32\\SOFTWARE",
             "C:\\WINDOWS\\SysWOW64\\config\\SOFTWARE",
             "D:\\WINDOWS\\system32\\config\\SOFTWARE",           // another drive than the root's
             "C:\\OTHER\\system32\\config\\SOFTWARE",             // another installation
             "C:\\WINDOWS\\system32\\config\\..\\..\\win.ini",
             "C:\\WINDOWS\\system32\\config\\...\\x",
             "C:\\Users\\..\\DOCS\\NTUSER.DAT",
             "C:\\WINDOWS\\system32\\config\\.\\SAM",
             "C:\\WINDOWS\\system32\\config\\\\SAM",              // doubled separator
             "C:\\WINDOWS\\system32\\config\\SAM\\",
             "C:\\WINDOWS/system32/config/SAM",
             "C:\\WINDOWS\\system32\\config/../../../DOCS/THESIS.DOC",
             "C:\\WINDOWS\\system32\\config.\\SAM",               // Windows drops the dot
             "C:\\WINDOWS\\system32\\config \\SAM",
             "C:\\WINDOWS\\system32\\config\\SAM.",
             "C:\\WINDOWS\\system32\\config\\SAM:stream",
             "C:\\WINDOWS\\system32\\config\\SAM::$DATA",
             "C:\\WINDOWS\\system32\\config\\CON",
             "C:\\WINDOWS\\system32\\config\\nul.dat",
             "C:\\WINDOWS\\system32\\config\\COM1",
             "C:\\WINDOWS\\system32\\config\\LPT9.x",
             "C:\\WINDOWS\\system32\\config\\AUX  .hiv",
             "\\\\server\\share\\WINDOWS\\system32\\config\\SAM",
             "\\\\?\\C:\\WINDOWS\\system32\\config\\SAM",
             "\\\\.\\C:\\WINDOWS\\system32\\config\\SAM",
             "C:WINDOWS\\system32\\config\\SAM",
             "C:\\WINDOWS\\system32\\config\\S*",
             "C:\\WINDOWS\\system32\\config\\\"SAM\"",
             "C:\\Users\\NTUSER.DAT",                             // not inside a profile
             "C:\\Users\\Alice\\THESIS.DOC",
             "C:\\Users\\Alice\\NTUSER.DAT.LOG",
             "C:\\Users\\Alice\\NTUSER.DAT:x",
             "C:\\Users\\Alice\\NTUSER.DAT.",
             "C:\\Program Files\\Alice\\NTUSER.DAT",
             "C:\\WINDOWS\\Users\\Alice\\NTUSER.DAT",
             "C:\\WINDOWS\\ServiceProfiles\\NTUSER.DAT",
             "C:\\SYSTEM~1\\x\\NTUSER.DAT",                       // System32 has no alias
             "C:\\WINDOWS\\SYSTEM~1\\config\\SAM",
             "C:\\DOC~1\\x\\NTUSER.DAT~1",
             "C:\\XOCUME~1\\Bob\\NTUSER.DAT",
             "C:\\DOCUME~\\Bob\\NTUSER.DAT",
             "C:\\DOCUME~1-2\\Bob\\NTUSER.DAT",
             "C:\\DOCUMEN~12\\Bob\\NTUSER.DAT",
             "",
         }) {
        EXPECT_FALSE(isHive(hive)) << hive;
    }
    // Roots that name no Windows folder.
    for (const char* root : {"C:", "C:\\", "", "WINDOWS", "C:\\WIN..", "C:\\..\\WINDOWS", "C:\\CON"}) {
        EXPECT_FALSE(isHive("C:\\WINDOWS\\system32\\config\\SAM", root)) << root;
    }
}

TEST(HivePathRules, SavedPathsStayInsideTheBackupFolder) {
    for (const char* saved : {"software", "Users\\1\\NTUSER.DAT", "Users\\12\\UsrClass.dat", "a.b.c"}) {
        EXPECT_TRUE(hivepath::isInsideBackupFolder(saved)) << saved;
    }
    for (const char* saved : {
             "", "C:\\WINDOWS\\system32\\config\\SAM", "C:software", "\\software", "\\\\server\\share\\x",
             "..\\x", "Users\\..\\..\\x", "Users\\1\\..", "Users/../../x", "Users\\\\1", "Users\\1\\",
             "software:stream", "software.", "software ", "CON", "Users\\nul", "soft*", "\"software\"",
             "\\\\?\\C:\\x",
         }) {
        EXPECT_FALSE(hivepath::isInsideBackupFolder(saved)) << saved;
    }
}

// A SURVIN.INI whose one selected entry names a file it must not: the run ends with the
// value shown and no copy made, also when an entry before it was fine.
class CraftedIni : public DosTest {
protected:
    void expectRefused(const std::vector<SavedHive>& hives, const std::string& shown) {
        sim::reset();
        survin::resetState();
        addBackup({{"software", kSoftware, 1}});
        sim::addFile("C:\\DOCS\\THESIS.DOC", "my thesis");
        sim::addFile("C:\\BK\\SURVIN.INI", iniFor(hives));
        for (const SavedHive& h : hives) {
            if (h.saved.find(':') == std::string::npos && h.saved.find("..") == std::string::npos &&
                h.saved[0] != '\\')
                sim::addFile("C:\\BK\\" + h.saved, "saved:" + h.saved);
        }
        sim::typeText("\ry");
        EXPECT_EQ(sim::runSurvin(), 0) << shown;
        EXPECT_EQ(sim::row(10), "Hive information invalid: " + shown);
        EXPECT_TRUE(sim::commands().empty()) << shown;
        EXPECT_EQ(sim::fileBytes("C:\\DOCS\\THESIS.DOC"), "my thesis");
        EXPECT_EQ(sim::fileBytes(kSoftware), "live:" + kSoftware);
    }
};

TEST_F(CraftedIni, HiveOutsideTheInstallationEndsTheRunBeforeAnyCopy) {
    expectRefused({{"software", kSoftware, 1}, {"thesis", "C:\\DOCS\\THESIS.DOC", 1}}, "C:\\DOCS\\THESIS.DOC");
    expectRefused({{"thesis", "C:\\WINDOWS\\system32\\config\\..\\..\\DOCS\\THESIS.DOC", 2}},
                  "C:\\WINDOWS\\system32\\config\\..\\..\\DOCS\\THESIS.DOC");
    expectRefused({{"thesis", "C:\\DOCS\\NTUSER.DAT", 4}}, "C:\\DOCS\\NTUSER.DAT");
    // The drive letter follows the root first: another drive in the file changes nothing.
    expectRefused({{"thesis", "E:\\DOCS\\THESIS.DOC", 1}}, "C:\\DOCS\\THESIS.DOC");
}

TEST_F(CraftedIni, SavedOutsideTheBackupFolderEndsTheRunBeforeAnyCopy) {
    for (const char* saved : {"C:\\DOCS\\THESIS.DOC", "\\DOCS\\THESIS.DOC", "\\\\SERVER\\SHARE\\HIVE",
                              "..\\DOCS\\THESIS.DOC", "Users\\..\\..\\DOCS\\THESIS.DOC"}) {
        expectRefused({{"software", kSoftware, 1}, {saved, "C:\\WINDOWS\\system32\\config\\system", 1}}, saved);
    }
}

TEST_F(DosTest, UnselectedEntriesAreNotChecked) {
    addBackup({{"software", kSoftware, 1}});
    sim::addFile("C:\\BK\\SURVIN.INI",
                 iniFor({{"software", kSoftware, 1}, {"thesis", "C:\\DOCS\\THESIS.DOC", 4}}));
    sim::pressExtended(0x3D);  // F3: only the system hives
    sim::typeText(std::string(3, '\b') + "s\r");
    sim::typeText("\rn");
    bool waiting = false;
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);
    EXPECT_EQ(sim::row(10), "Finsihed restoring registry.") << sim::screenText();
    EXPECT_EQ(sim::fileBytes(kSoftware), "saved:software");
}

TEST_F(DosTest, EmptySavedHiveIsNeverCopied) {
    const std::string system = "C:\\WINDOWS\\system32\\config\\system";
    addBackup({{"software", kSoftware, 1}, {"system", system, 1}});
    sim::addFile("C:\\BK\\software", "");
    sim::typeText("\ry");
    sim::whenWaiting([] {
        EXPECT_TRUE(contains(sim::screenText(), "Unable to restore hive: Saved hive is empty")) << sim::screenText();
        EXPECT_EQ(sim::row(17), "Do you want to continue with the next hive? (Y/N):");
        EXPECT_TRUE(sim::commands().empty()) << "not even the .bak copy";
        sim::typeText("y");
    });
    bool waiting = false;
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);
    EXPECT_EQ(sim::fileBytes(kSoftware), "live:" + kSoftware);
    EXPECT_FALSE(sim::exists(kSoftware + ".bak"));
    EXPECT_EQ(sim::fileBytes(system), "saved:system");
}

// The signature rule: a saved Windows hive ("regf") goes only over a file that has the
// signature too; without it in the saved file, nothing is refused for its absence.
TEST_F(DosTest, HiveSignatureOfTheSavedFileMustBeInTheTarget) {
    struct Case {
        std::string saved, live;
        bool restored;
    };
    const std::vector<Case> cases = {
        {"regf saved hive", "regf live hive", true},
        {"regf saved hive", "damaged live hive", false},
        {"regf saved hive", "reg", false},
        {"wine text hive", "damaged live hive", true},
        {"wine text hive", "regf live hive", true},
    };
    for (const Case& c : cases) {
        sim::reset();
        survin::resetState();
        addBackup({{"software", kSoftware, 1}});
        sim::addFile("C:\\BK\\software", c.saved);
        sim::addFile(kSoftware, c.live);
        sim::typeText("\rn");
        if (!c.restored) {
            sim::whenWaiting([] {
                EXPECT_TRUE(contains(sim::screenText(), "Unable to restore hive: File to replace is not a registry hive"))
                    << sim::screenText();
                sim::typeText("y");
            });
        }
        bool waiting = false;
        sim::runSurvin(&waiting);
        ASSERT_TRUE(waiting);
        EXPECT_EQ(sim::fileBytes(kSoftware), c.restored ? c.saved : c.live) << c.saved << " over " << c.live;
        EXPECT_EQ(sim::commands().size(), c.restored ? 1u : 0u) << c.saved << " over " << c.live;
    }
}

TEST_F(DosTest, CopyWithOtherBytesOfTheSameSizeIsAFailure) {
    addBackup({{"software", kSoftware, 1}});
    sim::machine().copyMode = sim::CopyMode::Garble;
    sim::typeText("\ry");
    sim::whenWaiting([] {
        // The .bak copy is checked first and fails the same way.
        EXPECT_TRUE(contains(sim::screenText(), "Unable to backup hive: Copied file does not match its source"))
            << sim::screenText();
        sim::typeText("y");
        sim::whenWaiting([] {
            EXPECT_TRUE(contains(sim::screenText(), "Unable to restore hive: Copied file does not match its source"))
                << sim::screenText();
            sim::typeText("y");
        });
    });
    bool waiting = false;
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);
    EXPECT_EQ(sim::commands().size(), 2u);
}

}  // namespace
