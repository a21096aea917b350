// One run of the shipped backup program for a GUI test: a copy of Tolmen.exe in a
// scratch folder (with its own RegOpt.ini), started without arguments, ended at the end.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "gui_driver.h"
#include "test_support.h"

class TolmenRun {
public:
    // folder: where the program copy goes (a fresh scratch folder when empty).
    explicit TolmenRun(const wchar_t* tag, const std::wstring& folder = L"");
    ~TolmenRun();
    TolmenRun(const TolmenRun&) = delete;
    TolmenRun& operator=(const TolmenRun&) = delete;

    const std::wstring& folder() const { return folder_; }
    std::wstring iniPath() const { return folder_ + L"RegOpt.ini"; }
    void writeSetting(const wchar_t* key, const wchar_t* value, const wchar_t* section = L"Settings");
    // The value of a key, or "<missing>".
    std::wstring setting(const wchar_t* key, const wchar_t* section = L"Settings") const;

    // Starts the program and waits for the wizard. Null when it did not show.
    HWND start();
    HWND wizard() const { return wizard_; }
    DWORD pid() const { return pid_; }
    HWND control(int id) const { return gui_driver::waitForControl(wizard_, id, 5000); }
    // A top-level window of the program with that caption.
    HWND window(const std::wstring& caption, DWORD timeoutMs = 10000) const {
        return gui_driver::waitForWindow(pid_, caption, timeoutMs);
    }
    // Presses a wizard button (PSBTN_*).
    void press(int button) const;
    // Cancel, then waits for the process to end.
    bool cancelAndWait();
    bool exited(DWORD timeoutMs) const;

private:
    std::unique_ptr<testing_support::ScratchDir> scratch_;
    std::wstring folder_;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND wizard_ = nullptr;
};

constexpr const wchar_t* kCaption = L"注册表备份";

// Today's date in the default picture, and the default folder the welcome page shows.
std::wstring todayText();
std::wstring defaultFolderShown();
