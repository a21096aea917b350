// Loading SURVIN.INI into the session: the version classification, every required key
// and the checks that tie OSString, OSINFO and the hive sections together.
#include <gtest/gtest.h>

#include <cstring>

#include "edition.h"
#include "errors.h"
#include "loader.h"
#include "windows_level.h"
#include "restore_fixture.h"

using namespace restore_tests;

TEST(VersionCode, WinVerTextUsesTheStoredTable) {
    EXPECT_EQ(5, levelNumber(windowsLevelOfWinVer("4.0")));
    EXPECT_EQ(5, levelNumber(windowsLevelOfWinVer("4.10")));
    EXPECT_EQ(6, levelNumber(windowsLevelOfWinVer("5.0")));
    EXPECT_EQ(6, levelNumber(windowsLevelOfWinVer("5")));  // no "." reads as major.0
    EXPECT_EQ(7, levelNumber(windowsLevelOfWinVer("5.1")));
    EXPECT_EQ(8, levelNumber(windowsLevelOfWinVer("5.2")));
    EXPECT_EQ(9, levelNumber(windowsLevelOfWinVer("6.0")));
    EXPECT_EQ(10, levelNumber(windowsLevelOfWinVer(" 6.1\t")));
    EXPECT_EQ(9, levelNumber(windowsLevelOfWinVer("6.2")));  // later versions are never the running "10"
    EXPECT_EQ(9, levelNumber(windowsLevelOfWinVer("7.0")));
    EXPECT_EQ(9, levelNumber(windowsLevelOfWinVer("10.0")));
    EXPECT_EQ(0, levelNumber(windowsLevelOfWinVer("3.51")));
    EXPECT_EQ(0, levelNumber(windowsLevelOfWinVer("5.3")));
    EXPECT_EQ(0, levelNumber(windowsLevelOfWinVer("")));
}

TEST(VersionCode, RunningSystemUsesItsOwnTable) {
    const DWORD nt = VER_PLATFORM_WIN32_NT, nineX = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_EQ(0, levelNumber(windowsLevelOf(nineX, 3, 95)));
    EXPECT_EQ(2, levelNumber(windowsLevelOf(nineX, 4, 0)));
    EXPECT_EQ(3, levelNumber(windowsLevelOf(nineX, 4, 10)));
    EXPECT_EQ(4, levelNumber(windowsLevelOf(nineX, 4, 90)));
    EXPECT_EQ(2, levelNumber(windowsLevelOf(nineX, 5, 0)));
    EXPECT_EQ(1, levelNumber(windowsLevelOf(nt, 3, 51)));
    EXPECT_EQ(5, levelNumber(windowsLevelOf(nt, 4, 0)));
    EXPECT_EQ(6, levelNumber(windowsLevelOf(nt, 5, 0)));
    EXPECT_EQ(7, levelNumber(windowsLevelOf(nt, 5, 1)));
    EXPECT_EQ(8, levelNumber(windowsLevelOf(nt, 5, 2)));
    EXPECT_EQ(1, levelNumber(windowsLevelOf(nt, 5, 3)));
    EXPECT_EQ(9, levelNumber(windowsLevelOf(nt, 6, 0)));
    EXPECT_EQ(10, levelNumber(windowsLevelOf(nt, 6, 1)));
    EXPECT_EQ(10, levelNumber(windowsLevelOf(nt, 6, 2)));
    EXPECT_EQ(10, levelNumber(windowsLevelOf(nt, 10, 0)));
    EXPECT_TRUE(isNineX(WindowsLevel::Windows95) && isNineX(WindowsLevel::Windows98) && isNineX(WindowsLevel::WindowsMe));
    EXPECT_FALSE(isNineX(WindowsLevel::Unknown) || isNineX(WindowsLevel::OlderNt) || isNineX(WindowsLevel::Nt4));

    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(levelNumber(windowsLevelOf(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion)),
              levelNumber(runningWindowsLevel()));
}

namespace {

// A complete backup with hive sections of all three categories.
class LoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeInfoSection(folder.ini(), "\"C:\\WINDOWS\\\" ");
        writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", "C:\\WINDOWS\\system32\\config\\SYSTEM", 1);
        writeHiveSection(folder.ini(), 1, "USERS\\S-1-5-21-1", "Users\\1\\NTUSER.DAT", "C:\\users\\a\\NTUSER.DAT", 2);
        writeHiveSection(folder.ini(), 2, "USERS\\S-1-5-21-2", "Users\\2\\NTUSER.DAT", "C:\\users\\b\\NTUSER.DAT", 4);
        session.infoFilePath = folder.ini();
    }
    bool load() { return LoadRestoreInfo(session); }

    BackupFolder folder;
    RestoreSession session;
};

}  // namespace

TEST_F(LoadTest, CompleteFileFillsTheSession) {
    ASSERT_TRUE(load());
    SystemRecord system = runningSystem();
    EXPECT_EQ("2026-12-08 , 7:30:00 上午", session.backupDateTime);
    EXPECT_EQ(system.osString, session.backupOsString);
    EXPECT_EQ(levelNumber(windowsLevelOfWinVer(system.winVer.c_str())), session.backupVersionCode);
    EXPECT_EQ(0, memcmp(&system.record, &session.backupOsInfo, sizeof(OsInfoRecord)));
    EXPECT_EQ("C:\\WINDOWS", session.backupSysRoot);  // quotes, blanks and backslash trimmed
    EXPECT_EQ("C:\\WINDOWS", session.targetWindowsRoot);
    EXPECT_EQ(7u, session.availableCategories);
    EXPECT_EQ(7u, session.selectedCategories);
}

TEST_F(LoadTest, EveryRequiredKeyMissingOrEmptyRejectsTheFile) {
    const char* const keys[] = {"DateTime", "WinVer", "OSString", "OSINFO", "SysRoot"};
    const std::string original = fileBytes(folder.ini());
    for (const char* key : keys) {
        for (const char* value : {static_cast<const char*>(nullptr), ""}) {
            ASSERT_TRUE(testing_support::writeBytes(wide(folder.ini()), original));
            writeValue(folder.ini(), "INFO", key, value);
            RestoreSession fresh;
            fresh.infoFilePath = folder.ini();
            EXPECT_FALSE(LoadRestoreInfo(fresh)) << key << (value ? " empty" : " missing");
        }
    }
    // A root made only of the trimmed characters names no installation.
    ASSERT_TRUE(testing_support::writeBytes(wide(folder.ini()), original));
    writeValue(folder.ini(), "INFO", "SysRoot", "\\");
    EXPECT_FALSE(load());
    // CurUser is only information.
    ASSERT_TRUE(testing_support::writeBytes(wide(folder.ini()), original));
    writeValue(folder.ini(), "INFO", "CurUser", nullptr);
    EXPECT_TRUE(load());
}

TEST_F(LoadTest, MissingFileIsRejected) {
    session.infoFilePath = folder.folder() + "NOFILE.INI";
    EXPECT_FALSE(load());
}

TEST_F(LoadTest, WinVerDecidesTheVersionCodeOrRejects) {
    struct Case {
        const char* winVer;
        int code;  // 0: rejected
    } const cases[] = {{"5", 6}, {"6.2", 9}, {"7.0", 9}, {"4.0", 5}, {"3.51", 0}, {"5.3", 0}, {"6.1", 10}};
    for (const Case& c : cases) {
        writeValue(folder.ini(), "INFO", "WinVer", c.winVer);
        RestoreSession fresh;
        fresh.infoFilePath = folder.ini();
        EXPECT_EQ(c.code != 0, LoadRestoreInfo(fresh)) << c.winVer;
        if (c.code) {
            EXPECT_EQ(c.code, fresh.backupVersionCode) << c.winVer;
        }
    }
}

TEST_F(LoadTest, OsStringMustBeTheTextOfTheRecord) {
    std::string text = readValue(folder.ini(), "INFO", "OSString");
    ASSERT_GT(text.size(), 3u);

    std::string caseOnly = text;
    for (char& c : caseOnly)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    ASSERT_NE(text, caseOnly);
    writeValue(folder.ini(), "INFO", "OSString", caseOnly.c_str());
    EXPECT_TRUE(load());

    std::string oneLetter = text;
    oneLetter[1] = oneLetter[1] == 'i' ? 'o' : 'i';
    writeValue(folder.ini(), "INFO", "OSString", oneLetter.c_str());
    RestoreSession fresh;
    fresh.infoFilePath = folder.ini();
    EXPECT_FALSE(LoadRestoreInfo(fresh));
}

// The record's last ten bytes are zero and take no part in the edition text: a digit
// changed there still names the same Windows, so only the checksum can refuse it.
TEST_F(LoadTest, OneChangedHexDigitOfOsinfoFailsItsChecksum) {
    const std::string hex = readValue(folder.ini(), "INFO", "OSINFO");
    ASSERT_EQ(346u, hex.size());
    std::string changed = hex;
    changed[2 * 170 + 1] = '1';  // byte 170: 00 becomes 01
    ASSERT_NE(hex, changed);
    unsigned sum = 0;
    for (size_t i = 0; i < 344; i += 2) sum += std::stoul(changed.substr(i, 2), nullptr, 16);
    char checksum[3];
    wsprintfA(checksum, "%02X", sum & 0xFFu);
    std::string fitted = changed.substr(0, 344) + checksum;

    writeValue(folder.ini(), "INFO", "OSINFO", fitted.c_str());
    EXPECT_TRUE(load()) << "with a checksum that fits, the change names the same Windows";
    writeValue(folder.ini(), "INFO", "OSINFO", changed.c_str());
    RestoreSession fresh;
    fresh.infoFilePath = folder.ini();
    EXPECT_FALSE(LoadRestoreInfo(fresh));
}

TEST_F(LoadTest, HiveSectionsAreReadFromDataZeroUpToTheFirstGapAndDataNinetyNine) {
    writeValue(folder.ini(), "DATA1", nullptr, nullptr);  // DATA2 now lies behind a gap
    ASSERT_TRUE(load());
    EXPECT_EQ(1u, session.availableCategories);

    for (int i = 1; i < 100; ++i) writeHiveSection(folder.ini(), i, "MACHINE\\X", "x", "C:\\x", 1);
    writeHiveSection(folder.ini(), 100, "USERS\\Y", "y", "C:\\y", 4);
    RestoreSession fresh;
    fresh.infoFilePath = folder.ini();
    ASSERT_TRUE(LoadRestoreInfo(fresh));
    EXPECT_EQ(1u, fresh.availableCategories);  // DATA100 is never read
}

TEST_F(LoadTest, AllCategoriesZeroIsRejected) {
    for (int i = 0; i < 3; ++i) {
        char section[16];
        wsprintfA(section, "DATA%d", i);
        writeValue(folder.ini(), section, "Category", "0");
    }
    EXPECT_FALSE(load());
    EXPECT_EQ(0u, session.selectedCategories);
}
