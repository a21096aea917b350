// What the restore may write and read: the path rules shared with the Windows restore
// program, the DOS program's refusal of one crafted entry of SURVIN.INI among good ones,
// and its checks of the saved file and of each copy's contents.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../common/hive_path.h"
#include "../common/survin_ini.h"
#include "backup_fixture.h"

namespace {

const std::string kSoftware = "C:\\WINDOWS\\system32\\config\\software";
const std::string kSystem = "C:\\WINDOWS\\system32\\config\\system";
const std::string kSecurity = "C:\\WINDOWS\\system32\\config\\SECURITY";
const char kNextHive[] = "Do you want to continue with the next hive? (Y/N):";

TEST(HivePathRules, TargetMustBeAFileOfItsTypesKind) {
    struct Case {
        const char* hive;
        const char* type;
    };
    const Case fits[] = {
        {"C:\\WINDOWS\\system32\\config\\SOFTWARE", "MACHINE\\SOFTWARE"},
        {"c:\\windows\\SYSTEM32\\CONFIG\\sam", "machine\\SAM"},
        {"E:\\WINDOWS\\system32\\config\\SYSTEM", "MACHINE\\SYSTEM"},  // a root E:\WINNT keeps the recorded folders
        {"C:\\WINNT\\system32\\config\\DEFAULT", "USERS\\.DEFAULT"},
        {"C:\\Windows\\System32\\SMI\\Store\\Machine\\SCHEMA.DAT", "MACHINE\\SCHEMA"},  // Windows 8 and later
        {"C:\\WINDOWS\\system32\\config\\systemprofile\\NTUSER.DAT", "USERS\\S-1-5-18"},
        {"C:\\WINDOWS\\ServiceProfiles\\LocalService\\NTUSER.DAT", "USERS\\S-1-5-19"},
        {"C:\\DOCUME~1\\Alice\\NTUSER.DAT", "USERS\\S-1-5-21-1-2-3-1003"},
        {"C:\\WINNT\\Profiles\\Bob\\NTUSER.DAT", "USERS\\S-1-5-21-1-2-3-1004"},  // upgraded from NT 4
        {"D:\\Benutzer\\Eva\\NTUSER.MAN", "USERS\\S-1-5-21-1-2-3-1005"},        // moved, mandatory
        {"C:\\Users\\ALICE~1\\AppData\\Local\\MICROS~1\\Windows\\UsrClass.dat", "USERS\\S-1-5-21-1-2-3-1003_Classes"},
        {"C:\\DOCUME~1\\Bob\\LOCALS~1\\APPLIC~1\\MICROS~1\\Windows\\USRCLA~1.DAT", "USERS\\S-1-5-21-9_Classes"},
    };
    for (const Case& c : fits) EXPECT_TRUE(hivepath::isHiveTargetOfType(c.hive, c.type)) << c.hive << " " << c.type;

    const char* const kSam = "MACHINE\\SAM";
    const char* const kUser = "USERS\\S-1-5-21-1-2-3-1003";
    const Case refused[] = {
        // The file does not fit the Type.
        {"C:\\Users\\Alice\\NTUSER.DAT", kSam},
        {"C:\\WINDOWS\\system32\\config\\SAM", kUser},
        {"C:\\WINDOWS\\system32\\config\\SYSTEM", kSam},
        {"C:\\WINDOWS\\system32\\SAM", kSam},
        {"C:\\WINDOWS\\system32\\config\\old\\SAM", kSam},
        {"C:\\WINDOWS\\system32\\config", "MACHINE\\config"},
        {"C:\\Windows\\System32\\SMI\\Store\\Machine\\SAM.DAT", "MACHINE\\SYSTEM"},
        {"C:\\Windows\\System32\\SMI\\Store\\SCHEMA.DAT", "MACHINE\\SCHEMA"},
        {"C:\\Users\\Default\\NTUSER.DAT", "USERS\\.DEFAULT"},
        {"C:\\Users\\Alice\\UsrClass.dat", kUser},
        {"C:\\Users\\Alice\\NTUSER.DAT", "USERS\\S-1-5-21-1-2-3-1003_Classes"},
        {"C:\\Users\\Alice\\NTUSER.DAT.LOG", kUser},
        {"C:\\DOCS\\THESIS.DOC", kUser},
        // A Type that names no hive.
        {"C:\\WINDOWS\\system32\\config\\SAM", "SOFTWARE\\SAM"},
        {"C:\\WINDOWS\\system32\\config\\SAM", "MACHINE\\x\\SAM"},
        {"C:\\WINDOWS\\system32\\config\\SAM", "MACHINE\\"},
        {"C:\\WINDOWS\\system32\\config\\SAM", "SAM"},
        {"C:\\WINDOWS\\system32\\config\\SAM", ""},
        {"C:\\Users\\CON\\NTUSER.DAT", "USERS\\CON"},
        // Paths that can name another file than the one they seem to.
        {"C:\\WINDOWS\\system32\\config\\..\\..\\..\\DOCS\\config\\SAM", kSam},
        {"C:\\WINDOWS\\system32\\config\\.\\SAM", kSam},
        {"C:\\WINDOWS\\system32\\config\\\\SAM", kSam},
        {"C:\\WINDOWS\\system32\\config\\SAM\\", kSam},
        {"C:\\WINDOWS/system32/config/SAM", kSam},
        {"C:\\WINDOWS\\system32\\config.\\SAM", kSam},
        {"C:\\WINDOWS\\system32\\config \\SAM", kSam},
        {"C:\\WINDOWS\\system32\\config\\SAM.", kSam},
        {"C:\\WINDOWS\\system32\\config\\SAM:stream", kSam},
        {"C:\\WINDOWS\\system32\\config\\SAM::$DATA", kSam},
        {"C:\\WINDOWS\\system32\\config\\CON", "MACHINE\\CON"},
        {"C:\\WINDOWS\\system32\\config\\COM1", "MACHINE\\COM1"},
        {"C:\\Users\\LPT9.x\\NTUSER.DAT", kUser},
        {"\\\\server\\share\\WINDOWS\\system32\\config\\SAM", kSam},
        {"\\\\?\\C:\\WINDOWS\\system32\\config\\SAM", kSam},
        {"\\\\.\\C:\\WINDOWS\\system32\\config\\SAM", kSam},
        {"C:WINDOWS\\system32\\config\\SAM", kSam},
        {"C:\\WINDOWS\\system32\\config\\S*", "MACHINE\\S*"},
        {"C:\\WINDOWS\\system32\\config\\\"SAM\"", kSam},
        {"", kSam},
    };
    for (const Case& c : refused) EXPECT_FALSE(hivepath::isHiveTargetOfType(c.hive, c.type)) << c.hive << " " << c.type;
}

TEST(HivePathRules, SavedPathsStayInsideTheBackupFolder) {
    for (const char* saved : {"software", "Users\\1\\NTUSER.DAT", "Users\\12\\UsrClass.dat", "a.b.c"}) {
        EXPECT_TRUE(survinini::isInsideBackupFolder(saved)) << saved;
    }
    for (const char* saved : {
             "", "C:\\WINDOWS\\system32\\config\\SAM", "C:software", "\\software", "\\\\server\\share\\x",
             "..\\x", "Users\\..\\..\\x", "Users\\1\\..", "Users/../../x", "Users\\\\1", "Users\\1\\",
             "software:stream", "software.", "software ", "CON", "Users\\nul", "soft*", "\"software\"",
             "\\\\?\\C:\\x",
         }) {
        EXPECT_FALSE(survinini::isInsideBackupFolder(saved)) << saved;
    }
}

// One entry of SURVIN.INI that must not be carried out, between two good ones: it is shown
// with the value that refuses it and the next-hive question; Yes restores the others, and
// no copy names the refused entry's files.
TEST_F(DosTest, RefusedEntryAmongGoodOnesFailsAlone) {
    struct Case {
        SavedHive entry;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {{"thesis", "C:\\DOCS\\THESIS.DOC", 1, "MACHINE\\SECURITY"}, "C:\\DOCS\\THESIS.DOC"},
        {{"sam", "C:\\DOCUME~1\\Alice\\NTUSER.DAT", 1, "MACHINE\\SAM"}, "C:\\DOCUME~1\\Alice\\NTUSER.DAT"},
        {{"thesis", "C:\\WINDOWS\\system32\\config\\..\\..\\DOCS\\THESIS.DOC", 2, "USERS\\S-1"},
         "C:\\WINDOWS\\system32\\config\\..\\..\\DOCS\\THESIS.DOC"},
        // Only the drive letter follows the root: shown as it would have been written.
        {{"thesis", "E:\\DOCS\\THESIS.DOC", 1, "MACHINE\\SECURITY"}, "C:\\DOCS\\THESIS.DOC"},
        {{"security", kSecurity, 1, "HKLM\\SECURITY"}, "HKLM\\SECURITY"},
        {{"security", kSecurity, 1, "MACHINE\\SECURITY\\.."}, "MACHINE\\SECURITY\\.."},
        {{"security", kSecurity, 1, "-"}, kSecurity},  // no Type: the live path is shown
        {{"..\\DOCS\\THESIS.DOC", kSecurity, 1}, "..\\DOCS\\THESIS.DOC"},
        {{"C:\\DOCS\\THESIS.DOC", kSecurity, 1}, "C:\\DOCS\\THESIS.DOC"},
        {{"\\\\SERVER\\SHARE\\HIVE", kSecurity, 1}, "\\\\SERVER\\SHARE\\HIVE"},
        // A quote would end the quoted target early, a wildcard reach more than one file.
        {{"security", "C:\\DOCS\\THESIS.DOC\" \"NUL", 1, "MACHINE\\SECURITY"}, "C:\\DOCS\\THESIS.DOC\" \"NUL"},
        {{"security", "C:\\WINDOWS\\system32\\config\\s*", 1, "MACHINE\\S*"}, "MACHINE\\S*"},
    };
    for (const Case& c : cases) {
        sim::reset();
        survin::resetState(sim::state());
        addBackup({{"software", kSoftware, 1}, {"system", kSystem, 1}});
        std::string ini = iniFor({{"software", kSoftware, 1}, c.entry, {"system", kSystem, 1}});
        if (c.entry.type == "-") ini.replace(ini.find("Type=-\r\n"), 8, "");
        sim::addFile("C:\\BK\\SURVIN.INI", ini);
        sim::addFile("C:\\BK\\thesis", "saved thesis");
        sim::addFile("C:\\BK\\security", "saved security");
        sim::addFile("C:\\DOCS\\THESIS.DOC", "my thesis");
        sim::typeText("\ry");
        sim::whenWaiting([&] {
            EXPECT_EQ(sim::row(10), "Restoring " + c.entry.saved + " (2 of 3)");
            EXPECT_EQ(sim::row(13), "Hive information invalid: " + c.shown);
            EXPECT_EQ(sim::row(17), kNextHive);
            sim::typeText("y");
        });
        runToFinish("");
        EXPECT_EQ(sim::fileBytes(kSoftware), "saved:software") << c.shown;
        EXPECT_EQ(sim::fileBytes(kSystem), "saved:system") << c.shown;
        EXPECT_EQ(sim::commands().size(), 4u) << c.shown;  // two .bak copies, two restores
        EXPECT_EQ(sim::fileBytes("C:\\DOCS\\THESIS.DOC"), "my thesis") << c.shown;
        EXPECT_FALSE(sim::exists(kSecurity)) << c.shown;
    }

    // No stops the run there: the finished screen follows, the later entry is not restored.
    sim::reset();
    survin::resetState(sim::state());
    addBackup({{"software", kSoftware, 1}, {"system", kSystem, 1}});
    sim::addFile("C:\\BK\\SURVIN.INI", iniFor({{"software", kSoftware, 1}, {"thesis", "C:\\DOCS\\THESIS.DOC", 1},
                                               {"system", kSystem, 1}}));
    sim::addFile("C:\\BK\\thesis", "saved thesis");
    runToFinish("\ryn");
    EXPECT_EQ(sim::fileBytes(kSoftware), "saved:software");
    EXPECT_EQ(sim::fileBytes(kSystem), "live:" + kSystem);
}

TEST_F(DosTest, UnselectedEntriesAreNotChecked) {
    addBackup({{"software", kSoftware, 1}});
    sim::addFile("C:\\BK\\SURVIN.INI",
                 iniFor({{"software", kSoftware, 1}, {"thesis", "C:\\DOCS\\THESIS.DOC", 4}}));
    sim::pressExtended(0x3D);  // F3: only the system hives
    sim::typeText(std::string(3, '\b') + "s\r");
    runToFinish("\rn");
    EXPECT_EQ(sim::fileBytes(kSoftware), "saved:software");
}

std::string readHive(const std::string& name) {
    std::ifstream in(std::string(DOS_TEST_HIVES) + "/" + name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    EXPECT_GT(bytes.str().size(), 8192u) << name;
    return bytes.str();
}

uint32_t u32At(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void putU32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

// A change of the base block that keeps its checksum right, so that only the change shows.
std::string withBaseBlockWord(std::string hive, size_t at, uint32_t value) {
    putU32(hive, at, value);
    uint32_t sum = 0;
    for (size_t i = 0; i < 508; i += 4) sum ^= u32At(hive, i);
    putU32(hive, 508, sum);
    return hive;
}

// Hive files as Windows keeps them (written by an independent implementation of the
// format). The live file may be in any state, a damaged hive being what people restore
// over; the saved file is judged alone, and one that fails is that hive's failure.
TEST_F(DosTest, SavedHiveIsJudgedNeverTheLiveOne) {
    const std::string saved = readHive("SOFTWARE");
    const std::string live = readHive("DEFAULT");
    const std::string zeroedLive = std::string(512, '\0') + live.substr(512);
    std::string brokenSum = saved;
    brokenSum[0x30] ^= 0x01;
    struct Case {
        const char* what;
        std::string saved, live;
        std::string error;  // empty: restored
    };
    const std::vector<Case> cases = {
        {"live base block zeroed", saved, zeroedLive, ""},
        {"live file empty", saved, "", ""},
        {"saved in another format", "WINE REGISTRY Version 2\n", live, ""},
        {"saved checksum broken", brokenSum, live, "Saved hive is damaged"},
        {"saved sequence numbers differ", withBaseBlockWord(saved, 8, u32At(saved, 4) + 1), live,
         "Saved hive is damaged"},
        {"saved bins larger than the file", withBaseBlockWord(saved, 40, uint32_t(saved.size())), live,
         "Saved hive is damaged"},
        {"saved file cut short", saved.substr(0, saved.size() - 4096), live, "Saved hive is damaged"},
        {"saved file cut in its base block", saved.substr(0, 600), live, "Saved hive is damaged"},
        {"saved file empty", "", live, "Saved hive is empty"},
    };
    for (const Case& c : cases) {
        sim::reset();
        survin::resetState(sim::state());
        addBackup({{"software", kSoftware, 1}, {"system", kSystem, 1}});
        sim::addFile("C:\\BK\\software", c.saved);
        sim::addFile(kSoftware, c.live);
        sim::typeText("\ry");
        if (!c.error.empty()) {
            sim::whenWaiting([&] {
                EXPECT_EQ(sim::row(13), "Unable to restore hive: " + c.error) << c.what;
                EXPECT_EQ(sim::row(17), kNextHive) << c.what;
                EXPECT_TRUE(sim::commands().empty()) << c.what << ": not even the .bak copy";
                sim::typeText("y");
            });
        }
        runToFinish("");
        if (c.error.empty()) {
            EXPECT_TRUE(sim::fileBytes(kSoftware) == c.saved) << c.what;
            EXPECT_TRUE(sim::fileBytes(kSoftware + ".bak") == c.live) << c.what;
        } else {
            EXPECT_TRUE(sim::fileBytes(kSoftware) == c.live) << c.what;
            EXPECT_FALSE(sim::exists(kSoftware + ".bak")) << c.what;
        }
        EXPECT_EQ(sim::fileBytes(kSystem), "saved:system") << c.what;
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
