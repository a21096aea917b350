// Help: the choice between the local help file and the online page, and the help file
// the build ships.
#include <windows.h>

#include <gtest/gtest.h>

#include "show_help.h"
#include "test_support.h"

using namespace testing_support;

TEST(Help, TheLocalFileIsUsedOnlyWithACompanionProgram) {
    ScratchDir folder(L"help-choice");
    EXPECT_TRUE(UseOnlineHelp(folder.path())) << "no help file";
    ASSERT_TRUE(writeBytes(folder / L"lorn.exe", "MZ"));
    EXPECT_TRUE(UseOnlineHelp(folder.path())) << "a companion without the help file";
    ASSERT_TRUE(writeBytes(folder / L"Tolmen.chm", "ITSF"));
    EXPECT_FALSE(UseOnlineHelp(folder.path()));
    ASSERT_TRUE(DeleteFileW((folder / L"lorn.exe").c_str()));
    EXPECT_TRUE(UseOnlineHelp(folder.path())) << "the help file alone";
    ASSERT_TRUE(writeBytes(folder / L"quib.exe", "MZ"));
    EXPECT_FALSE(UseOnlineHelp(folder.path()));
}

TEST(Help, TheOnlineAddressIsOurs) {
    EXPECT_EQ(std::wstring(kOnlineHelpAddress).rfind(L"https://", 0), 0u);
}

TEST(Help, TheBuildShipsACompiledHelpFile) {
    const std::string chm = readBytes(programFile(L"Tolmen.chm"));
    ASSERT_GT(chm.size(), 4096u);
    EXPECT_EQ(chm.substr(0, 4), "ITSF");
    // Every topic of the contents is compiled in (names stay readable in the directory).
    for (const char* topic : {"/index.htm", "/wizard.htm", "/options.htm", "/commandline.htm", "/schedule.htm",
                              "/restore.htm", "/console.htm"})
        EXPECT_NE(chm.find(topic), std::string::npos) << topic;
}
