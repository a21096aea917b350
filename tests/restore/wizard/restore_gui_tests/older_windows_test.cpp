// The restore program on the older Windows versions it knows: the shipped SURVIN.EXE as
// the test platform reports them to it names the running system and opens its wizard on
// each, and the link control it brings for systems that have none.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "common.h"
#include "plain_link.h"
#include "wine_version.h"

using namespace rgui;
using namespace gui_driver;

TEST(OlderWindows, RestoreWizardNamesTheRunningSystem) {
    // On 64-bit Windows the Server 2003 editions name their processor.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    struct {
        const wchar_t* version;  // Wine's name of it
        std::wstring edition;
    } const cases[] = {
        {L"nt40", L"Windows NT 4.0 Workstation Service Pack 6a (build 1381)"},
        {L"win2k", L"Windows 2000 Professional Service Pack 4 (build 2195)"},
        {L"winxp", L"Windows XP Professional Service Pack 3 (build 2600)"},
        {L"win2003", std::wstring(L"Windows Server 2003, Standard") + (wow64 ? L" x64" : L"") +
                         L" Service Pack 2 (build 3790)"},
    };
    // A backup of another installation, so that the copy mode finds its root and no
    // detection warning comes between.
    OfflineTree tree("RGUIVER");
    ASSERT_TRUE(makeFolders(tree.root + "\\WINDOWS\\system32\\config\\"));
    for (const auto& c : cases) {
        SCOPED_TRACE(testing_support::toUtf8(c.version));
        BackupFolder folder(L"rgui-older");
        BackupDescription backup;
        backup.sysRoot = tree.root + "\\WINDOWS";
        backup.hives = {{"MACHINE\\SYSTEM", "SYSTEM", backup.sysRoot + "\\system32\\config\\SYSTEM", 1,
                         testing_support::hiveBytes("older windows")}};
        ASSERT_TRUE(writeBackup(folder.path, backup));

        testing_support::WineVersionFor version(L"SURVIN.EXE", c.version);
        ASSERT_TRUE(version.ok());
        RealProgram program(folder.path);
        ASSERT_TRUE(program.started());
        HWND sheet = waitForWindow(program.processId(), kSheetTitle);
        ASSERT_NE(sheet, nullptr);
        HWND welcome = currentPage(sheet);
        ASSERT_NE(welcome, nullptr);
        const std::wstring restoreInfo = textOf(GetDlgItem(welcome, 1007));
        EXPECT_EQ(restoreInfo.substr(0, restoreInfo.find(L'\n')), L"恢复来源      \t:    " + c.edition);
        EXPECT_NE(restoreInfo.find(L"(不同 Windows) 将复制文件"), std::wstring::npos) << testing_support::toUtf8(restoreInfo);
        EXPECT_TRUE(waitForEnabled(GetDlgItem(sheet, kNextButton), true)) << "the backup was read";

        pressSheetButton(sheet, PSBTN_CANCEL);
        DWORD exitCode = 1;
        EXPECT_TRUE(program.waitForExit(15000, &exitCode));
        EXPECT_EQ(exitCode, 0u);
    }
}

namespace {

std::vector<std::pair<UINT_PTR, UINT>> gNotices;  // (id, code) of WM_NOTIFY in arrival order

LRESULT CALLBACK recordingParent(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        gNotices.emplace_back(header->idFrom, header->code);
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

// Where the system has no link control (before Windows XP), the wizard's pages get one of
// the program's own: a click and Return reach the page as they do from the system's.
TEST(OlderWindows, PlainLinkControlTellsThePageOfClickAndReturn) {
    ASSERT_TRUE(ensureLinkClass("PlainLinkUnderTest"));
    WNDCLASSEXA plain = {}, system = {};
    plain.cbSize = system.cbSize = sizeof(plain);
    ASSERT_TRUE(GetClassInfoExA(nullptr, "PlainLinkUnderTest", &plain));
    // Where the system has one, it stays.
    ASSERT_TRUE(ensureLinkClass("SysLink"));
    ASSERT_TRUE(GetClassInfoExA(nullptr, "SysLink", &system));
    EXPECT_NE(system.lpfnWndProc, plain.lpfnWndProc);

    WNDCLASSEXA parentClass = {};
    parentClass.cbSize = sizeof(parentClass);
    parentClass.lpfnWndProc = recordingParent;
    parentClass.hInstance = GetModuleHandleA(nullptr);
    parentClass.lpszClassName = "PlainLinkParent";
    RegisterClassExA(&parentClass);
    HWND parent = CreateWindowExA(0, "PlainLinkParent", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 120,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    HWND link = CreateWindowExA(0, "PlainLinkUnderTest", "<a>高级选项</a>", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                10, 10, 200, 20, parent, reinterpret_cast<HMENU>(1010), GetModuleHandleA(nullptr),
                                nullptr);
    ASSERT_NE(link, nullptr);
    gNotices.clear();

    mouseClick(link);
    EXPECT_TRUE(waitUntil([] { return !gNotices.empty(); }, 5000));
    EXPECT_EQ(GetFocus(), link) << "a click takes the focus";
    pressKey(link, VK_RETURN);
    EXPECT_TRUE(waitUntil([] { return gNotices.size() >= 2; }, 5000));
    const std::vector<std::pair<UINT_PTR, UINT>> expected = {{1010, static_cast<UINT>(NM_CLICK)},
                                                             {1010, static_cast<UINT>(NM_RETURN)}};
    EXPECT_EQ(gNotices, expected);
    DestroyWindow(parent);
}
