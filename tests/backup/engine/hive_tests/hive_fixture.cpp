#include "hive_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "hive_check.h"
#include "platform.h"
#include "test_support.h"

namespace hive_tests {

namespace {

LONG g_counter = 0;

// The program holds the backup and restore privileges, switched off except around the
// registry calls that need them, and on 64-bit Windows runs without file system
// redirection (the hive files lie in the real System32); so do these tests.
class ProgramLikeThread : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(enablePrivilege(true, L"SeBackupPrivilege"));
        ASSERT_TRUE(enablePrivilege(true, L"SeRestorePrivilege"));
        ASSERT_TRUE(enablePrivilege(false, L"SeBackupPrivilege"));
        ASSERT_TRUE(enablePrivilege(false, L"SeRestorePrivilege"));
        redirected_ = disableFsRedirection(&cookie_);
    }
    void TearDown() override {
        if (redirected_) revertFsRedirection(cookie_);
    }

private:
    PVOID cookie_ = nullptr;
    bool redirected_ = false;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ProgramLikeThread);

}  // namespace

// Wine reuses process ids soon; the tick count keeps the names of different runs apart.
std::wstring uniqueName(const wchar_t* tag) {
    wchar_t name[80];
    wsprintfW(name, L"%s-%lu-%lu-%ld", tag, GetCurrentProcessId(), GetTickCount(), InterlockedIncrement(&g_counter));
    return name;
}

MissingKey::MissingKey()
    : subkey_(std::wstring(kUserSid) + L"\\Software\\Tolmen-tests\\" + uniqueName(L"missing")) {}

MissingKey::~MissingKey() { RegDeleteKeyW(HKEY_USERS, subkey_.c_str()); }

TestJob::TestJob() { InitializeCriticalSection(&job.lock); }
TestJob::~TestJob() { DeleteCriticalSection(&job.lock); }

FakeSystem::FakeSystem() : previous_(setBackupSystem(this)) {}
FakeSystem::~FakeSystem() { setBackupSystem(previous_); }

WindowsLevel FakeSystem::windowsLevel() {
    return level >= 0 ? static_cast<WindowsLevel>(level) : BackupSystem::windowsLevel();
}

LONG FakeSystem::openHiveList(HKEY* key) {
    if (hiveListError) return hiveListError;
    if (hiveListKey.empty()) return BackupSystem::openHiveList(key);
    return RegOpenKeyExW(HKEY_CURRENT_USER, hiveListKey.c_str(), 0, KEY_READ, key);
}

bool FakeSystem::hasSaveKeyEx() { return !saveKeyExMissing && BackupSystem::hasSaveKeyEx(); }

LONG FakeSystem::saveKeyEx(HKEY key, HANDLE file, DWORD flags) {
    calls.push_back("saveEx");
    saveExFlags = flags;
    if (saveKeyExResult) return saveKeyExResult(file);
    return BackupSystem::saveKeyEx(key, file, flags);
}

LONG FakeSystem::saveKey(HKEY key, HANDLE file) {
    calls.push_back("save");
    LARGE_INTEGER size = {};
    fileEmptyAtSave = GetFileSizeEx(file, &size) && size.QuadPart == 0;
    return BackupSystem::saveKey(key, file);
}

HiveCheckResult FakeSystem::checkSavedHive(const std::wstring& file, const std::wstring& scratchParent) {
    if (checkResult) return checkResult(file, scratchParent);
    return BackupSystem::checkSavedHive(file, scratchParent);
}

LONG FakeSystem::flushKey(HKEY key) {
    calls.push_back("flush");
    return BackupSystem::flushKey(key);
}

PrivateHiveList::PrivateHiveList() : path_(L"Software\\Tolmen-tests\\" + uniqueName(L"hivelist")) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}

PrivateHiveList::~PrivateHiveList() { RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str()); }

void PrivateHiveList::add(const std::wstring& name, const std::wstring& data, DWORD type) {
    RegSetKeyValueW(HKEY_CURRENT_USER, path_.c_str(), name.c_str(), type, data.c_str(),
                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

ProbeKey::ProbeKey() {
    std::wstring below = L"Software\\Tolmen-tests\\" + uniqueName(L"probe");
    subkey_ = std::wstring(kUserSid) + L"\\" + below;
    hiveName_ = L"\\REGISTRY\\USER\\" + subkey_;
    const wchar_t data[] = L"saved through the registry";
    RegSetKeyValueW(HKEY_USERS, subkey_.c_str(), kProbeValue, REG_SZ, data, sizeof(data));
}

ProbeKey::~ProbeKey() { RegDeleteKeyW(HKEY_USERS, subkey_.c_str()); }

std::wstring ntPathOf(const std::wstring& dosPath) {
    return L"\\Device\\HarddiskVolume1" + dosPath.substr(2);
}

std::wstring userName() {
    wchar_t name[256];
    DWORD cch = 256;
    return GetUserNameW(name, &cch) ? name : L"";
}

LockedFile::LockedFile(const std::wstring& path)
    : handle_(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}

LockedFile::~LockedFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

std::vector<std::wstring> hiveCheckScratchFolders(const std::wstring& parent) {
    std::vector<std::wstring> found;
    for (const std::wstring& name : testing_support::subfolders(parent))
        if (_wcsnicmp(name.c_str(), kHiveCheckKeyPrefix, wcslen(kHiveCheckKeyPrefix)) == 0) found.push_back(name);
    return found;
}

std::vector<std::wstring> namesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

const std::string kGarbage("MZ\x90\0\x03\0 this was never a hive", 28);

}  // namespace hive_tests
