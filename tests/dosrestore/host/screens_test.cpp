// Screens, prompts and the edit field of the DOS restore program.
#include <string>

#include "backup_fixture.h"
#include "console.h"

namespace {

const int kF2 = 0x3C, kF3 = 0x3D, kLeft = 0x4B, kRight = 0x4D, kDelete = 0x53;

std::string runEditBox(int x, int y, int width, const char* initial) {
    char result[256];
    survin::EditBox(result, sizeof result, x, y, width, initial);
    return result;
}

// Type into an empty 20-cell field at column 10 of row 12.
std::string edit(const std::string& keys, const char* initial = "") {
    sim::typeText(keys);
    return runEditBox(10, 12, 20, initial);
}

TEST_F(DosTest, MainScreenOfAUserOnlyBackup) {
    addBackup({{"Users\\1\\NTUSER.DAT", "C:\\DOCUME~1\\Alice\\NTUSER.DAT", 2},
               {"Users\\1\\UsrClass.dat", "C:\\DOCUME~1\\Alice\\UsrClass.dat", 2}});
    bool waiting = false;
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);

    EXPECT_EQ(sim::row(1), "Program to restore registry from backup to your Windows folder");
    EXPECT_EQ(sim::attrAt(1, 1), 0x74);
    EXPECT_EQ(sim::attrAt(80, 1), 0x74);
    EXPECT_EQ(sim::row(2), "");
    EXPECT_EQ(sim::row(3), "Tolmen Info:");
    EXPECT_EQ(sim::row(5), "                  OS = Windows XP Professional Service Pack 3 (build 2600)");
    EXPECT_EQ(sim::row(6), "        Windows Root = C:\\WINDOWS");
    EXPECT_EQ(sim::row(7), "         Date & Time = 2009-05-18 , 3:07:42 PM");
    EXPECT_EQ(sim::row(8), "      Hives Selected = User");
    for (int y = 2; y <= 9; ++y) EXPECT_EQ(sim::attrAt(80, y), 0x1E) << y;
    EXPECT_EQ(sim::row(10), "Press key(s) shown in the statusbar to modify options or");
    EXPECT_EQ(sim::row(11), "Press the Enter key to start restoration");
    for (int y = 10; y <= 24; ++y) EXPECT_EQ(sim::attrAt(80, y), 0x1F) << y;
    EXPECT_FALSE(sim::machine().cursorVisible);

    EXPECT_EQ(sim::row(25), " F2 Change Root  F3 Change Hives  Esc Quit  Enter Start Restoration");
    EXPECT_EQ(sim::attrAt(1, 25), 0x70);
    EXPECT_EQ(sim::attrAt(2, 25), 0x74);   // F2
    EXPECT_EQ(sim::attrAt(4, 25), 0x74);   // its blank
    EXPECT_EQ(sim::attrAt(5, 25), 0x70);   // Change Root
    EXPECT_EQ(sim::attrAt(80, 25), 0x70);

    // The hive prompt offers only the group the backup has.
    sim::reset();
    addBackup({{"Users\\1\\NTUSER.DAT", "C:\\DOCUME~1\\Alice\\NTUSER.DAT", 2}});
    sim::pressExtended(kF3);
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);
    EXPECT_EQ(sim::row(10), "Enter the hives to restore :(U)ser   U");
    EXPECT_EQ(sim::attrAt(38, 10), 0x70);
    EXPECT_EQ(sim::attrAt(57, 10), 0x70);
    EXPECT_EQ(sim::attrAt(58, 10), 0x1F);
    EXPECT_EQ(sim::row(25), " Press Enter key to finish the string input");
}

TEST_F(DosTest, HiveLettersSelectGroupsInAnyCase) {
    addBackup(threeGroups());
    bool waiting = false;
    // Clear the field's "SUO", type o and S (the order and case do not matter).
    sim::pressExtended(kF3);
    sim::typeText("\b\b\boS\r");
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);
    EXPECT_EQ(sim::row(8), "      Hives Selected = System, Others");
    EXPECT_EQ(sim::state().dwHivesSel, 5u);

    // Letters of groups the backup lacks, and other letters, are ignored.
    sim::reset();
    addBackup({threeGroups()[0]});
    sim::pressExtended(kF3);
    sim::typeText("\bUOsx\r");
    sim::runSurvin(&waiting);
    EXPECT_EQ(sim::row(8), "      Hives Selected = System");
    EXPECT_EQ(sim::row(10), "Press key(s) shown in the statusbar to modify options or");
}

TEST_F(DosTest, NoHivesSelectedAsksAgainOrEnds) {
    addBackup(threeGroups());
    bool waiting = false;
    sim::pressExtended(kF3);
    sim::typeText("\b\b\bxyz\r");
    sim::typeText("n");  // do not exit: asked again
    sim::typeText("\b\b\bu\r");
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);
    EXPECT_EQ(sim::row(8), "      Hives Selected = User");

    // The question, then the second prompt on the row after the message.
    sim::reset();
    addBackup(threeGroups());
    sim::pressExtended(kF3);
    sim::typeText("\b\b\b\r");
    sim::pressExtended(kF2);  // an extended key is "any other key" too
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);
    EXPECT_EQ(sim::row(11), "Please selected at least one hive");
    EXPECT_EQ(sim::row(12).substr(0, 61),
              "Enter the hives to restore :(S)ystem (U)ser (O)thers   SUO");

    for (int answer : {int('y'), int('Y'), 27}) {
        sim::reset();
        addBackup(threeGroups());
        sim::pressExtended(kF3);
        sim::typeText("\b\b\b\r");
        sim::pressKey(answer);
        EXPECT_EQ(sim::runSurvin(&waiting), 0);
        EXPECT_FALSE(waiting);
        EXPECT_EQ(sim::row(11), "No hives selected. Do you want to exit (Y/N)?");
        EXPECT_TRUE(sim::commands().empty());
    }
}

TEST_F(DosTest, EditBoxTakesPrintableCharactersOnly) {
    sim::pressKey(31);
    sim::pressKey(127);
    sim::pressKey(0x82);
    sim::pressKey(9);
    sim::pressExtended(kRight);
    sim::pressExtended(kDelete);
    sim::typeText("~K<M=\r");
    EXPECT_EQ(edit(""), "~K<M=");
    EXPECT_EQ(sim::machine().cursorVisible, true);
    EXPECT_EQ(sim::row(25), " F2 Change Root  F3 Change Hives  Esc Quit  Enter Start Restoration");
}

TEST_F(DosTest, EditBoxErasesWithBackspaceAndLeftArrow) {
    sim::typeText("de\b");
    sim::pressExtended(kLeft);
    sim::typeText("X\r");
    EXPECT_EQ(edit("", "abc"), "abcX");
    EXPECT_EQ(sim::charAt(13, 12), 'X');
    EXPECT_EQ(sim::charAt(14, 12), ' ');

    // Nothing left of the field is erased.
    sim::typeText("\b\b\b\b\b\r");
    EXPECT_EQ(edit("", "ab"), "");
}

TEST_F(DosTest, EditBoxKeepsWidthLessOneCharacters) {
    con::gotoXY(3, 4);
    EXPECT_EQ(edit(std::string(25, 'a') + "\r"), std::string(19, 'a'));
    EXPECT_EQ(sim::charAt(28, 12), 'a');
    EXPECT_EQ(sim::charAt(29, 12), ' ');   // the last cell stays empty
    for (int x = 10; x <= 29; ++x) EXPECT_EQ(sim::attrAt(x, 12), 0x70) << x;
    EXPECT_EQ(sim::attrAt(30, 12), 0x07);
    EXPECT_EQ(con::whereX(), 3);           // the cursor is put back
    EXPECT_EQ(con::whereY(), 4);

    // A longer initial text shows past the field; Enter keeps 19 characters, Esc all.
    const char* longRoot = "C:\\A_VERY_LONG_WINDOWS_ROOT";
    EXPECT_EQ(edit("\r", longRoot), std::string(longRoot).substr(0, 19));
    EXPECT_EQ(sim::charAt(36, 12), 'T');
    EXPECT_EQ(edit("zz\x1b", longRoot), longRoot);
}

TEST_F(DosTest, EditBoxEnterCutsAtFirstBlankAndEscKeepsInitial) {
    EXPECT_EQ(edit("ab cd\r"), "ab");
    EXPECT_EQ(edit(" ab\r"), "");
    EXPECT_EQ(edit("\b\bxyz\x1b", "SU"), "SU");
}

TEST_F(DosTest, SelectOsRootAsksUntilAFolderExists) {
    text::copy(sim::state().szRoot, "C:\\WINDOWS", sizeof sim::state().szRoot);
    sim::addDir("C:\\WINDOWS");
    sim::addDir("D:\\WIN");
    sim::addFile("C:\\FILE.TXT", "x");
    con::gotoXY(1, 10);
    std::string erase(10, '\b');
    sim::typeText(erase + "C:\\NOPE\r");
    sim::typeText(erase + "\r");         // empty
    sim::typeText(erase + "C:\\\r");     // a bare drive root
    sim::typeText(erase + "D:\\WIN\r");
    survin::SelectOsRoot(sim::state());
    EXPECT_STREQ(sim::state().szRoot, "D:\\WIN");
    EXPECT_EQ(sim::row(10).substr(0, 20), "Enter Windows root :");
    EXPECT_EQ(sim::row(11), "Path does not exist or invalid.");
    EXPECT_EQ(sim::attrAt(1, 11), 0x1F);
    EXPECT_EQ(con::whereX(), 1);
    EXPECT_EQ(con::whereY(), 10);
    EXPECT_TRUE(sim::machine().keys.empty());
}

TEST_F(DosTest, DrawProgressFillsSixtyCells) {
    con::gotoXY(5, 7);
    survin::DrawProgress(0, 3);
    for (int x = 10; x <= 69; ++x) {
        EXPECT_EQ(sim::charAt(x, 20), char(0xB1)) << x;
        EXPECT_EQ(sim::attrAt(x, 20), 0x1F) << x;
    }
    EXPECT_EQ(sim::attrAt(9, 20), 0x07);
    EXPECT_EQ(sim::attrAt(70, 20), 0x07);

    survin::DrawProgress(1, 3);
    EXPECT_EQ(sim::attrAt(29, 20), 0x55);
    EXPECT_EQ(sim::charAt(29, 20), ' ');
    EXPECT_EQ(sim::attrAt(30, 20), 0x1F);

    survin::DrawProgress(5, 3);  // more than the total: full, not past the bar
    EXPECT_EQ(sim::attrAt(69, 20), 0x55);
    EXPECT_EQ(sim::attrAt(70, 20), 0x07);

    survin::DrawProgress(0, 0);  // no known group bits: an empty bar, no division
    EXPECT_EQ(sim::attrAt(10, 20), 0x1F);
    EXPECT_EQ(con::whereX(), 5);
    EXPECT_EQ(con::whereY(), 7);
}

TEST_F(DosTest, OnlyArrowAndFunctionKeysAreSpecialOnTheMainScreen) {
    addBackup(threeGroups());
    bool waiting = false;
    sim::typeText("KM<=;");  // the letters that share codes with Left, Right, F1 ...
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);
    EXPECT_EQ(sim::row(10), "Press key(s) shown in the statusbar to modify options or");

    sim::reset();
    addBackup(threeGroups());
    sim::typeText("\x1b");
    EXPECT_EQ(sim::runSurvin(&waiting), 0);
    EXPECT_FALSE(waiting);
    EXPECT_EQ(sim::row(10), "Press key(s) shown in the statusbar to modify options or");
}

}  // namespace
