#include <gtest/gtest.h>

#include "command_line.h"

namespace {

CommandLineOptions parse(const wchar_t* tail) {
    std::wstring line = std::wstring(L"Tolmen.exe ") + tail;
    return parseCommandLine(line.c_str());
}

TEST(CommandLine, FolderComesFirstAndOptionsFollow) {
    CommandLineOptions o = parse(L"\"C:\\Backups\\<date>\\\" /silent /overwrite");
    EXPECT_EQ(o.folder, L"C:\\Backups\\<date>\\");
    EXPECT_TRUE(o.silent);
    EXPECT_TRUE(o.overwrite);
    EXPECT_EQ(o.hiveFlags, 0u);
    EXPECT_EQ(o.retention.mode, 0u);
    EXPECT_EQ(o.retention.days, 30u);
    EXPECT_EQ(o.retention.count, 10u);

    // A quoted folder may end in a backslash; a quote is never part of a folder.
    o = parse(L"\"C:\\My Backups\\\" /reg:s");
    EXPECT_EQ(o.folder, L"C:\\My Backups\\");
    EXPECT_EQ(o.hiveFlags, 1u);
    o = parse(L"\"C:\\b\\\\\" /silent");
    EXPECT_EQ(o.folder, L"C:\\b\\");
    EXPECT_TRUE(o.silent);

    // An option in the folder's place is taken as the folder, not as an option.
    o = parse(L"/silent");
    EXPECT_EQ(o.folder, L"/silent");
    EXPECT_FALSE(o.silent);
}

TEST(CommandLine, RegLettersInAnyCaseAndUnion) {
    EXPECT_EQ(parse(L"C:\\b /REG:su").hiveFlags, 3u);
    EXPECT_EQ(parse(L"C:\\b /reg:o").hiveFlags, 4u);
    EXPECT_EQ(parse(L"C:\\b /Reg:xyz").hiveFlags, 0u);
    EXPECT_EQ(parse(L"C:\\b /reg:ss /reg:O").hiveFlags, 5u);
    EXPECT_EQ(parse(L"C:\\b /reg:uUoOsS").hiveFlags, 7u);
    // Only whole-word options; a longer word is not /silent.
    EXPECT_FALSE(parse(L"C:\\b /silently").silent);
    EXPECT_TRUE(parse(L"C:\\b /SILENT").silent);
}

TEST(CommandLine, RetentionOptionsAndNormalising) {
    CommandLineOptions o = parse(L"C:\\b /limitdays:0");
    EXPECT_EQ(o.retention.mode, 0u);
    EXPECT_EQ(o.retention.days, 30u);

    o = parse(L"C:\\b /limitdays:");
    EXPECT_EQ(o.retention.mode, 0u);
    EXPECT_EQ(o.retention.days, 30u);

    o = parse(L"C:\\b /limitdays:5 /limitcount:3");
    EXPECT_EQ(o.retention.mode, 2u);
    EXPECT_EQ(o.retention.days, 5u);
    EXPECT_EQ(o.retention.count, 3u);

    o = parse(L"C:\\b /LimitCount:3 /LIMITDAYS:7");
    EXPECT_EQ(o.retention.mode, 1u);
    EXPECT_EQ(o.retention.days, 7u);
    EXPECT_EQ(o.retention.count, 3u);

    o = parse(L"C:\\b /limitcount:0");
    EXPECT_EQ(o.retention.mode, 0u);
    EXPECT_EQ(o.retention.count, 10u);
}

TEST(CommandLine, NumbersTakeLeadingDigitsOnlyAndAreCapped) {
    // "-" is not a digit: no number, so retention is switched off instead of becoming -3.
    CommandLineOptions o = parse(L"C:\\b /limitcount:-");
    EXPECT_EQ(o.retention.mode, 0u);
    EXPECT_EQ(o.retention.count, 10u);

    o = parse(L"C:\\b /limitcount:12abc");
    EXPECT_EQ(o.retention.mode, 2u);
    EXPECT_EQ(o.retention.count, 12u);

    o = parse(L"C:\\b /limitdays:99999999999999");
    EXPECT_EQ(o.retention.mode, 1u);
    EXPECT_EQ(o.retention.days, 2147483647u);

    EXPECT_EQ(leadingNumber(L""), 0);
    EXPECT_EQ(leadingNumber(L"2147483647"), 2147483647);
    EXPECT_EQ(leadingNumber(L"2147483648"), 2147483647);
    EXPECT_EQ(leadingNumber(L"x5"), 0);
}

}  // namespace
