// The dialog templates inside the shipped SURVIN.EXE: ids, kinds, texts, positions and
// the tab order (the order of the controls in the template).
#include <gtest/gtest.h>

#include "common.h"

#include <commctrl.h>

using namespace rgui;

namespace {

struct Control {
    int id;
    std::wstring kind;  // class name, or Button/Static/ComboBox for the predefined ones
    std::wstring text;
    short x, y, cx, cy;
    bool visible;
};

struct Dialog {
    std::wstring caption, font;
    short cx = 0, cy = 0;
    WORD pointSize = 0;
    std::vector<Control> controls;
};

const WORD* alignDword(const WORD* p) {
    return reinterpret_cast<const WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
}

// A name-or-ordinal field of a template.
std::wstring readField(const WORD*& p) {
    if (*p == 0) {
        ++p;
        return std::wstring();
    }
    if (*p == 0xFFFF) {
        const WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80: return L"Button";
        case 0x81: return L"Edit";
        case 0x82: return L"Static";
        case 0x85: return L"ComboBox";
        default: return L"#" + std::to_wstring(ordinal);
        }
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(p));
    p += text.size() + 1;
    return text;
}

bool loadDialog(int id, Dialog& dialog) {
    static HMODULE module = LoadLibraryExW(testing_support::distFile(L"Survin.exe").c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return false;
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (!resource) return false;
    const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(module, resource)));
    if (!p || p[0] != 1 || p[1] != 0xFFFF) return false;  // DLGTEMPLATEEX only
    const DWORD style = *reinterpret_cast<const DWORD*>(p + 6);
    const WORD count = p[8];
    dialog.cx = static_cast<short>(p[11]);
    dialog.cy = static_cast<short>(p[12]);
    p += 13;
    readField(p);  // menu
    readField(p);  // class
    dialog.caption = readField(p);
    if (style & DS_SETFONT) {
        dialog.pointSize = p[0];
        p += 3;  // point size, weight, italic + charset
        dialog.font = readField(p);
    }
    for (WORD i = 0; i < count; ++i) {
        p = alignDword(p);
        Control control;
        const DWORD itemStyle = *reinterpret_cast<const DWORD*>(p + 4);
        control.visible = (itemStyle & WS_VISIBLE) != 0;
        control.x = static_cast<short>(p[6]);
        control.y = static_cast<short>(p[7]);
        control.cx = static_cast<short>(p[8]);
        control.cy = static_cast<short>(p[9]);
        control.id = static_cast<int>(*reinterpret_cast<const LONG*>(p + 10));
        p += 12;
        control.kind = readField(p);
        control.text = readField(p);
        const WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        dialog.controls.push_back(control);
    }
    return true;
}

void expectControls(const Dialog& dialog, const std::vector<Control>& expected) {
    ASSERT_EQ(dialog.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Control& got = dialog.controls[i];
        const Control& want = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(want.id));
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(_wcsicmp(got.kind.c_str(), want.kind.c_str()), 0) << ansi(got.kind);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(got.visible, want.visible);
    }
}

}  // namespace

TEST(RestoreResources, WelcomePage) {
    Dialog dialog;
    ASSERT_TRUE(loadDialog(100, dialog));
    EXPECT_EQ(dialog.caption, L"欢迎使用 - 注册表恢复工具");
    EXPECT_EQ(dialog.cx, 320);
    EXPECT_EQ(dialog.cy, 146);
    EXPECT_EQ(dialog.font, L"宋体");
    EXPECT_EQ(dialog.pointSize, 9);
    expectControls(dialog, {
        {1006, L"Static", L"错误: 在备份文件夹中没有找到 ini 文件；无法继续。", 19, 30, 291, 45, true},
        {-1, L"Static", L"Windows 注册表恢复工具", 7, 0, 114, 10, true},
        {1011, L"SysLink", L"<a>在线帮助...</a>", 191, 0, 84, 9, false},
        {-1, L"Button", L"备份信息", 7, 15, 306, 63, true},
        {1010, L"SysLink", L"<a>高级选项</a>", 7, 134, 139, 11, true},
        {-1, L"Button", L"恢复信息", 7, 81, 306, 50, true},
        {1007, L"Static", L"", 19, 92, 291, 37, true},
    });
}

TEST(RestoreResources, ProgressPage) {
    Dialog dialog;
    ASSERT_TRUE(loadDialog(101, dialog));
    EXPECT_EQ(dialog.caption, L"恢复");
    EXPECT_EQ(dialog.cx, 320);
    EXPECT_EQ(dialog.cy, 145);
    expectControls(dialog, {
        {1009, L"Button", L"显示进度", 246, 65, 67, 15, true},
        {1006, L"Static", L"单击开始恢复注册表。", 7, 7, 306, 21, true},
        {1007, L"Static", L"", 7, 27, 306, 28, true},
        {1021, L"SysListView32", L"", 7, 83, 306, 62, false},
    });
}

TEST(RestoreResources, OptionsDialogInTabOrder) {
    Dialog dialog;
    ASSERT_TRUE(loadDialog(203, dialog));
    EXPECT_EQ(dialog.caption, L"高级选项");
    EXPECT_EQ(dialog.cx, 284);
    EXPECT_EQ(dialog.cy, 162);
    expectControls(dialog, {
        {2, L"Button", L"取消", 227, 141, 50, 14, true},
        {1002, L"Button", L"系统", 37, 25, 54, 9, true},
        {1003, L"Button", L"当前用户", 102, 25, 60, 9, true},
        {1004, L"Button", L"其他用户", 178, 25, 62, 9, true},
        {1018, L"ComboBox", L"", 102, 63, 175, 63, true},
        {1, L"Button", L"确定", 173, 141, 50, 14, true},
        {-1, L"Static", L"恢复模式", 7, 65, 87, 11, true},
        {-1, L"Button", L"要恢复的配置单元", 7, 7, 270, 39, true},
        {1019, L"Button", L"备份现有注册表", 7, 114, 233, 11, true},
        {-1, L"Static", L"目标 Windows 根目录", 7, 89, 80, 14, true},
        {1020, L"ComboBox", L"", 102, 88, 175, 332, true},
    });
}

TEST(RestoreResources, CaptionStringAndHeaderBitmap) {
    HMODULE module = LoadLibraryExW(testing_support::distFile(L"Survin.exe").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    wchar_t caption[64] = {};
    EXPECT_GT(LoadStringW(module, 128, caption, 64), 0);
    EXPECT_STREQ(caption, L"注册表恢复");
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(201), MAKEINTRESOURCEW(2) /* RT_BITMAP */), nullptr);
    FreeLibrary(module);
}
