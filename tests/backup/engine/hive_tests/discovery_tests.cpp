// Hive discovery on the test machine's hivelist and on hivelists of the tests' own.
#include <gtest/gtest.h>

#include <map>

#include "hive_discovery.h"
#include "hive_fixture.h"
#include "test_support.h"

using namespace hive_tests;
using testing_support::ScratchDir;
using testing_support::writeBytes;

namespace {

std::map<std::wstring, DWORD> categoriesOf(const BackupJob& job) {
    std::map<std::wstring, DWORD> out;
    for (const HiveEntry& entry : job.hiveList) out[entry.hiveName] = entry.category;
    return out;
}

const HiveEntry* findEntry(const BackupJob& job, const std::wstring& hiveName) {
    for (const HiveEntry& entry : job.hiveList)
        if (hiveName == entry.hiveName) return &entry;
    return nullptr;
}

const std::wstring kMachine = L"\\REGISTRY\\MACHINE\\";
const std::wstring kUser = L"\\REGISTRY\\USER\\";

}  // namespace

TEST(ClassifyHive, MachineDefaultAndConfigHivesAreSystem) {
    EXPECT_EQ(kHiveSystem, classifyHive(L"\\REGISTRY\\MACHINE\\SYSTEM", L"C:\\Windows\\System32\\config\\SYSTEM"));
    EXPECT_EQ(kHiveSystem, classifyHive(L"\\registry\\machine\\anything", L"D:\\elsewhere\\x"));
    EXPECT_EQ(kHiveSystem, classifyHive(L"\\REGISTRY\\USER\\.DEFAULT", L"C:\\Windows\\System32\\config\\DEFAULT"));
    EXPECT_EQ(kHiveSystem, classifyHive(L"\\Registry\\User\\.default", L"D:\\x\\DEFAULT"));
    // A system profile's hive lies in a folder named config.
    EXPECT_EQ(kHiveSystem, classifyHive(L"\\REGISTRY\\USER\\S-1-5-18",
                                        L"C:\\Windows\\System32\\CONFIG\\systemprofile\\NTUSER.DAT"));
}

TEST(ClassifyHive, CurrentUserNeedsTheWholeFolderName) {
    const std::wstring user = userName();
    ASSERT_FALSE(user.empty());
    const std::wstring sid = kUser + kUserSid;
    EXPECT_EQ(kHiveCurrentUser, classifyHive(sid, L"C:\\Users\\" + user + L"\\NTUSER.DAT"));
    EXPECT_EQ(kHiveCurrentUser,
              classifyHive(sid + L"_Classes", L"C:\\USERS\\" + user + L"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat"));
    std::wstring upper = L"C:\\Users\\" + user + L"\\NTUSER.DAT";
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    EXPECT_EQ(kHiveCurrentUser, classifyHive(sid, upper));
    // Folders whose names merely contain the user name belong to others.
    EXPECT_EQ(kHiveOthers, classifyHive(sid, L"C:\\Users\\" + user + L"2\\NTUSER.DAT"));
    EXPECT_EQ(kHiveOthers, classifyHive(sid, L"C:\\Users\\x" + user + L"\\NTUSER.DAT"));
    EXPECT_EQ(kHiveOthers, classifyHive(sid, L"C:\\Users\\other\\" + user));
    EXPECT_EQ(kHiveOthers, classifyHive(kUser + L"S-1-5-19",
                                        L"C:\\Windows\\ServiceProfiles\\LocalService\\NTUSER.DAT"));
}

TEST(ClassifyHive, OtherNamesHaveNoCategory) {
    EXPECT_EQ(0u, classifyHive(L"\\REGISTRY\\A\\{guid}", L"C:\\x\\config\\y"));
    EXPECT_EQ(0u, classifyHive(L"\\REGISTRY\\MACHINE", L"C:\\Windows\\System32\\config\\SYSTEM"));
    EXPECT_EQ(0u, classifyHive(L"", L""));
}

TEST(HiveKeyOf, SplitsRootAndSubkeyKeepingTheLetterCase) {
    HKEY root = nullptr;
    std::wstring subkey;
    ASSERT_TRUE(hiveKeyOf(L"\\REGISTRY\\MACHINE\\SYSTEM", &root, &subkey));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, root);
    EXPECT_EQ(L"SYSTEM", subkey);
    ASSERT_TRUE(hiveKeyOf(L"\\registry\\user\\S-1-5-21-0-0-0-1000_Classes", &root, &subkey));
    EXPECT_EQ(HKEY_USERS, root);
    EXPECT_EQ(L"S-1-5-21-0-0-0-1000_Classes", subkey);
    ASSERT_TRUE(hiveKeyOf(L"\\Registry\\Machine\\Software\\Sub", &root, &subkey));
    EXPECT_EQ(L"Software\\Sub", subkey);

    root = nullptr;
    EXPECT_FALSE(hiveKeyOf(L"\\REGISTRY\\A\\{guid}", &root, &subkey));
    EXPECT_FALSE(hiveKeyOf(L"\\REGISTRY\\USER", &root, &subkey));
    EXPECT_FALSE(hiveKeyOf(L"REGISTRY\\MACHINE\\SYSTEM", &root, &subkey));
    EXPECT_EQ(nullptr, root);
}

TEST(ToDosPath, MapsDeviceToDriveLetterWhenTheFileExists) {
    std::wstring out;
    ASSERT_TRUE(toDosPath(L"\\Device\\HarddiskVolume1\\Windows\\System32\\config\\SYSTEM", out));
    EXPECT_EQ(L"C:\\Windows\\System32\\config\\SYSTEM", out);
    ASSERT_TRUE(toDosPath(L"\\DEVICE\\harddiskvolume1\\Windows\\System32\\config\\SAM", out));
    EXPECT_EQ(L"C:\\Windows\\System32\\config\\SAM", out);

    out = L"unchanged";
    EXPECT_FALSE(toDosPath(L"\\Device\\HarddiskVolume1\\Windows\\System32\\config\\NO-SUCH-HIVE", out));
    // A volume without a drive letter.
    EXPECT_FALSE(toDosPath(L"\\Device\\HarddiskVolume9\\Windows\\System32\\config\\SYSTEM", out));
    EXPECT_FALSE(toDosPath(L"C:\\Windows\\System32\\config\\SYSTEM", out));
    EXPECT_EQ(L"unchanged", out);
}

TEST(ToDosPath, FindsTheDriveOfAnotherVolume) {
    wchar_t target[MAX_PATH];
    ASSERT_NE(0u, QueryDosDeviceW(L"G:", target, MAX_PATH)) << "the test prefix's second fixed disk";
    const std::wstring file = L"G:\\hive-tests-" + std::to_wstring(GetCurrentProcessId()) + L".dat";
    ASSERT_TRUE(writeBytes(file, "hive on G"));
    std::wstring out;
    bool found = toDosPath(std::wstring(target) + file.substr(2), out);
    DeleteFileW(file.c_str());
    ASSERT_TRUE(found);
    EXPECT_EQ(file, out);
}

TEST(HiveFileSize, SizeOfReadableAndLockedFilesZeroOtherwise) {
    ScratchDir dir(L"hive-size");
    ASSERT_TRUE(writeBytes(dir / L"NTUSER.DAT", std::string(1234, 'h')));
    EXPECT_EQ(1234u, hiveFileSize(dir / L"NTUSER.DAT"));
    {
        // A loaded hive is held open; its size is still read.
        LockedFile lock(dir / L"NTUSER.DAT");
        ASSERT_TRUE(lock.locked());
        EXPECT_EQ(1234u, hiveFileSize(dir / L"NTUSER.DAT"));
    }
    EXPECT_EQ(0u, hiveFileSize(dir / L"missing.dat"));
    EXPECT_EQ(0u, hiveFileSize(dir.path()));  // a folder cannot be opened as a file
}

TEST(ListHives, TestMachineWithDefaultMask) {
    FakeSystem system;  // the real hivelist, nothing replaced
    TestJob t;
    ASSERT_TRUE(listHives(t.job));

    const std::wstring sid = kUser + kUserSid;
    std::map<std::wstring, DWORD> expected = {
        {kMachine + L"SYSTEM", kHiveSystem},  {kMachine + L"SOFTWARE", kHiveSystem},
        {kMachine + L"SAM", kHiveSystem},     {kMachine + L"SECURITY", kHiveSystem},
        {kUser + L".DEFAULT", kHiveSystem},   {sid, kHiveCurrentUser},
        {sid + L"_Classes", kHiveCurrentUser},
    };
    EXPECT_EQ(expected, categoriesOf(t.job));

    const HiveEntry* system_ = findEntry(t.job, kMachine + L"SYSTEM");
    ASSERT_NE(nullptr, system_);
    EXPECT_STREQ(L"C:\\Windows\\System32\\config\\SYSTEM", system_->filePath);
    const HiveEntry* classes = findEntry(t.job, sid + L"_Classes");
    ASSERT_NE(nullptr, classes);
    EXPECT_EQ(L"C:\\Users\\" + userName() + L"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat",
              std::wstring(classes->filePath));
    for (const HiveEntry& entry : t.job.hiveList) {
        EXPECT_NE(0u, entry.fileSize) << testing_support::toUtf8(entry.hiveName);
        EXPECT_EQ(testing_support::readBytes(entry.filePath).size(), entry.fileSize);
    }
}

TEST(ListHives, TestMachineOtherUsersOnlyAndEverything) {
    FakeSystem system;
    TestJob others;
    others.job.hiveMask = kHiveOthers;
    ASSERT_TRUE(listHives(others.job));
    std::map<std::wstring, DWORD> expected = {
        {kUser + L"S-1-5-19", kHiveOthers},
        {kUser + L"S-1-5-20", kHiveOthers},
        {kUser + L"S-1-5-21-0-0-0-1001", kHiveOthers},
    };
    EXPECT_EQ(expected, categoriesOf(others.job));

    TestJob all;
    all.job.hiveMask = 7;
    ASSERT_TRUE(listHives(all.job));
    EXPECT_EQ(10u, all.job.hiveList.size());
    EXPECT_EQ(nullptr, findEntry(all.job, kMachine + L"BCD00000000"));
    EXPECT_EQ(nullptr, findEntry(all.job, kMachine + L"HARDWARE"));
}

TEST(ListHives, AppendsToWhatTheJobHolds) {
    FakeSystem system;
    TestJob t;
    t.job.hiveMask = kHiveCurrentUser;
    ASSERT_TRUE(listHives(t.job));
    ASSERT_EQ(2u, t.job.hiveList.size());
    ASSERT_TRUE(listHives(t.job));
    EXPECT_EQ(4u, t.job.hiveList.size());
}

TEST(ListHives, SkipsWhatMustNotBeBackedUp) {
    ScratchDir dir(L"hive-list");
    const std::wstring nt = ntPathOf(dir.path());
    ASSERT_TRUE(writeBytes(dir / L"BCD", "boot"));
    ASSERT_TRUE(writeBytes(dir / L"BCD-Template", "template"));
    ASSERT_TRUE(writeBytes(dir / L"COMPONENTS", "components"));
    ASSERT_TRUE(writeBytes(dir / L"Expanded.dat", "expanded!"));

    PrivateHiveList list;
    list.add(kMachine + L"HARDWARE", L"");
    list.add(kMachine + L"BCD00000000", nt + L"BCD");
    list.add(kMachine + L"BCD-TEMPLATE", nt + L"BCD-Template");
    list.add(kMachine + L"MISSING", nt + L"NO-SUCH-FILE");
    list.add(kMachine + L"NO-LETTER", L"\\Device\\HarddiskVolume9\\Windows\\System32\\config\\SYSTEM");
    list.add(L"\\REGISTRY\\A\\{0b7e}", nt + L"COMPONENTS");
    SetEnvironmentVariableW(L"TOLMEN_HIVE_DIR", dir.path().substr(3).c_str());
    list.add(kUser + L"S-EXPANDED", L"\\Device\\HarddiskVolume1\\%TOLMEN_HIVE_DIR%Expanded.dat", REG_EXPAND_SZ);

    FakeSystem system;
    system.hiveListKey = list.keyPath();
    TestJob t;
    t.job.hiveMask = 7;
    ASSERT_TRUE(listHives(t.job));
    SetEnvironmentVariableW(L"TOLMEN_HIVE_DIR", nullptr);

    std::map<std::wstring, DWORD> expected = {
        {kMachine + L"BCD-TEMPLATE", kHiveSystem},
        {kUser + L"S-EXPANDED", kHiveOthers},
    };
    EXPECT_EQ(expected, categoriesOf(t.job));
    const HiveEntry* expanded = findEntry(t.job, kUser + L"S-EXPANDED");
    ASSERT_NE(nullptr, expanded);
    EXPECT_EQ(dir / L"Expanded.dat", std::wstring(expanded->filePath));
    EXPECT_EQ(9u, expanded->fileSize);
}

TEST(ListHives, FailsWithoutTheHivelistKey) {
    FakeSystem system;
    system.hiveListError = ERROR_ACCESS_DENIED;
    TestJob t;
    EXPECT_FALSE(listHives(t.job));
    EXPECT_TRUE(t.job.hiveList.empty());
}
