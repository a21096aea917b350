// The dialog templates inside the shipped SURVIN.EXE: ids, kinds, texts, positions and
// the tab order (the order of the controls in the template).
#include <gtest/gtest.h>

#include "common.h"
#include "dialog_template.h"

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

using Dialog = testing_support::DialogTemplate;

bool loadDialog(int id, Dialog& dialog) {
    static HMODULE module = LoadLibraryExW(testing_support::distFile(L"Survin.exe").c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE);
    return module && testing_support::readDialogTemplate(module, id, dialog);
}

void expectControls(const Dialog& dialog, const std::vector<Control>& expected) {
    ASSERT_EQ(dialog.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& got = dialog.controls[i];
        const Control& want = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(want.id));
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(_wcsicmp(got.cls.c_str(), want.kind.c_str()), 0) << ansi(got.cls);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ((got.style & WS_VISIBLE) != 0, want.visible);
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
