#include "errors.h"

#include <cstdio>

namespace {

// Texts of the shared table, indexed by code - 600.
const wchar_t* const kWideTexts[] = {
    L"拒绝访问", L"无法创建任何备份", L"无差异 b/w 压缩和原始大小", L"无法创建临时文件",
    L"无法打开配置单元", L"无法打开配置单元来替换", L"配置单元已存在于目标文件夹",
    L"无法创建用来保存的文件夹", L"被用户取消", L"请更改目标文件夹", L"磁盘空间不足",
};
// The restore program keeps its texts as GBK bytes (this file is compiled with the GBK
// execution character set).
const char* const kAnsiTexts[] = {
    "拒绝访问", "无法创建任何备份", "无差异 b/w 压缩和原始大小", "无法创建临时文件",
    "无法打开配置单元", "无法打开配置单元来替换", "配置单元已存在于目标文件夹",
    "无法创建用来保存的文件夹", "被用户取消", "请更改目标文件夹", "磁盘空间不足",
    "没找到备份配置单元", "配置单元信息无效", "无法备份现有配置单元", "无法恢复配置单元",
};

template <class Str>
void trimTrailingLineBreaks(Str& s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
}

}  // namespace

std::wstring errorMessage(int code) {
    if (code >= 600 && code <= 610) return kWideTexts[code - 600];
    return L"未知错误";
}

std::string errorMessageA(int code) {
    if (code >= 600 && code <= 614) return kAnsiTexts[code - 600];
    return "未知错误";
}

std::wstring windowsErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD cch = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (cch == 0 || !buffer) {
        wchar_t text[32];
        swprintf(text, 32, L"HRESULT 0x%8.8x", static_cast<unsigned>(code));
        return text;
    }
    std::wstring text(buffer, cch);
    LocalFree(buffer);
    trimTrailingLineBreaks(text);
    return text;
}

std::string windowsErrorTextA(DWORD code) {
    char* buffer = nullptr;
    DWORD cch = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    if (cch == 0 || !buffer) {
        char text[32];
        snprintf(text, sizeof(text), "HRESULT 0x%8.8x", static_cast<unsigned>(code));
        return text;
    }
    std::string text(buffer, cch);
    LocalFree(buffer);
    trimTrailingLineBreaks(text);
    return text;
}
