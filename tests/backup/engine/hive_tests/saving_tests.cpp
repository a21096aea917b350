// Hive saving: the folder layout, the plain copy, the registry save and their failures.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "dacl_support.h"
#include "errors.h"
#include "folder_link.h"
#include "hive_discovery.h"
#include "hive_fixture.h"
#include "hive_saving.h"
#include "job_window.h"
#include "test_support.h"

using namespace hive_tests;
using testing_support::dirExists;
using testing_support::fileExists;
using testing_support::NotifyRecorder;
using testing_support::readBytes;
using testing_support::ScratchDir;
using testing_support::writeBytes;

namespace {

const wchar_t* nameOf(const wchar_t* path) {
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

// The test machine's hives of the given categories, in discovery order.
std::vector<HiveEntry> machineHives(DWORD mask) {
    TestJob t;
    t.job.hiveMask = mask;
    listHives(t.job);
    return t.job.hiveList;
}

HiveEntry entryOf(const std::wstring& hiveName, const std::wstring& file, DWORD category) {
    HiveEntry entry = {};
    copyField(entry.hiveName, hiveName.c_str());
    copyField(entry.filePath, file.c_str());
    entry.category = category;
    return entry;
}

bool contains(const std::string& bytes, const std::wstring& text) {
    const std::string narrow = testing_support::toUtf8(text);
    const std::string wide(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes.find(narrow) != std::string::npos || bytes.find(wide) != std::string::npos;
}

// Saves the key into a new file at path, as saveHive hands the save a file it created.
LONG saveInto(HKEY root, const std::wstring& subkey, const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<LONG>(GetLastError());
    LONG r = saveKeyToFile(root, subkey, file);
    CloseHandle(file);
    return r;
}

bool keyExists(HKEY root, const std::wstring& subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

TEST(CreateFolderTree, MakesEveryLevelAndRefusesDriveRoots) {
    ScratchDir dir(L"hive-tree");
    EXPECT_TRUE(createFolderTree(dir / L"a\\b\\c\\"));
    EXPECT_TRUE(dirExists(dir / L"a\\b\\c"));
    EXPECT_TRUE(createFolderTree(dir / L"a\\b"));  // exists already
    EXPECT_TRUE(createFolderTree(dir / L"d\\\\e\\\\"));
    EXPECT_TRUE(dirExists(dir / L"d\\e"));

    ASSERT_TRUE(writeBytes(dir / L"file", "x"));
    EXPECT_FALSE(createFolderTree(dir / L"file"));
    EXPECT_FALSE(createFolderTree(dir / L"file\\sub"));

    EXPECT_FALSE(createFolderTree(L"C:\\"));
    EXPECT_FALSE(createFolderTree(L"C:"));
    EXPECT_FALSE(createFolderTree(L""));
}

TEST(SaveHive, FullBackupLayoutOfTheTestMachine) {
    FakeSystem system;
    ScratchDir dir(L"hive-layout");
    NotifyRecorder recorder;
    TestJob t;
    WindowJobListener listener(recorder.hwnd());
    t.job.listener = &listener;
    t.job.backupFolder = dir / L"Backup\\";
    t.job.hiveList = machineHives(7);
    const int count = static_cast<int>(t.job.hiveList.size());
    ASSERT_EQ(10, count);
    for (int i = 0; i < count; ++i) saveHive(t.job, t.job.hiveList[i], i + 1, count);
    recorder.pump();

    EXPECT_FALSE(t.job.failed);
    EXPECT_EQ(0, t.job.errorCode);
    ASSERT_EQ(t.job.hiveList.size(), t.job.savedList.size());
    int user = 0;
    for (int i = 0; i < count; ++i) {
        const HiveEntry& entry = t.job.hiveList[i];
        const SavedHiveEntry& saved = t.job.savedList[i];
        const std::wstring name = nameOf(entry.filePath);
        // System hives at the top, every other hive in its own numbered folder.
        std::wstring expected = entry.category == kHiveSystem
                                    ? dir / (L"Backup\\" + name)
                                    : dir / (L"Backup\\Users\\" + std::to_wstring(++user) + L"\\" + name);
        SCOPED_TRACE(testing_support::toUtf8(expected));
        EXPECT_EQ(expected, std::wstring(saved.savedPath));
        EXPECT_EQ(readBytes(entry.filePath), readBytes(expected));
        EXPECT_STREQ(entry.filePath, saved.liveFilePath);
        EXPECT_EQ(entry.category, saved.category);
        HKEY root;
        std::wstring subkey;
        ASSERT_TRUE(hiveKeyOf(entry.hiveName, &root, &subkey));
        EXPECT_EQ(root, saved.rootKey);
        EXPECT_EQ(subkey, std::wstring(saved.subkey));
        // ".bak" only for a file name without extension.
        const std::wstring live = entry.filePath;
        EXPECT_EQ(name.find(L'.') == std::wstring::npos ? live + L".bak" : live,
                  std::wstring(saved.replacementBackupPath));
    }
    EXPECT_EQ(5, user);
    EXPECT_EQ(5, t.job.userFolderCounter);
    EXPECT_TRUE(fileExists(dir / L"Backup\\SYSTEM"));
    EXPECT_TRUE(fileExists(dir / L"Backup\\DEFAULT"));
    EXPECT_FALSE(dirExists(dir / L"Backup\\Users\\6"));

    auto status = recorder.lines(JOB_STATUS);
    ASSERT_EQ(10u, status.size());
    EXPECT_EQ(L"保存...\n配置单元 1 / 10", status[0]);
    EXPECT_EQ(L"保存...\n配置单元 10 / 10", status[9]);
    auto log = recorder.lines(JOB_LOGLINE);
    ASSERT_EQ(20u, log.size());
    const std::wstring first = nameOf(t.job.hiveList[0].filePath);
    EXPECT_EQ(L"保存 (1 / 10) " + first + L" ...", log[0]);
    EXPECT_EQ(L"保存 (1 / 10) " + first + L" ... 已复制", log[1]);
}

TEST(SaveHive, DriveRootRefusedForSystemHives) {
    FakeSystem system;
    NotifyRecorder recorder;
    TestJob t;
    WindowJobListener listener(recorder.hwnd());
    t.job.listener = &listener;
    t.job.backupFolder = L"C:\\";
    std::vector<HiveEntry> hives = machineHives(kHiveSystem);
    ASSERT_FALSE(hives.empty());
    saveHive(t.job, hives[0], 1, 1);
    recorder.pump();

    EXPECT_TRUE(t.job.failed);
    EXPECT_EQ(err::kCreateFolder, t.job.errorCode);
    EXPECT_TRUE(t.job.savedList.empty());
    EXPECT_FALSE(fileExists(std::wstring(L"C:\\") + nameOf(hives[0].filePath)));
    auto log = recorder.lines(JOB_LOGLINE);
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(L"失败: 无法创建文件夹 C:\\", log[1]);
}

TEST(SaveHive, OverwriteReplacesAnOldUserHive) {
    FakeSystem system;
    ScratchDir dir(L"hive-overwrite");
    ASSERT_TRUE(testing_support::makeDirs(dir / L"Users\\1"));
    ASSERT_TRUE(writeBytes(dir / L"Users\\1\\NTUSER.DAT", "old backup"));
    std::vector<HiveEntry> hives = machineHives(kHiveCurrentUser);
    ASSERT_EQ(2u, hives.size());
    ASSERT_STREQ(L"NTUSER.DAT", nameOf(hives[0].filePath));

    NotifyRecorder recorder;
    TestJob t;
    WindowJobListener listener(recorder.hwnd());
    t.job.listener = &listener;
    t.job.backupFolder = dir.path() + L"  \\\\";  // trailing blanks and backslashes are dropped
    t.job.overwrite = true;
    saveHive(t.job, hives[0], 1, 2);
    recorder.pump();

    EXPECT_FALSE(t.job.failed);
    ASSERT_EQ(1u, t.job.savedList.size());
    EXPECT_EQ(dir / L"Users\\1\\NTUSER.DAT", std::wstring(t.job.savedList[0].savedPath));
    EXPECT_EQ(readBytes(hives[0].filePath), readBytes(dir / L"Users\\1\\NTUSER.DAT"));
    auto log = recorder.lines(JOB_LOGLINE);
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(L"保存 (1 / 2) NTUSER.DAT ... 已复制", log[1]);
}

TEST(SaveHive, ExistingTargetWithoutOverwriteStopsTheRun) {
    FakeSystem system;
    ScratchDir dir(L"hive-exists");
    ASSERT_TRUE(testing_support::makeDirs(dir / L"Users\\1"));
    ASSERT_TRUE(writeBytes(dir / L"Users\\1\\NTUSER.DAT", "old backup"));
    std::vector<HiveEntry> system_ = machineHives(kHiveSystem);
    std::vector<HiveEntry> user = machineHives(kHiveCurrentUser);
    ASSERT_GE(system_.size(), 2u);
    ASSERT_FALSE(user.empty());

    NotifyRecorder recorder;
    TestJob t;
    WindowJobListener listener(recorder.hwnd());
    t.job.listener = &listener;
    t.job.backupFolder = dir.path();
    t.job.hiveList = {system_[0], user[0], system_[1]};
    t.job.pending = 1;
    t.job.doneEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE start = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    saveLoop(t.job, 1, start);  // the worker's loop, on this thread
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t.job.doneEvent.get(), 0));
    CloseHandle(start);
    t.job.doneEvent.reset();
    recorder.pump();

    EXPECT_TRUE(t.job.failed);
    EXPECT_EQ(err::kHiveExists, t.job.errorCode);
    EXPECT_EQ("old backup", readBytes(dir / L"Users\\1\\NTUSER.DAT"));
    // The hive saved before stays listed; the one after is not saved.
    ASSERT_EQ(1u, t.job.savedList.size());
    EXPECT_STREQ(system_[0].filePath, t.job.savedList[0].liveFilePath);
    EXPECT_FALSE(fileExists(dir / nameOf(system_[1].filePath)));
    auto log = recorder.lines(JOB_LOGLINE);
    ASSERT_EQ(4u, log.size());
    EXPECT_EQ(L"保存 (2 / 3) NTUSER.DAT ... 失败; 已经存在", log[3]);
}

TEST(SaveHive, LinksInTheBackupFolderAreNeverWrittenThrough) {
    // Whoever could write the place where a backup goes puts a link where the run will
    // write: the backup folder itself, its Users folder, or a numbered one.
    struct Case {
        const wchar_t* link;
        DWORD category;
        const wchar_t* refusedFolder;
    };
    const Case cases[] = {
        {L"Backup", kHiveSystem, L"Backup\\"},
        {L"Backup\\Users", kHiveCurrentUser, L"Backup\\Users\\1"},
        {L"Backup\\Users\\1", kHiveOthers, L"Backup\\Users\\1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing_support::toUtf8(c.link));
        FakeSystem system;
        ScratchDir dir(L"hive-links");
        ASSERT_TRUE(writeBytes(dir / L"NTUSER.DAT", testing_support::hiveBytes("link")));
        ASSERT_TRUE(testing_support::makeDirs(dir / L"elsewhere"));
        const std::wstring link = dir / c.link;
        ASSERT_TRUE(testing_support::makeDirs(link.substr(0, link.rfind(L'\\'))));
        testing_support::FolderLink planted(link, dir / L"elsewhere");
        ASSERT_TRUE(planted.made);

        NotifyRecorder recorder;
        TestJob t;
        WindowJobListener listener(recorder.hwnd());
        t.job.listener = &listener;
        t.job.backupFolder = dir / L"Backup\\";
        saveHive(t.job, entryOf(L"\\REGISTRY\\MACHINE\\TOLMEN-LINK", dir / L"NTUSER.DAT", c.category), 1, 1);
        recorder.pump();

        EXPECT_TRUE(t.job.failed);
        EXPECT_EQ(err::kCreateFolder, t.job.errorCode);
        EXPECT_TRUE(t.job.savedList.empty());
        EXPECT_TRUE(namesIn(dir / L"elsewhere\\").empty()) << "written through the link";
        auto log = recorder.lines(JOB_LOGLINE);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(L"失败: 无法创建文件夹 " + (dir / c.refusedFolder), log.back());
    }
}

TEST(SaveHive, LockedHiveIsSavedThroughTheRegistry) {
    FakeSystem system;
    ScratchDir dir(L"hive-regsave");
    ProbeKey probe;
    ASSERT_TRUE(keyExists(HKEY_USERS, probe.subkey()));
    ASSERT_TRUE(testing_support::makeDirs(dir / L"live"));
    ASSERT_TRUE(writeBytes(dir / L"live\\NTUSER.DAT", "live hive file"));
    LockedFile lock(dir / L"live\\NTUSER.DAT");
    ASSERT_TRUE(lock.locked());

    NotifyRecorder recorder;
    TestJob t;
    WindowJobListener listener(recorder.hwnd());
    t.job.listener = &listener;
    t.job.backupFolder = dir / L"Backup\\";
    saveHive(t.job, entryOf(probe.hiveName(), dir / L"live\\NTUSER.DAT", kHiveCurrentUser), 1, 1);
    recorder.pump();

    EXPECT_FALSE(t.job.failed);
    EXPECT_EQ(0u, t.job.firstSaveError);
    ASSERT_EQ(1u, t.job.savedList.size());
    const SavedHiveEntry& saved = t.job.savedList[0];
    EXPECT_EQ(HKEY_USERS, saved.rootKey);
    EXPECT_EQ(probe.subkey(), std::wstring(saved.subkey));
    EXPECT_EQ(dir / L"Backup\\Users\\1\\NTUSER.DAT", std::wstring(saved.savedPath));
    EXPECT_EQ(dir / L"live\\NTUSER.DAT", std::wstring(saved.replacementBackupPath));
    const std::string bytes = readBytes(saved.savedPath);
    EXPECT_NE("live hive file", bytes);
    EXPECT_TRUE(contains(bytes, kProbeValue)) << "the saved file holds the probe key";
    EXPECT_EQ((std::vector<std::string>{"flush", "saveEx"}), system.calls);
    // On for the registry calls only, as the program holds them.
    EXPECT_FALSE(testing_support::privilegeEnabled(L"SeBackupPrivilege"));
    auto log = recorder.lines(JOB_LOGLINE);
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(L"保存 (1 / 1) NTUSER.DAT ... 成功", log[1]);
    // The file the registry wrote, and the folders made for it, are for administrators only.
    using testing_support::adminOnlyDacl;
    using testing_support::daclOf;
    EXPECT_EQ(adminOnlyDacl(false), daclOf(saved.savedPath));
    for (const wchar_t* folder : {L"Backup", L"Backup\\Users", L"Backup\\Users\\1"})
        EXPECT_EQ(adminOnlyDacl(true), daclOf(dir / folder)) << testing_support::toUtf8(folder);
}

TEST(SaveHive, LoadedMachineAndUserHivesThroughTheRegistry) {
    // As on Windows, where every loaded hive file is held open: the files are locked
    // copies here (the machine's own stay untouched for other tests), the keys are the
    // test machine's.
    FakeSystem system;
    ScratchDir dir(L"hive-loaded");
    const std::map<std::wstring, std::wstring> expectedText = {
        {L"\\REGISTRY\\MACHINE\\SAM", L"Tolmen test machine"},
        {L"\\REGISTRY\\MACHINE\\SECURITY", L"Tolmen test machine"},
        {L"\\REGISTRY\\USER\\.DEFAULT", L"Shell Folders"},
        {std::wstring(L"\\REGISTRY\\USER\\") + kUserSid, L"Shell Folders"},
    };
    TestJob t;
    t.job.backupFolder = dir / L"Backup\\";
    std::vector<std::unique_ptr<LockedFile>> locks;
    int n = 0;
    for (const HiveEntry& live : machineHives(kHiveSystem | kHiveCurrentUser)) {
        if (!expectedText.count(live.hiveName)) continue;
        const std::wstring copy = dir / (L"live" + std::to_wstring(++n) + L"\\" + nameOf(live.filePath));
        ASSERT_TRUE(testing_support::makeDirs(dir / (L"live" + std::to_wstring(n))));
        ASSERT_TRUE(CopyFileW(live.filePath, copy.c_str(), TRUE));
        locks.push_back(std::make_unique<LockedFile>(copy));
        ASSERT_TRUE(locks.back()->locked());
        saveHive(t.job, entryOf(live.hiveName, copy, live.category), n, 4);
    }
    ASSERT_EQ(4, n);
    EXPECT_EQ(0u, t.job.firstSaveError);
    ASSERT_EQ(4u, t.job.savedList.size());
    for (const SavedHiveEntry& saved : t.job.savedList) {
        const std::wstring hiveName = (saved.rootKey == HKEY_USERS ? L"\\REGISTRY\\USER\\" : L"\\REGISTRY\\MACHINE\\") +
                                      std::wstring(saved.subkey);
        SCOPED_TRACE(testing_support::toUtf8(hiveName));
        const std::string bytes = readBytes(saved.savedPath);
        EXPECT_NE(readBytes(saved.liveFilePath), bytes);
        EXPECT_TRUE(contains(bytes, expectedText.at(hiveName)));
    }
}

TEST(SaveHive, FailedRegistrySaveIsLoggedAndLeftOut) {
    FakeSystem system;
    ScratchDir dir(L"hive-regfail");
    ASSERT_TRUE(writeBytes(dir / L"SYSTEM.hiv", "live hive file"));
    LockedFile lock(dir / L"SYSTEM.hiv");
    ASSERT_TRUE(lock.locked());
    // A hive unloaded after discovery: its key is gone.
    MissingKey missing;
    const std::wstring& gone = missing.subkey();
    ASSERT_FALSE(keyExists(HKEY_USERS, gone));

    NotifyRecorder recorder;
    TestJob t;
    WindowJobListener listener(recorder.hwnd());
    t.job.listener = &listener;
    t.job.backupFolder = dir / L"Backup\\";
    saveHive(t.job, entryOf(L"\\REGISTRY\\USER\\" + gone, dir / L"SYSTEM.hiv", kHiveSystem), 3, 4);
    recorder.pump();

    EXPECT_FALSE(t.job.failed);
    EXPECT_EQ(0, t.job.errorCode);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), t.job.firstSaveError);
    EXPECT_TRUE(t.job.savedList.empty());
    EXPECT_FALSE(fileExists(dir / L"Backup\\SYSTEM.hiv"));
    EXPECT_FALSE(keyExists(HKEY_USERS, gone)) << "the key made by the create-or-open call stays behind";
    auto log = recorder.lines(JOB_LOGLINE);
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(L"保存 (3 / 4) SYSTEM.hiv ... 失败 : " + windowsErrorText(ERROR_FILE_NOT_FOUND), log[1]);
    EXPECT_NE(std::wstring::npos, log[1].find(L"找不到")) << "the system's own text";
}

TEST(SaveHive, OtherRegistryNamesAreSkippedSilently) {
    FakeSystem system;
    ScratchDir dir(L"hive-skip");
    ASSERT_TRUE(writeBytes(dir / L"app.hve", "app hive"));
    NotifyRecorder recorder;
    TestJob t;
    WindowJobListener listener(recorder.hwnd());
    t.job.listener = &listener;
    t.job.backupFolder = dir / L"Backup\\";
    saveHive(t.job, entryOf(L"\\REGISTRY\\A\\{app}", dir / L"app.hve", kHiveOthers), 1, 1);
    recorder.pump();
    EXPECT_TRUE(recorder.notices().empty());
    EXPECT_TRUE(t.job.savedList.empty());
    EXPECT_EQ(0, t.job.userFolderCounter);
    EXPECT_FALSE(dirExists(dir / L"Backup"));
}

TEST(SaveKeyToFile, CallsByWindowsLevel) {
    ScratchDir dir(L"hive-savekey");
    ProbeKey probe;
    {
        FakeSystem system;
        system.level = 6;  // Windows 2000: the older call only, no flush
        EXPECT_EQ(ERROR_SUCCESS, saveInto(HKEY_USERS, probe.subkey(), dir / L"w2k.hiv"));
        EXPECT_EQ((std::vector<std::string>{"save"}), system.calls);
        EXPECT_TRUE(contains(readBytes(dir / L"w2k.hiv"), kProbeValue));
    }
    {
        FakeSystem system;
        system.level = 7;
        EXPECT_EQ(ERROR_SUCCESS, saveInto(HKEY_USERS, probe.subkey(), dir / L"xp.hiv"));
        EXPECT_EQ((std::vector<std::string>{"flush", "saveEx"}), system.calls);
        EXPECT_EQ(static_cast<DWORD>(REG_NO_COMPRESSION), system.saveExFlags);
        EXPECT_TRUE(contains(readBytes(dir / L"xp.hiv"), kProbeValue));
    }
    {
        FakeSystem system;
        system.level = 9;
        system.saveKeyExMissing = true;
        EXPECT_EQ(ERROR_SUCCESS, saveInto(HKEY_USERS, probe.subkey(), dir / L"noex.hiv"));
        EXPECT_EQ((std::vector<std::string>{"flush", "save"}), system.calls);
    }
}

TEST(SaveKeyToFile, FailedNewerCallLeavesNoPartialFileForTheOlderOne) {
    ScratchDir dir(L"hive-fallback");
    ProbeKey probe;
    FakeSystem system;
    system.level = 9;
    system.saveKeyExResult = [](HANDLE file) -> LONG {
        DWORD written = 0;
        WriteFile(file, "partial", 7, &written, nullptr);
        return ERROR_NO_SYSTEM_RESOURCES;
    };
    EXPECT_EQ(ERROR_SUCCESS, saveInto(HKEY_USERS, probe.subkey(), dir / L"hive.hiv"));
    EXPECT_EQ((std::vector<std::string>{"flush", "saveEx", "save"}), system.calls);
    EXPECT_TRUE(system.fileEmptyAtSave);
    const std::string bytes = readBytes(dir / L"hive.hiv");
    EXPECT_NE("partial", bytes);
    EXPECT_TRUE(contains(bytes, kProbeValue));
}

TEST(SaveKeyToFile, MissingKeyIsNotCreated) {
    ScratchDir dir(L"hive-nokey");
    FakeSystem system;
    MissingKey missing;
    const std::wstring& gone = missing.subkey();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, saveInto(HKEY_USERS, gone, dir / L"x.hiv"));
    EXPECT_TRUE(system.calls.empty());
    EXPECT_FALSE(keyExists(HKEY_USERS, gone));
    EXPECT_EQ("", readBytes(dir / L"x.hiv"));
}
