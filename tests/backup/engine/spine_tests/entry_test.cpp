// The backup program started as a user starts it: single instance, unattended runs and
// their message boxes.
#include <gtest/gtest.h>

#include <memory>

#include <windows.h>
#include <sddl.h>

#include "errors.h"
#include "platform.h"
#include "test_support.h"
#include "wine_version.h"

using testing_support::PrivateTolmen;
using testing_support::ScratchDir;
using testing_support::writeBytes;

namespace {

struct Process {
    // Started with this process's token, or with `token` when one is given.
    explicit Process(const std::wstring& commandLine, HANDLE token = nullptr) {
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        std::wstring line = commandLine;
        started = token ? CreateProcessAsUserW(token, nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                               nullptr, &si, &pi)
                        : CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    }
    ~Process() {
        if (!started) return;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    bool waitExit(DWORD ms, DWORD* code) {
        if (WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0) return false;
        GetExitCodeProcess(pi.hProcess, code);
        return true;
    }
    bool started = false;
    PROCESS_INFORMATION pi = {};
};

struct FoundBox {
    DWORD pid;
    HWND hwnd;
};

BOOL CALLBACK findVisible(HWND hwnd, LPARAM lp) {
    auto* f = reinterpret_cast<FoundBox*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == f->pid && IsWindowVisible(hwnd)) {
        f->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The first visible top-level window of the process, waited for up to ms.
HWND waitForWindow(DWORD pid, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 100) {
        FoundBox found{pid, nullptr};
        EnumWindows(findVisible, reinterpret_cast<LPARAM>(&found));
        if (found.hwnd) return found.hwnd;
        Sleep(100);
    }
    return nullptr;
}

std::wstring windowText(HWND hwnd) {
    wchar_t text[1024] = L"";
    GetWindowTextW(hwnd, text, 1024);
    return text;
}

// The message text of a message box (its static control 0xFFFF).
std::wstring messageBoxText(HWND box) { return windowText(GetDlgItem(box, 0xFFFF)); }

const wchar_t kRun64Bit[] = L"请运行此程序的 64 位版本。";

// The next message box of the process other than the 64-bit note, which a 32-bit
// program on 64-bit Windows shows first (the run goes on after it).
HWND waitForMessage(DWORD pid, bool* sawRun64Bit) {
    *sawRun64Bit = false;
    for (int i = 0; i < 2; ++i) {
        HWND box = waitForWindow(pid, 30000);
        if (!box || messageBoxText(box) != kRun64Bit) return box;
        *sawRun64Bit = true;
        SendMessageW(box, WM_COMMAND, IDOK, 0);
        for (int w = 0; w < 50 && IsWindow(box); ++w) Sleep(100);
    }
    return nullptr;
}

bool isWow64Process() {
    BOOL wow = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow) && wow;
}

std::wstring inQuotes(const std::wstring& s) { return L"\"" + s + L"\""; }

// This process's token without the backup and restore privileges, as an account that
// does not hold them has it.
HANDLE tokenWithoutBackupPrivileges() {
    HANDLE token = nullptr, restricted = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token)) return nullptr;
    LUID_AND_ATTRIBUTES removed[2] = {};
    LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &removed[0].Luid);
    LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &removed[1].Luid);
    if (!CreateRestrictedToken(token, 0, 0, nullptr, 2, removed, 0, nullptr, &restricted)) restricted = nullptr;
    CloseHandle(token);
    return restricted;
}

TEST(Entry, StartsThatEndAtOnceWithoutABox) {
    // None of these may wait on a message box: a task running as SYSTEM would hang there
    // for ever, holding the lock that every later run meets.
    enum Setup { OtherInstance, NameTakenByAUser, AccountWithoutPrivileges, WindowsNT4 };
    struct Case {
        const char* what;
        Setup setup;
        bool unattended;
        DWORD exitCode;
        bool backupWritten;
    };
    const Case cases[] = {
        {"another instance, wizard", OtherInstance, false, 0, false},
        {"another instance, unattended", OtherInstance, true, 2, false},
        // A user who made the lock's mutex first must not stop the scheduled backups.
        {"lock's name taken by a user", NameTakenByAUser, true, 0, true},
        {"account without the privileges", AccountWithoutPrivileges, true, err::kAccessDenied, false},
        {"Windows NT 4", WindowsNT4, true, 1, false},
    };
    PrivateTolmen tolmen(L"entry-starts-program");
    ASSERT_TRUE(tolmen.ok());
    ScratchDir dir(L"entry-starts");
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(testing_support::waitForTolmenFree());
        std::unique_ptr<SingleInstance> instance;
        HANDLE squatted = nullptr, token = nullptr;
        std::unique_ptr<testing_support::WineVersionFor> version;
        if (c.setup == OtherInstance) instance = std::make_unique<SingleInstance>(L"TOLMEN_RESTORE_MUTEX_2008");
        if (c.setup == NameTakenByAUser) {
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)",
                                                                             SDDL_REVISION_1, &descriptor, nullptr));
            SECURITY_ATTRIBUTES sa = {sizeof(sa), descriptor, FALSE};
            squatted = CreateMutexW(&sa, TRUE, L"TOLMEN_RESTORE_MUTEX_2008");
            LocalFree(descriptor);
            ASSERT_NE(squatted, nullptr);
        }
        if (c.setup == AccountWithoutPrivileges) {
            token = tokenWithoutBackupPrivileges();
            ASSERT_NE(token, nullptr);
        }
        if (c.setup == WindowsNT4) {
            version = std::make_unique<testing_support::WineVersionFor>(L"Tolmen.exe", L"nt40");
            ASSERT_TRUE(version->ok());
        }
        const std::wstring folder = dir / (L"row" + std::to_wstring(++row) + L"\\");
        std::wstring line = inQuotes(tolmen.exe());
        if (c.unattended) line += L" " + inQuotes(folder) + L" /silent";
        {
            Process p(line, token);
            ASSERT_TRUE(p.started);
            DWORD code = 99;
            const bool ended = p.waitExit(90000, &code);
            EXPECT_TRUE(ended) << "still running; a window: " << (waitForWindow(p.pi.dwProcessId, 100) != nullptr);
            EXPECT_EQ(c.exitCode, code);
        }
        EXPECT_EQ(c.backupWritten, testing_support::fileExists(folder + L"SURVIN.INI"));
        if (squatted) CloseHandle(squatted);
        if (token) CloseHandle(token);
    }
}

TEST(Entry, FailedUnattendedRunShowsErrorUnlessSilent) {
    PrivateTolmen tolmen(L"entry-fail-program");
    ScratchDir dir(L"entry-fail");
    ASSERT_TRUE(writeBytes(dir / L"afile", "x"));  // a file in the folder's place: 609
    {
        Process p(inQuotes(tolmen.exe()) + L" " + inQuotes(dir / L"afile\\"));
        ASSERT_TRUE(p.started);
        bool sawRun64Bit = false;
        HWND box = waitForMessage(p.pi.dwProcessId, &sawRun64Bit);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(sawRun64Bit, isWow64Process());
        EXPECT_EQ(windowText(box), L"注册表备份");
        EXPECT_EQ(messageBoxText(box), L"注册表备份遇到错误\n\n错误: 请更改目标文件夹");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        DWORD code = 99;
        EXPECT_TRUE(p.waitExit(20000, &code));
        EXPECT_EQ(code, 609u);  // the job's code reaches the scheduler
    }
    {
        Process p(inQuotes(tolmen.exe()) + L" " + inQuotes(dir / L"afile\\") + L" /silent");
        ASSERT_TRUE(p.started);
        DWORD code = 99;
        EXPECT_TRUE(p.waitExit(30000, &code));
        EXPECT_EQ(code, 609u);  // /silent changes the boxes only
    }
}

TEST(Entry, UnresolvableFolderShowsInvalidLocation) {
    // Longer than any folder can be after expansion.
    PrivateTolmen tolmen(L"entry-invalid-program");
    std::wstring tooLong = L"C:\\" + std::wstring(300, L'a') + L"\\";
    Process p(inQuotes(tolmen.exe()) + L" " + inQuotes(tooLong));
    ASSERT_TRUE(p.started);
    bool sawRun64Bit = false;
    HWND box = waitForMessage(p.pi.dwProcessId, &sawRun64Bit);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(messageBoxText(box), L"无效保存位置");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    DWORD code = 99;
    EXPECT_TRUE(p.waitExit(20000, &code));
    EXPECT_EQ(code, 609u);
}

TEST(Entry, HiveLeftOutByAFailedRegistrySaveIsReportedAsAnError) {
    // The other user's hive file of the test machine, held open without sharing: its
    // plain copy fails, and Wine has no key for that user, so the registry save fails too.
    wchar_t user[256];
    DWORD cch = 256;
    ASSERT_TRUE(GetUserNameW(user, &cch));
    std::wstring otherHive = std::wstring(L"C:\\users\\") + user + L"2\\NTUSER.DAT";
    HANDLE lock = CreateFileW(otherHive.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);

    PrivateTolmen tolmen(L"entry-savefail-program");
    ScratchDir dir(L"entry-savefail");
    Process p(inQuotes(tolmen.exe()) + L" " + inQuotes(dir / L"backup\\") + L" /reg:o");
    ASSERT_TRUE(p.started);
    bool sawRun64Bit = false;
    HWND box = waitForMessage(p.pi.dwProcessId, &sawRun64Bit);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(messageBoxText(box), L"注册表备份遇到错误\n\n错误: " + windowsErrorText(ERROR_FILE_NOT_FOUND));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    DWORD code = 99;
    EXPECT_TRUE(p.waitExit(20000, &code));
    EXPECT_EQ(code, 1u);  // ended "处理 包含错误" without a job code
    CloseHandle(lock);

    // The other hives of the category were still saved and the backup is complete.
    EXPECT_TRUE(testing_support::fileExists(dir / L"backup\\SURVIN.INI"));
    EXPECT_TRUE(testing_support::fileExists(dir / L"backup\\SURVIN.EXE"));
    EXPECT_TRUE(testing_support::fileExists(dir / L"backup\\Users\\1\\NTUSER.DAT"));
    std::string ini = testing_support::readBytes(dir / L"backup\\SURVIN.INI");
    EXPECT_EQ(ini.find(testing_support::toAnsi(user) + "2\\NTUSER.DAT"), std::string::npos);
}

// A hive of one more user in the machine's hivelist, for the length of a test. The
// backup suites take turns, so no other test lists the machine's hives meanwhile.
class ExtraMachineHive {
public:
    ExtraMachineHive(const wchar_t* hiveName, const std::wstring& file) : name_(hiveName) {
        const std::wstring data = L"\\Device\\HarddiskVolume1" + file.substr(2);  // C:\x as the hivelist names it
        added_ = RegSetKeyValueW(HKEY_LOCAL_MACHINE, kHiveList, name_.c_str(), REG_SZ, data.c_str(),
                                 static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ~ExtraMachineHive() { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kHiveList, name_.c_str()); }
    ExtraMachineHive(const ExtraMachineHive&) = delete;
    ExtraMachineHive& operator=(const ExtraMachineHive&) = delete;
    bool added() const { return added_; }

private:
    static constexpr const wchar_t* kHiveList = L"SYSTEM\\CurrentControlSet\\Control\\hivelist";
    std::wstring name_;
    bool added_ = false;
};

// Whether one of the numbered user folders of a backup holds these bytes as NTUSER.DAT.
bool userFolderHolds(const std::wstring& backup, const std::string& bytes) {
    for (int i = 1; testing_support::dirExists(backup + L"Users\\" + std::to_wstring(i)); ++i)
        if (testing_support::readBytes(backup + L"Users\\" + std::to_wstring(i) + L"\\NTUSER.DAT") == bytes) return true;
    return false;
}

TEST(Entry, HiveThatDoesNotLoadIsReportedAsAnErrorUnlessUnchecked) {
    // A user hive whose file is garbage: its plain copy succeeds, the copy does not load.
    ScratchDir live(L"entry-garbage-hive");
    const std::string garbage = "this file was never a hive";
    ASSERT_TRUE(writeBytes(live / L"NTUSER.DAT", garbage));
    ExtraMachineHive extra(L"\\REGISTRY\\USER\\S-1-5-21-0-0-0-1077", live / L"NTUSER.DAT");
    ASSERT_TRUE(extra.added());

    PrivateTolmen tolmen(L"entry-garbage-program");
    ScratchDir dir(L"entry-garbage");
    {
        Process p(inQuotes(tolmen.exe()) + L" " + inQuotes(dir / L"checked\\") + L" /reg:o");
        ASSERT_TRUE(p.started);
        bool sawRun64Bit = false;
        HWND box = waitForMessage(p.pi.dwProcessId, &sawRun64Bit);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(messageBoxText(box), L"注册表备份遇到错误\n\n错误: " + windowsErrorText(ERROR_NOT_REGISTRY_FILE));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        DWORD code = 99;
        EXPECT_TRUE(p.waitExit(20000, &code));
        EXPECT_EQ(code, 1u);  // "处理 包含错误" without a job code
    }
    const std::wstring checked = dir / L"checked\\";
    const std::string ini = testing_support::readBytes(checked + L"SURVIN.INI");
    EXPECT_NE(ini.find("S-1-5-21-0-0-0-1001"), std::string::npos) << "the other hives are saved";
    EXPECT_EQ(ini.find("S-1-5-21-0-0-0-1077"), std::string::npos);
    EXPECT_FALSE(userFolderHolds(checked, garbage)) << "the copy that does not load is deleted";

    // Switched off: the copy is kept and listed, and the run is a success.
    ASSERT_TRUE(writeBytes(tolmen.settings(), "[Settings]\r\nVerifyHives=0\r\n"));
    DWORD code = 99;
    ASSERT_TRUE(tolmen.run(inQuotes(dir / L"unchecked\\") + L" /reg:o /silent", &code));
    EXPECT_EQ(code, 0u);
    const std::wstring unchecked = dir / L"unchecked\\";
    EXPECT_NE(testing_support::readBytes(unchecked + L"SURVIN.INI").find("S-1-5-21-0-0-0-1077"), std::string::npos);
    EXPECT_TRUE(userFolderHolds(unchecked, garbage));
}

}  // namespace
