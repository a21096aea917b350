// The edition text in other code pages than the test prefix's 936.
#include <gtest/gtest.h>

#include "edition.h"
#include "loader.h"
#include "restore_fixture.h"

using namespace restore_tests;

// The edition text as the restore program compares it: the wide text through the code
// page, as the backup program's profile write stored it.
TEST(EditionCodePage, LaterThanSevenConvertsLikeTheProfileWrite) {
    OsInfoRecord r = {};
    r.versionInfoSize = 156;
    r.majorVersion = 6;
    r.minorVersion = 2;
    r.buildNumber = 9200;
    r.platformId = VER_PLATFORM_WIN32_NT;
    r.productType = VER_NT_WORKSTATION;
    r.architecture = PROCESSOR_ARCHITECTURE_AMD64;
    r.productNumber = 0x30;
    std::string text;
    ASSERT_TRUE(editionTextInCodePage(r, false, 1252, text));
    EXPECT_EQ("Windows 7 ????, 64-bit (build 9200)", text);
    // On code page 936 the bytes are those the program always had.
    std::string gbk, literal;
    ASSERT_TRUE(editionTextInCodePage(r, false, 936, gbk));
    ASSERT_TRUE(editionTextA(r, false, literal));
    EXPECT_EQ(literal, gbk);
    EXPECT_EQ("Windows 7 \xD2\xD4\xBA\xF3\xB0\xE6\xB1\xBE, 64-bit (build 9200)", gbk);
    // Service-pack text is read in the same code page.
    r.majorVersion = 5;
    r.minorVersion = 1;
    lstrcpyA(r.csdVersion, "Service Pack 3");
    ASSERT_TRUE(editionTextInCodePage(r, false, 1252, text));
    EXPECT_EQ("Windows XP Professional Service Pack 3 (build 9200)", text);
}

// Runs only in the suite's second run with code page 1252 (tests/CMakeLists.txt): a backup
// of Windows 8 or later written as the backup program writes it, on this machine and on a
// machine of code page 936 (the Chinese phrase of OSString then holds GBK bytes), loads.
TEST(CodePage1252, BackupOfWindows8LoadsInTheRestoreProgram) {
    char run[16] = "";
    if (!GetEnvironmentVariableA("TOLMEN_CODE_PAGE_RUN", run, sizeof(run))) GTEST_SKIP() << "the code page 1252 run only";
    ASSERT_EQ(1252u, GetACP());
    OsInfoRecord r = {};
    r.versionInfoSize = 156;
    r.majorVersion = 10;
    r.minorVersion = 0;
    r.buildNumber = 19045;
    r.platformId = VER_PLATFORM_WIN32_NT;
    r.productType = VER_NT_WORKSTATION;
    r.architecture = PROCESSOR_ARCHITECTURE_AMD64;
    std::wstring edition;
    ASSERT_TRUE(editionTextW(r, false, edition));

    for (UINT writtenIn : {1252u, 936u}) {
        SCOPED_TRACE(writtenIn);
        BackupFolder folder;
        const std::wstring ini = wide(folder.ini());
        // The backup program's profile writes, wide, into a new (ANSI) file.
        const std::pair<const wchar_t*, std::wstring> info[] = {
            {L"DateTime", L"2026-12-08 , 7:30:00 AM"}, {L"IniVersion", L"1"}, {L"WinVer", L"10.0"},
            {L"OSString", edition},
        };
        for (const auto& [key, value] : info) ASSERT_TRUE(WritePrivateProfileStringW(L"INFO", key, value.c_str(), ini.c_str()));
        ASSERT_TRUE(WritePrivateProfileStructW(L"INFO", L"OSINFO", &r, sizeof(r), ini.c_str()));
        ASSERT_TRUE(WritePrivateProfileStringW(L"INFO", L"SysRoot", L"C:\\Windows", ini.c_str()));
        ASSERT_TRUE(WritePrivateProfileStringW(L"DATA0", L"Category", L"1", ini.c_str()));
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, ini.c_str());
        std::string bytes = fileBytes(folder.ini());
        const std::string here = "OSString=Windows 7 ???? (build 19045)\r\n";
        const size_t at = bytes.find(here);
        ASSERT_NE(std::string::npos, at);
        if (writtenIn == 936) {
            // What the same write stores on a machine of code page 936.
            bytes.replace(at, here.size(), "OSString=Windows 7 \xD2\xD4\xBA\xF3\xB0\xE6\xB1\xBE (build 19045)\r\n");
            ASSERT_TRUE(testing_support::writeBytes(ini, bytes));
        }

        RestoreSession session = folder.session("C:\\Windows");
        session.availableCategories = session.selectedCategories = 0;
        EXPECT_TRUE(LoadRestoreInfo(session));
        EXPECT_EQ(9, session.backupVersionCode);
    }
}
