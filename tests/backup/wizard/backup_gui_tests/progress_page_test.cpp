// The progress page inside this test program: the log rule on a real list view, and
// the page's answers to the job's notifications and to Cancel, driven without a backup.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>

#include "backup_system.h"
#include "backup_wizard.h"
#include "errors.h"
#include "gui_driver.h"
#include "job.h"
#include "job_window.h"
#include "settings.h"
#include "test_support.h"
#include "wizard_pages.h"

using namespace gui_driver;
using namespace testing_support;

namespace {

class LogList : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_POPUP | LVS_REPORT | LVS_NOCOLUMNHEADER, 0, 0, 400, 200,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH;
        column.cx = 10;
        ListView_InsertColumn(list_, 0, &column);
    }
    void TearDown() override { DestroyWindow(list_); }
    std::vector<std::wstring> items() { return listItems(list_); }
    HWND list_ = nullptr;
};

}  // namespace

TEST_F(LogList, ALineOfAStepTakesThePlaceOfItsEarlierLineInAnyOrder) {
    addLogLine(list_, stepOfSavingHive(1), L"保存 (1 / 2) SYSTEM ...");
    addLogLine(list_, stepOfSavingHive(2), L"保存 (2 / 2) SOFTWARE ...");
    EXPECT_EQ(addLogLine(list_, stepOfSavingHive(2), L"保存 (2 / 2) SOFTWARE ... 成功"), 1);
    EXPECT_EQ(addLogLine(list_, stepOfSavingHive(1), L"保存 (1 / 2) SYSTEM ... 失败 : 拒绝访问。"), 0);
    EXPECT_EQ(items(), (std::vector<std::wstring>{L"保存 (1 / 2) SYSTEM ... 失败 : 拒绝访问。",
                                                   L"保存 (2 / 2) SOFTWARE ... 成功"}));
}

TEST_F(LogList, OnlyTheStepMergesNeverTheText) {
    addLogLine(list_, kStepSearchBackups, L"搜索以前备份 ...");
    EXPECT_EQ(addLogLine(list_, kStepDeleteBackups, L"删除以前备份（如果有） ..."), 1);
    EXPECT_EQ(addLogLine(list_, kLineOfItsOwn, L"搜索以前备份 ... 完成"), 2) << "same text, no step";
    EXPECT_EQ(addLogLine(list_, kLineOfItsOwn, L"处理 成功"), 3);
    EXPECT_EQ(addLogLine(list_, kLineOfItsOwn, L"处理 成功"), 4) << "lines of their own never merge";
    EXPECT_EQ(items(), (std::vector<std::wstring>{L"搜索以前备份 ...", L"删除以前备份（如果有） ...",
                                                   L"搜索以前备份 ... 完成", L"处理 成功", L"处理 成功"}));
}

namespace {

// The wizard on a thread of this program, over a job without a worker: the test plays
// the job's part by setting its events and posting its notifications.
class InProcessWizard : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        scratch_ = std::make_unique<ScratchDir>(L"gui-inprocess");
        initSettings(scratch_->path().c_str());
        InitializeCriticalSection(&job_.lock);
        for (KernelHandle& event : job_.startEvent) event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        job_.doneEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    void TearDown() override {
        if (thread_) {
            if (WaitForSingleObject(thread_, 0) != WAIT_OBJECT_0 && wizard_) {
                for (KernelHandle& event : job_.startEvent) ResetEvent(event.get());
                pressSheetButton(wizard_, PSBTN_CANCEL);
            }
            WaitForSingleObject(thread_, 10000);
            CloseHandle(thread_);
        }
        for (KernelHandle& event : job_.startEvent) event.reset();
        job_.doneEvent.reset();
        DeleteCriticalSection(&job_.lock);
        setBackupSystem(nullptr);
    }

    static DWORD WINAPI wizardThread(void* param) {
        runBackupWizard(*static_cast<BackupJob*>(param), nullptr);
        return 0;
    }

    // Starts the wizard and moves on to the progress page with the scratch folder.
    HWND openProgressPage() {
        thread_ = CreateThread(nullptr, 0, wizardThread, &job_, 0, nullptr);
        waitUntil([&] { return (wizard_ = findWindow(GetCurrentProcessId(), L"欢迎使用 - 注册表备份/恢复工具")) != nullptr; });
        if (!wizard_) return nullptr;
        HWND edit = waitForControl(wizard_, 1000);
        typeText(edit, scratch_->path());
        pressSheetButton(wizard_, PSBTN_NEXT);
        HWND message = nullptr;
        waitUntil([&] { return isVisible(message = findControl(wizard_, 1006)); });
        return message ? GetParent(message) : nullptr;
    }

    void post(HWND page, WPARAM kind, const wchar_t* text = nullptr) {
        PostMessageW(page, WM_JOB_NOTIFY, kind, text ? reinterpret_cast<LPARAM>(new std::wstring(text)) : 0);
    }

    bool wizardClosed(DWORD timeoutMs) { return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0; }

    std::unique_ptr<ScratchDir> scratch_;
    BackupJob job_;
    HANDLE thread_ = nullptr;
    HWND wizard_ = nullptr;
};

HWND linkOf(HWND page) { return FindWindowExW(page, nullptr, L"SysLink", nullptr); }

}  // namespace

TEST_F(InProcessWizard, CancelIsRefusedWhileTheWorkerSavesHives) {
    HWND page = openProgressPage();
    ASSERT_TRUE(page);
    EXPECT_EQ(job_.backupFolder, scratch_->path());
    EXPECT_EQ(job_.hiveMask, 3u);

    SetEvent(job_.startEvent[1].get());
    pressSheetButton(wizard_, PSBTN_CANCEL);
    EXPECT_FALSE(wizardClosed(1000));
    ResetEvent(job_.startEvent[1].get());
    SetEvent(job_.startEvent[0].get());
    pressSheetButton(wizard_, PSBTN_CANCEL);
    EXPECT_FALSE(wizardClosed(1000));

    ResetEvent(job_.startEvent[0].get());
    pressSheetButton(wizard_, PSBTN_CANCEL);
    EXPECT_TRUE(wizardClosed(5000));
}

TEST_F(InProcessWizard, NotificationsFillTheStatusAndTheLog) {
    HWND page = openProgressPage();
    ASSERT_TRUE(page);
    HWND link = linkOf(page);
    ASSERT_TRUE(link) << "Windows XP and later show the status in a link control";
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, 1007)));

    // As a run reports through the page's listener.
    WindowJobListener listener(page);
    listener.status(L"正在保存 SYSTEM");
    listener.logLine(stepOfSavingHive(1), L"保存 (1 / 1) SYSTEM ...");
    listener.logLine(stepOfSavingHive(1), L"保存 (1 / 1) SYSTEM ... 成功");
    EXPECT_TRUE(waitUntil([&] { return listCount(GetDlgItem(page, 1018)) == 1; }));
    EXPECT_EQ(listItemText(GetDlgItem(page, 1018), 0), L"保存 (1 / 1) SYSTEM ... 成功");
    EXPECT_EQ(textOf(link), L"正在保存 SYSTEM");
}

TEST_F(InProcessWizard, AHiveThatCouldNotBeSavedShowsTheFailureState) {
    HWND page = openProgressPage();
    ASSERT_TRUE(page);
    job_.firstSaveError = ERROR_ACCESS_DENIED;  // the run itself did not fail
    post(page, JOB_FINISHED);
    EXPECT_TRUE(waitUntil([&] { return textOf(GetDlgItem(page, 1006)) == L"注册表备份遇到错误。"; }));
    EXPECT_EQ(textOf(linkOf(page)), L"错误: " + windowsErrorText(ERROR_ACCESS_DENIED));
}

TEST_F(InProcessWizard, AFailedJobShowsItsErrorMessage) {
    HWND page = openProgressPage();
    ASSERT_TRUE(page);
    job_.failed = true;
    job_.errorCode = err::kDiskFull;
    post(page, JOB_FINISHED);
    EXPECT_TRUE(waitUntil([&] { return textOf(GetDlgItem(page, 1006)) == L"注册表备份遇到错误。"; }));
    EXPECT_EQ(textOf(linkOf(page)), L"错误: " + errorMessage(err::kDiskFull));
}

namespace {
struct Windows2000 : BackupSystem {
    WindowsLevel windowsLevel() override { return WindowsLevel::Windows2000; }
};
}  // namespace

TEST_F(InProcessWizard, BeforeWindowsXpTheSuccessShowsThePlainFolder) {
    Windows2000 system;
    setBackupSystem(&system);
    HWND page = openProgressPage();
    ASSERT_TRUE(page);
    EXPECT_FALSE(linkOf(page));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(page, 1007)));
    post(page, JOB_FINISHED);
    EXPECT_TRUE(waitUntil([&] { return textOf(GetDlgItem(page, 1006)) == L"注册表备份操作结束。"; }));
    EXPECT_EQ(textOf(GetDlgItem(page, 1007)),
              L"要在以后恢复注册表，请从备份文件夹运行 SURVIN.EXE 程序\n" + scratch_->path());
}
