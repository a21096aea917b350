#include "harness.h"

#include <commctrl.h>
#include <prsht.h>

#include "edition.h"
#include "loader.h"
#include "platform.h"
#include "restore_wizard.h"
#include "gui_driver.h"
#include "test_support.h"

namespace rgui {

// A wizard shows the caption of its current page.
const wchar_t kSheetTitle[] = L"欢迎使用 - 注册表恢复工具";

namespace {

// The wizard's dialogs and bitmap come from the shipped program; this test program
// carries no resources of its own.
void loadWizardResources() {
    static bool done = false;
    if (done) return;
    done = true;
    // As the program does at its start: the engine loads each saved hive to check it.
    enablePrivilege(true, L"SeBackupPrivilege");
    enablePrivilege(true, L"SeRestorePrivilege");
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0x80FF};
    InitCommonControlsEx(&icc);
    HMODULE module = LoadLibraryExW(testing_support::distFile(L"Survin.exe").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    if (module) setRestoreResourceModule(module);
}

}  // namespace

std::wstring wide(const std::string& text) { return testing_support::fromAnsi(text); }
std::string ansi(const std::wstring& text) { return testing_support::toAnsi(text); }
std::string fileBytes(const std::string& path) { return testing_support::readBytes(wide(path)); }
bool putFile(const std::string& path, const std::string& bytes) {
    return testing_support::writeBytes(wide(path), bytes);
}
bool makeFolders(const std::string& folder) { return testing_support::makeDirs(wide(folder)); }

std::string windowsRoot() {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    std::string root = folder;
    while (!root.empty() && root.back() == '\\') root.pop_back();
    return root;
}

bool writeBackup(const std::string& folder, const BackupDescription& backup) {
    if (!makeFolders(folder)) return false;
    const std::string ini = folder + "SURVIN.INI";
    DeleteFileA(ini.c_str());

    std::string osString;
    OsInfoRecord record = {};
    if (!identifyWindowsA(osString, record, IdentifyMode::Query)) return false;
    if (backup.otherProductType) {
        record.productType = record.productType == VER_NT_WORKSTATION ? VER_NT_SERVER : VER_NT_WORKSTATION;
        if (!identifyWindowsA(osString, record, IdentifyMode::FromRecord)) return false;
    }
    if (backup.editOsString) osString += " X";
    char winVer[32];
    wsprintfA(winVer, "%lu.%lu", static_cast<unsigned long>(record.majorVersion),
              static_cast<unsigned long>(record.minorVersion));
    const std::string sysRoot = backup.sysRoot.empty() ? windowsRoot() : backup.sysRoot;

    bool ok = WritePrivateProfileStringA("INFO", "DateTime", "2026-12-08 , 8:00:00 上午", ini.c_str()) &&
              WritePrivateProfileStringA("INFO", "IniVersion", "1", ini.c_str()) &&
              WritePrivateProfileStringA("INFO", "WinVer", winVer, ini.c_str()) &&
              WritePrivateProfileStringA("INFO", "OSString", osString.c_str(), ini.c_str()) &&
              WritePrivateProfileStringA("INFO", "WARNING_1", "永远不要编辑下面的行", ini.c_str()) &&
              WritePrivateProfileStructA("INFO", "OSINFO", &record, sizeof(record), ini.c_str()) &&
              WritePrivateProfileStringA("INFO", "WARNING_2", "永远不要编辑上面的行", ini.c_str()) &&
              WritePrivateProfileStringA("INFO", "SysRoot", sysRoot.c_str(), ini.c_str()) &&
              WritePrivateProfileStringA("INFO", "CurUser", "tester", ini.c_str());
    int i = 0;
    for (const SavedHive& hive : backup.hives) {
        char section[16];
        wsprintfA(section, "%s%d", "DATA", i++);
        char category[16];
        wsprintfA(category, "%d", hive.category);
        ok = ok && WritePrivateProfileStringA(section, "Type", hive.type.c_str(), ini.c_str()) &&
             WritePrivateProfileStringA(section, "Saved", hive.saved.c_str(), ini.c_str()) &&
             WritePrivateProfileStringA(section, "Hive", hive.hive.c_str(), ini.c_str()) &&
             WritePrivateProfileStringA(section, "Category", category, ini.c_str());
        const std::string saved = folder + hive.saved;
        ok = ok && makeFolders(saved.substr(0, saved.find_last_of('\\') + 1)) && putFile(saved, hive.bytes);
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());  // flush
    return ok;
}

RealProgram::RealProgram(const std::string& folder) : RealProgram(wide(folder)) {}

RealProgram::RealProgram(const std::wstring& folder) {
    const std::wstring exe = folder + L"SURVIN.EXE";
    if (!CopyFileW(testing_support::distFile(L"Survin.exe").c_str(), exe.c_str(), FALSE)) return;
    // Another test program may hold the single-instance mutex for a moment: a second
    // instance ends at once, so try again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            folder.c_str(), &si, &pi))
            return;
        CloseHandle(pi.hThread);
        if (WaitForSingleObject(pi.hProcess, 1500) == WAIT_TIMEOUT) {
            process_ = pi.hProcess;
            processId_ = pi.dwProcessId;
            return;
        }
        CloseHandle(pi.hProcess);
        Sleep(1000);
    }
}

RealProgram::~RealProgram() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

bool RealProgram::waitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(process_, exitCode) != FALSE;
}

LONG ScriptedActions::replaceKey(HKEY root, const std::string& subKey, const std::string& newFile,
                                 const std::string& oldFile) {
    replacements.push_back({root, subKey, newFile, oldFile});
    return replaceResult;
}

void ScriptedActions::restartWindows() { InterlockedIncrement(&restarts); }

InProcessWizard::InProcessWizard(const std::string& folder, RestoreCallback* actions)
    : folder_(folder), actions_(actions) {
    loadWizardResources();
    thread_ = CreateThread(nullptr, 0, threadProc, this, 0, nullptr);
}

InProcessWizard::~InProcessWizard() {
    if (!thread_) return;
    if (!waitForEnd(0)) {
        // Close whatever is still open: message boxes first, then the sheet.
        for (int round = 0; round < 20 && !waitForEnd(200); ++round) {
            HWND top = gui_driver::waitForOtherDialog(processId(), {}, 200);
            if (!top) continue;
            if (IsWindowEnabled(top) && gui_driver::currentPage(top)) {
                gui_driver::pressSheetButton(top, PSBTN_CANCEL);
            } else if (IsWindowEnabled(top)) {
                PostMessageW(top, WM_COMMAND, IDCANCEL, 0);
                PostMessageW(top, WM_COMMAND, IDNO, 0);
                PostMessageW(top, WM_COMMAND, IDOK, 0);
            } else if (HWND box = gui_driver::waitForOtherDialog(processId(), {top}, 200)) {
                PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
                PostMessageW(box, WM_COMMAND, IDNO, 0);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        }
    }
    waitForEnd(5000);
    CloseHandle(thread_);
}

bool InProcessWizard::waitForEnd(DWORD timeoutMs) {
    return thread_ && WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI InProcessWizard::threadProc(void* self) {
    InProcessWizard* wizard = static_cast<InProcessWizard*>(self);
    initSession(wizard->session, wizard->folder_);
    runRestoreWizard(wizard->session, nullptr, wizard->actions_);
    return 0;
}

}  // namespace rgui

#include "common.h"

namespace rgui {

std::wstring runningEdition() {
    std::string text;
    OsInfoRecord record = {};
    if (!identifyWindowsA(text, record, IdentifyMode::Query)) return std::wstring();
    return wide(text);
}

}  // namespace rgui
