// The restore program's own folder, taken through the wide API.
#include <gtest/gtest.h>

#include "loader.h"
#include "restore_fixture.h"

using namespace restore_tests;

// The program's folder through the wide API: a folder whose name the ANSI code page lacks
// is reached by its short form, never by a best-fit look-alike.
TEST(ProgramFolder, NameOutsideTheCodePageTakesItsShortForm) {
    const std::wstring folder = L"C:\\tolmen-tests\\J\x00f6rg-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(testing_support::makeDirs(folder));
    ASSERT_TRUE(testing_support::makeDirs(L"C:\\tolmen-tests\\Jorg-" + std::to_wstring(GetCurrentProcessId())));
    const std::string ansi = ansiPathOf(folder);
    ASSERT_FALSE(ansi.empty());
    EXPECT_NE(std::string::npos, ansi.find('~')) << ansi;
    wchar_t longForm[MAX_PATH] = L"";
    ASSERT_GT(GetLongPathNameW(wide(ansi).c_str(), longForm, MAX_PATH), 0u) << ansi;
    EXPECT_EQ(folder, std::wstring(longForm));
    // A name the code page has stays as it is.
    EXPECT_EQ("C:\\tolmen-tests\\中文", ansiPathOf(wide("C:\\tolmen-tests\\中文")));
    testing_support::removeTree(folder);
    testing_support::removeTree(L"C:\\tolmen-tests\\Jorg-" + std::to_wstring(GetCurrentProcessId()));
}

// Once the entry has restricted the search, a library asked for by name comes from the
// system folder only: a copy planted in the current folder (or the program's) is not
// loaded. The restriction holds for the rest of this test program, as for the program.
TEST(ProgramFolder, LibrariesAreLoadedFromTheSystemFolderOnly) {
    testing_support::ScratchDir dir(L"dll-search");
    wchar_t system[MAX_PATH] = L"";
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\msimg32.dll").c_str(), (dir / L"tolmenplant.dll").c_str(), FALSE));
    wchar_t previous[MAX_PATH] = L"";
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));
    HMODULE before = LoadLibraryA("tolmenplant.dll");
    ASSERT_NE(before, nullptr) << "the classic search finds the planted copy";
    FreeLibrary(before);

    restrictDllSearch();
    HMODULE after = LoadLibraryA("tolmenplant.dll");
    HMODULE systems = LoadLibraryA("msimg32.dll");
    char path[MAX_PATH] = "";
    if (systems) GetModuleFileNameA(systems, path, MAX_PATH);
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(after, nullptr);
    if (after) FreeLibrary(after);
    ASSERT_NE(systems, nullptr);
    EXPECT_EQ(0, _strnicmp(path, ansi(system).c_str(), lstrlenW(system))) << path;
    FreeLibrary(systems);
}
