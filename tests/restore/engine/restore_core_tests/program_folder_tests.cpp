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
