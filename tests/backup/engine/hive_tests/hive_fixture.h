// Shared pieces of the hive tests: a job with its lock, a replacement BackupSystem, a
// hivelist key private to this test process, and NT paths of files on drive C:.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "backup_system.h"
#include "job.h"

namespace hive_tests {

// A job as the saving loop sees it: the lock initialised, the rest at its defaults.
struct TestJob {
    TestJob();
    ~TestJob();
    TestJob(const TestJob&) = delete;
    TestJob& operator=(const TestJob&) = delete;
    BackupJob job;
};

// Answers what the tests choose and forwards the rest to the real system. Installed
// for its lifetime.
class FakeSystem : public BackupSystem {
public:
    FakeSystem();
    ~FakeSystem() override;
    FakeSystem(const FakeSystem&) = delete;
    FakeSystem& operator=(const FakeSystem&) = delete;

    WindowsLevel windowsLevel() override;
    LONG openHiveList(HKEY* key) override;
    bool hasSaveKeyEx() override;
    LONG saveKeyEx(HKEY key, HANDLE file, DWORD flags) override;
    LONG saveKey(HKEY key, HANDLE file) override;
    LONG flushKey(HKEY key) override;
    HiveCheckResult checkSavedHive(const std::wstring& file, const std::wstring& scratchParent) override;

    int level = -1;                 // -1: the real level
    std::wstring hiveListKey;       // below HKEY_CURRENT_USER; empty: the machine's hivelist
    LONG hiveListError = 0;         // non-zero: opening the hivelist fails with it
    bool saveKeyExMissing = false;  // as on Windows 2000
    // Replace the calls when set; otherwise the real calls run.
    std::function<LONG(HANDLE file)> saveKeyExResult;
    std::function<HiveCheckResult(const std::wstring& file, const std::wstring& scratchParent)> checkResult;
    std::vector<std::string> calls;  // "flush", "saveEx", "save" in call order
    DWORD saveExFlags = 0;
    bool fileEmptyAtSave = false;  // whether the file was empty when "save" ran

private:
    BackupSystem* previous_;
};

// A hivelist of this process's own below HKEY_CURRENT_USER, removed at the end.
class PrivateHiveList {
public:
    PrivateHiveList();
    ~PrivateHiveList();
    PrivateHiveList(const PrivateHiveList&) = delete;
    PrivateHiveList& operator=(const PrivateHiveList&) = delete;
    const std::wstring& keyPath() const { return path_; }
    void add(const std::wstring& name, const std::wstring& data, DWORD type = REG_SZ);

private:
    std::wstring path_;
};

// A registry key of this process's own below the current user's key, holding one value
// named kProbeValue, deleted at the end.
class ProbeKey {
public:
    ProbeKey();
    ~ProbeKey();
    ProbeKey(const ProbeKey&) = delete;
    ProbeKey& operator=(const ProbeKey&) = delete;
    // \REGISTRY\USER\S-1-5-21-...\Software\Tolmen-tests\probe-<pid>-<n>
    const std::wstring& hiveName() const { return hiveName_; }
    const std::wstring& subkey() const { return subkey_; }  // below HKEY_USERS

private:
    std::wstring subkey_;
    std::wstring hiveName_;
};
constexpr wchar_t kProbeValue[] = L"TolmenProbeValue";

// A name no earlier run of the tests has used: tag-<pid>-<tick>-<n>.
std::wstring uniqueName(const wchar_t* tag);
// A key path below HKEY_USERS for a hive that is not loaded; the test deletes whatever
// the code under test leaves there.
class MissingKey {
public:
    MissingKey();
    ~MissingKey();
    MissingKey(const MissingKey&) = delete;
    MissingKey& operator=(const MissingKey&) = delete;
    const std::wstring& subkey() const { return subkey_; }

private:
    std::wstring subkey_;
};

// Wine's current-user key below HKEY_USERS.
constexpr wchar_t kUserSid[] = L"S-1-5-21-0-0-0-1000";

// C:\x -> \Device\HarddiskVolume1\x, as the hivelist names files.
std::wstring ntPathOf(const std::wstring& dosPath);
// The name GetUserNameW gives.
std::wstring userName();
// Holds a file open without sharing, as the system holds a loaded hive.
class LockedFile {
public:
    explicit LockedFile(const std::wstring& path);
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    bool locked() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// The names in a folder (given with its trailing backslash) that look like the hive
// check's scratch folders (its keys: testing_support::hiveCheckKeys).
std::vector<std::wstring> hiveCheckScratchFolders(const std::wstring& parent);

// Every name in a folder (given with its trailing backslash), files and folders, sorted.
std::vector<std::wstring> namesIn(const std::wstring& folder);

// Bytes that no registry loads as a hive.
extern const std::string kGarbage;

}  // namespace hive_tests
