#include <gtest/gtest.h>

#include "errors.h"
#include "test_support.h"

namespace {

TEST(ErrorMessage, BackupTableAndUnknownCodes) {
    const wchar_t* expected[] = {
        L"拒绝访问", L"无法创建任何备份", L"无差异 b/w 压缩和原始大小", L"无法创建临时文件",
        L"无法打开配置单元", L"无法打开配置单元来替换", L"配置单元已存在于目标文件夹",
        L"无法创建用来保存的文件夹", L"被用户取消", L"请更改目标文件夹", L"磁盘空间不足",
    };
    for (int code = 600; code <= 610; ++code) EXPECT_EQ(errorMessage(code), expected[code - 600]) << code;
    // The backup program knows no restore codes.
    for (int code : {0, -1, 599, 611, 614, 1000}) EXPECT_EQ(errorMessage(code), L"未知错误") << code;
}

TEST(ErrorMessage, RestoreTableIsGbkText) {
    using testing_support::fromAnsi;
    EXPECT_EQ(fromAnsi(errorMessageA(611)), L"没找到备份配置单元");
    EXPECT_EQ(fromAnsi(errorMessageA(612)), L"配置单元信息无效");
    EXPECT_EQ(fromAnsi(errorMessageA(613)), L"无法备份现有配置单元");
    EXPECT_EQ(fromAnsi(errorMessageA(614)), L"无法恢复配置单元");
    for (int code = 600; code <= 610; ++code) EXPECT_EQ(fromAnsi(errorMessageA(code)), errorMessage(code));
    EXPECT_EQ(fromAnsi(errorMessageA(615)), L"未知错误");
    // The exact bytes of one text in code page 936.
    EXPECT_EQ(errorMessageA(608), std::string("\xB1\xBB\xD3\xC3\xBB\xA7\xC8\xA1\xCF\xFB"));
}

TEST(WindowsErrorText, SystemTextWithoutTrailingLineBreaks) {
    std::wstring text = windowsErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), L'\n');
    EXPECT_NE(text.back(), L'\r');
    EXPECT_EQ(text.find(L"HRESULT"), std::wstring::npos);

    std::string textA = windowsErrorTextA(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(textA.empty());
    EXPECT_NE(textA.back(), '\n');
    EXPECT_NE(textA.back(), '\r');
}

TEST(WindowsErrorText, UnknownCodeGivesHresultForm) {
    EXPECT_EQ(windowsErrorText(0x2000ABCDu), L"HRESULT 0x2000abcd");
    EXPECT_EQ(windowsErrorTextA(0x2000ABCDu), "HRESULT 0x2000abcd");
    EXPECT_EQ(windowsErrorText(0x00ABCDEFu), L"HRESULT 0x00abcdef");
}

}  // namespace
