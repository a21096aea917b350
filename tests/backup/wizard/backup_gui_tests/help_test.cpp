// Help: the choice between the local help file and the online page, and the help file
// the build ships.
#include <windows.h>
#include <shlwapi.h>

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
                              "/restore.htm", "/console.htm", "/recovery.htm"})
        EXPECT_NE(chm.find(topic), std::string::npos) << topic;
}

// The help module of this elevated program comes from the machine's registration only. On
// Windows HKEY_CLASSES_ROOT would show the user's own registration instead; Wine does not
// merge the user's classes into it, so there this only shows the planted one is not read.
TEST(Help, ARegistrationOfTheUsersOwnNeverNamesTheHelpModule) {
    const wchar_t* userClass = L"Software\\Classes\\CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}";
    const std::wstring planted = L"C:\\tolmen-tests\\planted\\hhctrl.ocx";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(userClass) + L"\\InprocServer32").c_str(), 0, nullptr,
                              0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(planted.c_str()),
                   static_cast<DWORD>((planted.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    const std::wstring module = registeredHelpModule();
    RegDeleteTreeW(HKEY_CURRENT_USER, userClass);
    EXPECT_NE(module, planted);
    if (!module.empty()) {
        EXPECT_EQ(lstrcmpiW(PathFindFileNameW(module.c_str()), L"hhctrl.ocx"), 0) << toUtf8(module);
    }
}
