// Help: the choice between the local help file and the online page, and the help file
// the build ships.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "handles.h"
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
// Windows HKEY_CLASSES_ROOT shows the user's own registration (HKEY_CURRENT_USER\Software\
// Classes) before the machine's; Wine does not merge them, so the test shows this process
// the user's classes as HKEY_CLASSES_ROOT, where a reader of the merged view finds the
// planted module.
TEST(Help, ARegistrationOfTheUsersOwnNeverNamesTheHelpModule) {
    const wchar_t* clsid = L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}";
    const std::wstring planted = L"C:\\tolmen-tests\\planted\\hhctrl.ocx";
    KeyHandle userClasses;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              userClasses.receive(), nullptr),
              ERROR_SUCCESS);
    KeyHandle server;
    ASSERT_EQ(RegCreateKeyExW(userClasses.get(), (std::wstring(clsid) + L"\\InprocServer32").c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, server.receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(server.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(planted.c_str()),
                             static_cast<DWORD>((planted.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    server.reset();

    ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses.get()), ERROR_SUCCESS);
    wchar_t seen[MAX_PATH] = {};
    LONG cbSeen = sizeof(seen);
    const LONG seenResult =
        RegQueryValueW(HKEY_CLASSES_ROOT, (std::wstring(clsid) + L"\\InprocServer32").c_str(), seen, &cbSeen);
    const std::wstring module = registeredHelpModule();
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegDeleteTreeW(userClasses.get(), clsid);

    // The merged view names the planted module; the program's own read never does.
    ASSERT_EQ(seenResult, ERROR_SUCCESS);
    ASSERT_EQ(std::wstring(seen), planted);
    EXPECT_NE(module, planted);
    if (!module.empty()) {
        EXPECT_EQ(lstrcmpiW(PathFindFileNameW(module.c_str()), L"hhctrl.ocx"), 0) << toUtf8(module);
    }
}
