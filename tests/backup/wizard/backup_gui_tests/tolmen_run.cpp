#include "tolmen_run.h"

#include <windows.h>
#include <commctrl.h>

using namespace testing_support;

TolmenRun::TolmenRun(const wchar_t* tag, const std::wstring& folder) {
    if (folder.empty()) {
        scratch_ = std::make_unique<ScratchDir>(tag);
        folder_ = scratch_->path();
    } else {
        folder_ = folder;
        makeDirs(folder_);
    }
    CopyFileW(programFile(L"Tolmen.exe").c_str(), (folder_ + L"Tolmen.exe").c_str(), FALSE);
}

TolmenRun::~TolmenRun() {
    if (process_) {
        if (!exited(0)) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 10000);
        }
        CloseHandle(process_);
    }
}

void TolmenRun::writeSetting(const wchar_t* key, const wchar_t* value, const wchar_t* section) {
    WritePrivateProfileStringW(section, key, value, iniPath().c_str());
}

std::wstring TolmenRun::setting(const wchar_t* key, const wchar_t* section) const {
    wchar_t value[520];
    GetPrivateProfileStringW(section, key, L"<missing>", value, 520, iniPath().c_str());
    return value;
}

HWND TolmenRun::start() {
    for (int attempt = 0; attempt < 5 && !wizard_; ++attempt) {
        waitForTolmenFree();  // a second instance would end at once
        if (process_) CloseHandle(process_);
        process_ = nullptr;
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        std::wstring line = L"\"" + folder_ + L"Tolmen.exe\"";
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(), &si, &pi))
            return nullptr;
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        pid_ = pi.dwProcessId;
        // The sheet's title is the current page's caption; the wizard is the window with
        // a Next button. A run that ends at once met another instance: try again.
        gui_driver::waitUntil(
            [&] {
                HWND found = gui_driver::findWindow(pid_, L"欢迎使用 - 注册表备份/恢复工具");
                if (found && GetDlgItem(found, gui_driver::kNextButton)) wizard_ = found;
                return wizard_ != nullptr || exited(0);
            },
            20000);
    }
    if (!wizard_ && process_ && !exited(0)) gui_driver::printWindowsOf(pid_);
    // The page's controls exist once the first page is shown.
    if (wizard_) gui_driver::waitForControl(wizard_, 1000, 5000);
    return wizard_;
}

void TolmenRun::press(int button) const { gui_driver::pressSheetButton(wizard_, button); }

bool TolmenRun::cancelAndWait() {
    press(PSBTN_CANCEL);
    return exited(10000);
}

bool TolmenRun::exited(DWORD timeoutMs) const {
    return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

std::wstring todayText() {
    wchar_t date[128];
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, nullptr, L"yyyy-MM-dd", date, 128);
    return date;
}

std::wstring defaultFolderShown() {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\Tolmen\\" + todayText() + L"\\";
}
