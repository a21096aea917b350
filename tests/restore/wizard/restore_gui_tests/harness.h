// Backup folders for the restore wizard's tests and two ways of running the wizard: the
// shipped SURVIN.EXE in its own process, or the wizard code on a thread of this process
// with the hive replacement and the restart replaced.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "engine.h"
#include "osinfo.h"
#include "session.h"

namespace rgui {

struct SavedHive {
    std::string type;   // e.g. MACHINE\SYSTEM
    std::string saved;  // relative to the backup folder
    std::string hive;   // live file path as SURVIN.INI records it
    int category;
    std::string bytes;  // content of the saved file (see testing_support::hiveBytes)
};

// What the INFO section describes; by default the running Windows.
struct BackupDescription {
    std::string sysRoot;  // empty: the running Windows folder
    bool otherProductType = false;  // an OS record of another product type (osDiffers)
    bool editOsString = false;      // OSString that no longer matches OSINFO
    std::vector<SavedHive> hives;
};

// Writes SURVIN.INI and the saved hive files into folder (ANSI path, trailing backslash).
bool writeBackup(const std::string& folder, const BackupDescription& backup);
// The running Windows folder as the restore program sees it (no trailing backslash).
std::string windowsRoot();

std::wstring wide(const std::string& ansi);
std::string ansi(const std::wstring& text);
std::string fileBytes(const std::string& path);
bool putFile(const std::string& path, const std::string& bytes);
bool makeFolders(const std::string& folder);

// The shipped program copied into the backup folder and started there without arguments.
class RealProgram {
public:
    explicit RealProgram(const std::string& folder);
    // The same for a folder given in wide characters (one the ANSI code page may lack).
    explicit RealProgram(const std::wstring& folder);
    ~RealProgram();  // ends the program if a test left it running
    bool started() const { return process_ != nullptr; }
    DWORD processId() const { return processId_; }
    // Waits for the end of the program; false on time-out.
    bool waitForExit(DWORD timeoutMs, DWORD* exitCode);

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// Records what the engine would have asked of Windows instead of doing it.
class ScriptedActions : public RestoreCallback {
public:
    struct Replacement {
        HKEY root;
        std::string subKey, newFile, oldFile;
    };
    LONG replaceKey(HKEY root, const std::string& subKey, const std::string& newFile,
                    const std::string& oldFile) override;
    void restartWindows() override;
    LONG replaceResult = ERROR_SUCCESS;
    std::vector<Replacement> replacements;
    LONG restarts = 0;
};

// The wizard on its own thread of this process, for the given backup folder, with the
// session and the engine's actions open to the test.
class InProcessWizard {
public:
    InProcessWizard(const std::string& folder, RestoreCallback* actions);
    ~InProcessWizard();  // cancels the wizard if it is still open
    DWORD processId() const { return GetCurrentProcessId(); }
    RestoreSession session;
    // Waits until the wizard has returned.
    bool waitForEnd(DWORD timeoutMs);

private:
    static DWORD WINAPI threadProc(void* self);
    std::string folder_;
    RestoreCallback* actions_;
    HANDLE thread_ = nullptr;
};

// The caption the sheet shows on its welcome page.
extern const wchar_t kSheetTitle[];

}  // namespace rgui
