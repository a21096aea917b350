// The dialog resources as the program carries them: size, caption, font, and every
// control's id, class, text and place, read from the templates themselves.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_template.h"
#include "resource.h"
#include "test_support.h"

using testing_support::toUtf8;

namespace {

using Control = testing_support::TemplateControl;
using Dialog = testing_support::DialogTemplate;

bool loadDialog(int id, Dialog& dialog) {
    return testing_support::readDialogTemplate(GetModuleHandleW(nullptr), id, dialog);
}

void expectControls(const Dialog& dialog, const std::vector<Control>& expected) {
    ASSERT_EQ(dialog.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Control& got = dialog.controls[i];
        const Control& want = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + " " + toUtf8(want.text));
        if (want.id != -1) {
            EXPECT_EQ(got.id, want.id);
        }
        // The resource compiler may write class names in capitals.
        EXPECT_EQ(lstrcmpiW(got.cls.c_str(), want.cls.c_str()), 0) << toUtf8(got.cls);
        EXPECT_EQ(toUtf8(got.text), toUtf8(want.text));
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        if (want.style) {
            EXPECT_EQ(got.style & want.style, want.style);
        }
    }
}

}  // namespace

TEST(Resources, WelcomePage) {
    Dialog d;
    ASSERT_TRUE(loadDialog(IDD_WELCOME, d));
    EXPECT_EQ(d.cx, 320);
    EXPECT_EQ(d.cy, 146);
    EXPECT_EQ(d.caption, L"欢迎使用 - 注册表备份/恢复工具");
    EXPECT_EQ(d.font, L"宋体");
    EXPECT_EQ(d.pointSize, 9);
    expectControls(d, {
        {-1, L"Static", L"注册表是 Windows 的一个重要组成部分。它的任何损坏，甚至可以导致 Windows 无法启动。 因此定期备份注册表是非常明智的。", 7, 5, 298, 19, 0},
        {-1, L"Static", L"使用此工具，您可以备份 Windows 系统的注册表。如果 Windows 无法启动，您可以通过恢复注册表来使 Windows 恢复启动。 ", 7, 26, 297, 21, 0},
        {-1, L"Button", L"选择一个用来保存注册表的文件夹", 7, 49, 306, 33, BS_GROUPBOX},
        {1000, L"Edit", L"", 17, 62, 248, 14, ES_AUTOHSCROLL},
        {1001, L"Button", L"浏览...", 266, 62, 40, 14, 0},
        {-1, L"Button", L"选择要备份的注册表配置单元", 7, 90, 306, 36, BS_GROUPBOX},
        {1002, L"Button", L"系统 (推荐)", 17, 105, 96, 11, BS_AUTOCHECKBOX},
        {1003, L"Button", L"当前用户 (推荐)", 116, 106, 107, 11, BS_AUTOCHECKBOX},
        {1004, L"Button", L"其它可用配置单元", 226, 106, 81, 11, BS_AUTOCHECKBOX},
        {1010, L"Static", L"<a>高级选项</a>", 7, 132, 75, 8, 0},
        {1012, L"Static", L"<a>恢复备份</a>", 117, 132, 74, 8, 0},
        {1011, L"Static", L"<a>在线帮助...</a>", 226, 132, 74, 8, 0},
    });
}

TEST(Resources, ProgressPage) {
    Dialog d;
    ASSERT_TRUE(loadDialog(IDD_PROGRESS, d));
    EXPECT_EQ(d.cx, 320);
    EXPECT_EQ(d.cy, 145);
    EXPECT_EQ(d.caption, L"备份");
    EXPECT_EQ(d.font, L"宋体");
    expectControls(d, {
        {1006, L"Static", L"单击开始保存注册表到文件夹.........", 7, 7, 306, 21, 0},
        {1007, L"Static", L"", 7, 27, 306, 28, 0},
        {1018, L"SysListView32", L"", 7, 83, 306, 62, LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | WS_VISIBLE},
    });
    EXPECT_FALSE(d.controls[1].style & WS_VISIBLE) << "the old status area starts hidden";
}

TEST(Resources, AdvancedOptionsDialog) {
    Dialog d;
    ASSERT_TRUE(loadDialog(IDD_ADVANCED_OPTIONS, d));
    EXPECT_EQ(d.cx, 283);
    EXPECT_EQ(d.cy, 197);
    EXPECT_EQ(d.caption, L"高级选项");
    EXPECT_EQ(d.font, L"宋体");
    EXPECT_EQ(d.style & (DS_MODALFRAME | WS_SYSMENU), static_cast<DWORD>(DS_MODALFRAME | WS_SYSMENU));
    expectControls(d, {
        {-1, L"Static", L"默认备份文件夹:", 7, 7, 73, 10, 0},
        {1000, L"Edit", L"", 86, 5, 190, 14, ES_AUTOHSCROLL},
        {-1, L"Static", L"您可以使用环境变量， <date> 表示当前日期， <time> 表示时间。\n默认路径设置在 Windows 文件夹内，以便 Windows 无法启动时，可以从 Windows 故障恢复控制台访问它。请查阅帮助了解更多信息。", 7, 22, 269, 25, 0},
        {-1, L"Static", L"", 7, 50, 269, 1, SS_ETCHEDHORZ},
        {1003, L"Button", L"覆盖备份文件夹中的任何现有备份", 7, 58, 208, 10, BS_AUTOCHECKBOX},
        {-1, L"Static", L"这仅适用于标准 GUI 模式；要适用于命令行，请查阅帮助。", 7, 72, 269, 12, 0},
        {-1, L"Static", L"", 7, 88, 269, 1, SS_ETCHEDHORZ},
        {1012, L"Button", L"不删除任何备份", 7, 98, 107, 10, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP},
        {1013, L"Button", L"删除早于", 7, 115, 46, 10, BS_AUTORADIOBUTTON},
        {1014, L"Button", L"删除其它备份，仅保留最后__个备份", 7, 135, 141, 10, BS_AUTORADIOBUTTON},
        {1015, L"Edit", L"", 60, 115, 34, 12, ES_NUMBER | WS_TABSTOP},
        {-1, L"Static", L"天以前的备份", 107, 117, 62, 8, 0},
        {1016, L"Edit", L"", 157, 134, 34, 12, ES_NUMBER | WS_TABSTOP},
        {-1, L"Static", L"这仅适用于保存在本地硬盘的备份文件。", 7, 154, 269, 9, 0},
        {-1, L"Static", L"", 7, 168, 269, 1, SS_ETCHEDHORZ},
        {IDOK, L"Button", L"确定", 173, 176, 50, 14, 0},
        {IDCANCEL, L"Button", L"取消", 226, 176, 50, 14, BS_DEFPUSHBUTTON},
    });
    EXPECT_FALSE(d.controls[15].style & BS_DEFPUSHBUTTON) << "OK is not the default button";
}

TEST(Resources, BackupBrowser) {
    Dialog d;
    ASSERT_TRUE(loadDialog(IDD_BACKUP_BROWSER, d));
    EXPECT_EQ(d.cx, 334);
    EXPECT_EQ(d.cy, 222);
    EXPECT_EQ(d.caption, L"备份浏览器");
    EXPECT_EQ(d.font, L"宋体");
    expectControls(d, {
        {1008, L"SysListView32", L"", 3, 3, 103, 186, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER},
        {1000, L"Edit", L"", 111, 3, 220, 163, ES_READONLY | ES_MULTILINE | WS_HSCROLL},
        {1001, L"Button", L"恢复", 171, 175, 50, 14, WS_DISABLED},
        {1019, L"Button", L"查看...", 226, 175, 50, 14, WS_DISABLED},
        {1002, L"Button", L"删除", 281, 175, 50, 14, WS_DISABLED},
        {-1, L"Static", L"", 3, 196, 328, 1, SS_ETCHEDHORZ},
        {IDOK, L"Button", L"搜索", 27, 202, 50, 14, BS_DEFPUSHBUTTON},
        {IDCANCEL, L"Button", L"关闭", 281, 202, 50, 14, 0},
    });
}

TEST(Resources, CaptionStringAndHeaderBitmap) {
    wchar_t text[64] = {};
    ASSERT_GT(LoadStringW(GetModuleHandleW(nullptr), IDS_CAPTION, text, 64), 0);
    EXPECT_EQ(std::wstring(text), L"注册表备份");
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_HEADER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_TRUE(bitmap);
    DIBSECTION dib = {};
    ASSERT_TRUE(GetObjectW(bitmap, sizeof(dib), &dib));
    EXPECT_EQ(dib.dsBmih.biWidth, 49);
    EXPECT_EQ(std::abs(dib.dsBmih.biHeight), 49);
    EXPECT_EQ(dib.dsBmih.biBitCount, 8);
    DeleteObject(bitmap);
}
