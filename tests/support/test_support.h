// Helpers for the Windows test programs: scratch folders inside the Wine prefix, file
// bytes, starting the shipped programs, and a window that records WM_JOB_NOTIFY.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// A fresh, empty folder C:\tolmen-tests\<tag>-<pid>-<n>\ (trailing backslash); removed
// with everything in it when the object goes.
class ScratchDir {
public:
    explicit ScratchDir(const wchar_t* tag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

// Deletes a folder tree (files first). Missing folders are fine.
void removeTree(const std::wstring& folder);

std::string readBytes(const std::wstring& path);
bool writeBytes(const std::wstring& path, const std::string& bytes);
bool fileExists(const std::wstring& path);
// The bytes of a small hive that the test platform's registry loads (Wine's own hive
// format, as its save call writes it), one key and values that carry tag.
std::string hiveBytes(const std::string& tag);
bool dirExists(const std::wstring& path);
// The names of the folders directly inside a folder (given with its trailing backslash).
std::vector<std::wstring> subfolders(const std::wstring& folder);
// Creates every missing folder of the path.
bool makeDirs(const std::wstring& folder);

std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);
// Text in the ANSI code page (GBK under the test locale).
std::string toAnsi(const std::wstring& text);
std::wstring fromAnsi(const std::string& text);

// Windows path of a shipped file in dist/ (TOLMEN_DIST, reached through drive Z:).
std::wstring distFile(const wchar_t* name);
// Windows path of a file beside the Tolmen.exe under test (TOLMEN_PROGRAM_DIR: the 32-bit
// or the 64-bit build), Tolmen.exe and Tolmen.chm; dist/ when the variable is not set.
std::wstring programFile(const wchar_t* name);
// Windows path of a file in the source tree (TOLMEN_SOURCE).
std::wstring sourceFile(const wchar_t* relative);

// Starts a command line and waits for it. Returns false on start failure or time-out
// (the process is then killed); exitCode gets the exit code.
bool runProgram(const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode,
                const wchar_t* workingDir = nullptr);

// Waits (up to timeoutMs) until no Tolmen.exe holds the program's single-instance mutex;
// a second instance would end at once. True when it is free.
bool waitForTolmenFree(DWORD timeoutMs = 120000);

// A private copy of the shipped backup program (and its help file) in a scratch folder,
// so that the RegOpt.ini it writes beside itself belongs to this test alone.
class PrivateTolmen {
public:
    explicit PrivateTolmen(const wchar_t* tag);
    bool ok() const { return ok_; }
    const ScratchDir& dir() const { return dir_; }
    std::wstring exe() const { return dir_ / L"Tolmen.exe"; }
    std::wstring settings() const { return dir_ / L"RegOpt.ini"; }
    // Runs "Tolmen.exe <arguments>" once no other instance runs, and waits for its end
    // (started again while it meets another instance).
    bool run(const std::wstring& arguments, DWORD* exitCode = nullptr, DWORD timeoutMs = 120000);

private:
    ScratchDir dir_;
    bool ok_ = false;
};

// A hidden window that records every WM_JOB_NOTIFY posted to it (the text owned by the
// message is taken and freed, as a progress page does).
class NotifyRecorder {
public:
    struct Notice {
        WPARAM kind;        // the low word of the word parameter
        unsigned step;      // its high word: the step of a backup run's log line
        std::wstring text;  // empty for kinds without text
    };
    explicit NotifyRecorder(bool ansiText = false);
    ~NotifyRecorder();
    HWND hwnd() const { return hwnd_; }
    // Handles everything queued for this thread.
    void pump();
    const std::vector<Notice>& notices() const { return notices_; }
    std::vector<std::wstring> lines(WPARAM kind) const;

private:
    static LRESULT CALLBACK proc(HWND, UINT, WPARAM, LPARAM);
    HWND hwnd_ = nullptr;
    bool ansi_;
    std::vector<Notice> notices_;
};

// Whether a privilege of this process's token is enabled.
bool privilegeEnabled(const wchar_t* name);

// Keys under HKEY_USERS named like the hive check's temporary keys.
std::vector<std::wstring> hiveCheckKeys();

}  // namespace testing_support
