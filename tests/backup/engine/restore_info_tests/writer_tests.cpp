// The restore information writer: the bytes of SURVIN.INI for saved-hive lists made
// here, and the cases in which it writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "edition.h"
#include "errors.h"
#include "info_helpers.h"
#include "job_window.h"
#include "restore_info.h"
#include "settings.h"

using namespace info_tests;
using namespace testing_support;

namespace {

std::string windowsDirectory() {
    wchar_t dir[MAX_PATH];
    GetWindowsDirectoryW(dir, MAX_PATH);
    return ansi(dir);
}

std::string shortPath(const std::wstring& path) {
    wchar_t out[520];
    DWORD cch = GetShortPathNameW(path.c_str(), out, 520);
    EXPECT_GT(cch, 0u) << toUtf8(path);
    return ansi(out);
}

// The INFO lines the writer must give on this machine, DateTime left out.
std::vector<std::string> expectedInfoLines() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    EXPECT_TRUE(GetVersionExW(&version));
    std::wstring edition;
    OsInfoRecord record;
    EXPECT_TRUE(identifyWindows(edition, record));
    wchar_t device[MAX_PATH] = {};
    const std::wstring windows = fromAnsi(windowsDirectory());
    EXPECT_TRUE(QueryDosDeviceW(windows.substr(0, 2).c_str(), device, MAX_PATH));
    wchar_t user[256];
    DWORD cchUser = 256;
    EXPECT_TRUE(GetUserNameW(user, &cchUser));
    return {
        "IniVersion=1",
        "WinVer=" + std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion),
        "OSString=" + ansi(edition),
        "WARNING_1=" + kWarning1,
        "OSINFO=" + structHex(&record, sizeof(record)),
        "WARNING_2=" + kWarning2,
        "SysRoot=" + windowsDirectory(),
        "WinDevice=" + ansi(device),
        "CurUser=" + ansi(user),
    };
}

class Writer : public ::testing::Test {
protected:
    Writer() : dir_(L"info-writer"), folder_(dir_ / L"Backup\\") {
        makeDirs(folder_);
        live_ = dir_ / L"Live Hive Files\\";
        makeDirs(live_ + L"config");
        makeDirs(live_ + L"Profile Of Alice");
        // The backup place is registered in a settings file of this test's own.
        initSettings(dir_.path().c_str());
    }

    // A live hive file and its saved copy, both existing, as the saving leaves them.
    SavedHiveEntry hive(HKEY root, const wchar_t* subkey, const std::wstring& liveRelative,
                        const std::wstring& savedRelative, DWORD category) {
        writeBytes(live_ + liveRelative, "live");
        std::wstring saved = folder_ + savedRelative;
        makeDirs(saved.substr(0, saved.find_last_of(L'\\')));
        writeBytes(saved, "saved");
        return savedEntry(root, subkey, saved, live_ + liveRelative, category);
    }

    bool write() {
        job().backupFolder = folder_;
        WindowJobListener listener(recorder_.hwnd());
        job().listener = &listener;
        bool ok = writeRestoreInfo(job());
        recorder_.pump();
        return ok;
    }

    BackupJob& job() { return test_.job; }
    std::wstring ini() const { return folder_ + L"SURVIN.INI"; }

    ScratchDir dir_;
    std::wstring folder_, live_;
    TestJob test_;
    NotifyRecorder recorder_;
};

TEST_F(Writer, WritesTheWholeFileInOrder) {
    job().savedList = {
        hive(HKEY_LOCAL_MACHINE, L"SOFTWARE", L"config\\software", L"software", kHiveSystem),
        hive(HKEY_USERS, L".DEFAULT", L"config\\DEFAULT", L"DEFAULT", kHiveSystem),
        hive(HKEY_USERS, L"S-1-5-21-1-2-3-1003", L"Profile Of Alice\\NTUSER.DAT", L"Users\\1\\NTUSER.DAT",
             kHiveCurrentUser),
        hive(HKEY_USERS, L"S-1-5-21-1-2-3-1004", L"config\\other.dat", L"Users\\2\\other.dat", kHiveOthers),
    };
    ASSERT_TRUE(write());
    EXPECT_EQ(recorder_.lines(JOB_LOGLINE), std::vector<std::wstring>{L"创建恢复信息文件..."});
    EXPECT_FALSE(job().failed);

    const std::string bytes = readBytes(ini());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.substr(0, 7), "[INFO]\r");  // no byte-order mark
    std::vector<std::string> lines = crlfLines(bytes);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, 9), "DateTime=");

    std::vector<std::string> expected = {"[INFO]", lines[1]};
    for (const std::string& line : expectedInfoLines()) expected.push_back(line);
    const std::string shortLive = shortPath(live_ + L"Profile Of Alice\\NTUSER.DAT");
    const std::vector<std::string> hives = {
        "[DATA0]", "Type=MACHINE\\SOFTWARE", "Saved=software", "Hive=" + shortPath(live_ + L"config\\software"),
        "Category=1",
        "[DATA1]", "Type=USERS\\.DEFAULT", "Saved=DEFAULT", "Hive=" + shortPath(live_ + L"config\\DEFAULT"),
        "Category=1",
        "[DATA2]", "Type=USERS\\S-1-5-21-1-2-3-1003", "Saved=Users\\1\\NTUSER.DAT", "Hive=" + shortLive,
        "Category=2",
        "[DATA3]", "Type=USERS\\S-1-5-21-1-2-3-1004", "Saved=Users\\2\\other.dat",
        "Hive=" + shortPath(live_ + L"config\\other.dat"), "Category=4",
        "[Files]", "0=software", "1=DEFAULT", "2=Users\\1\\NTUSER.DAT", "3=Users\\2\\other.dat",
        "4=SURVIN.WRC", "5=SURVIN.EXE", "6=SURVIN64.EXE", "7=SURVIN.INI",
    };
    expected.insert(expected.end(), hives.begin(), hives.end());
    EXPECT_EQ(lines, expected);

    // Hive is the short form: no blank left, and it names the same file.
    EXPECT_EQ(shortLive.find(' '), std::string::npos);
    EXPECT_NE(shortLive, ansi(live_ + L"Profile Of Alice\\NTUSER.DAT"));
    wchar_t longForm[520];
    ASSERT_GT(GetLongPathNameW(fromAnsi(shortLive).c_str(), longForm, 520), 0u);
    EXPECT_EQ(lstrcmpiW(longForm, (live_ + L"Profile Of Alice\\NTUSER.DAT").c_str()), 0);
}

TEST_F(Writer, OsInfoIsARecordWithChecksum) {
    job().savedList = {hive(HKEY_LOCAL_MACHINE, L"SYSTEM", L"config\\SYSTEM", L"SYSTEM", kHiveSystem)};
    ASSERT_TRUE(write());
    const std::string hex = valueOf(crlfLines(readBytes(ini())), "OSINFO");
    ASSERT_EQ(hex.size(), 346u);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    unsigned sum = 0;
    for (size_t i = 0; i < 172; ++i) sum += std::stoul(hex.substr(2 * i, 2), nullptr, 16);
    EXPECT_EQ(sum & 0xFF, std::stoul(hex.substr(344, 2), nullptr, 16));

    // The platform's own read accepts it, and it is the record of this machine.
    OsInfoRecord stored;
    ASSERT_TRUE(GetPrivateProfileStructW(L"INFO", L"OSINFO", &stored, sizeof(stored), ini().c_str()));
    std::wstring edition;
    OsInfoRecord live;
    ASSERT_TRUE(identifyWindows(edition, live));
    EXPECT_EQ(memcmp(&stored, &live, sizeof(live)), 0);
    std::string derived;
    ASSERT_TRUE(identifyWindowsA(derived, stored, IdentifyMode::FromRecord));
    EXPECT_EQ(derived, valueOf(crlfLines(readBytes(ini())), "OSString"));
}

TEST_F(Writer, DateTimeUsesTheLocaleDesignator) {
    job().savedList = {hive(HKEY_LOCAL_MACHINE, L"SYSTEM", L"config\\SYSTEM", L"SYSTEM", kHiveSystem)};
    SYSTEMTIME before;
    GetLocalTime(&before);
    ASSERT_TRUE(write());
    const std::string value = valueOf(crlfLines(readBytes(ini())), "DateTime");

    char date[16];
    wsprintfA(date, "%04d-%02d-%02d", before.wYear, before.wMonth, before.wDay);
    ASSERT_GE(value.size(), 10u + 3u);
    EXPECT_EQ(value.substr(0, 13), std::string(date) + " , ");
    // h:mm:ss, a blank, then 上午 or 下午 in GBK under the Chinese locale.
    const std::string time = value.substr(13);
    const std::string designator = before.wHour < 12 ? "\xC9\xCF\xCE\xE7" : "\xCF\xC2\xCE\xE7";
    ASSERT_GT(time.size(), designator.size() + 1);
    EXPECT_EQ(time.substr(time.size() - designator.size() - 1), " " + designator) << value;
    int hour = before.wHour % 12 == 0 ? 12 : before.wHour % 12;
    EXPECT_EQ(time.substr(0, time.find(':')), std::to_string(hour));
    EXPECT_EQ(time.size(), std::to_string(hour).size() + 6 + 1 + designator.size());
}

TEST_F(Writer, OnlyUserHivesStillListTheScript) {
    job().savedList = {hive(HKEY_USERS, L"S-1-5-21-1-2-3-1003", L"Profile Of Alice\\NTUSER.DAT",
                            L"Users\\1\\NTUSER.DAT", kHiveCurrentUser)};
    writeBytes(folder_ + L"SURVIN.WRC", "an old script\r\n");
    job().overwrite = true;
    ASSERT_TRUE(write());
    std::vector<std::string> lines = crlfLines(readBytes(ini()));
    const std::vector<std::string> files(lines.end() - 6, lines.end());
    EXPECT_EQ(files, (std::vector<std::string>{"[Files]", "0=Users\\1\\NTUSER.DAT", "1=SURVIN.WRC",
                                               "2=SURVIN.EXE", "3=SURVIN64.EXE", "4=SURVIN.INI"}));
    EXPECT_FALSE(fileExists(folder_ + L"SURVIN.WRC"));
}

TEST_F(Writer, EmptySavedListFailsWith601) {
    ASSERT_FALSE(write());
    EXPECT_TRUE(job().failed);
    EXPECT_EQ(job().errorCode, err::kNoBackupCreated);
    EXPECT_FALSE(fileExists(ini()));
    EXPECT_FALSE(fileExists(folder_ + L"SURVIN.WRC"));
    EXPECT_TRUE(recorder_.notices().empty());
}

TEST_F(Writer, ExistingFileWithoutOverwriteIsLeftAloneAndFailsWith601) {
    // A SURVIN.INI that appeared after the destination check: the hives have no restore
    // information of their own, which must not end as a success.
    job().savedList = {hive(HKEY_LOCAL_MACHINE, L"SYSTEM", L"config\\SYSTEM", L"SYSTEM", kHiveSystem)};
    const std::string old = "[INFO]\r\nDateTime=old\r\n";
    writeBytes(ini(), old);
    ASSERT_FALSE(write());
    EXPECT_EQ(readBytes(ini()), old);
    EXPECT_TRUE(job().failed);
    EXPECT_EQ(job().errorCode, err::kNoBackupCreated);
    EXPECT_FALSE(fileExists(folder_ + L"SURVIN.WRC"));
}

TEST_F(Writer, OverwriteReplacesTheWholeFile) {
    // An older backup of more hives, already read through the profile functions (as the
    // deletion of the old backup does): none of its lines may come back.
    writeBytes(ini(), "[INFO]\r\nDateTime=old\r\nOldKey=1\r\n[DATA0]\r\nCategory=1\r\n[DATA1]\r\nCategory=2\r\n"
                      "[Files]\r\n0=a\r\n1=b\r\n2=c\r\n");
    wchar_t value[64];
    GetPrivateProfileStringW(L"INFO", L"OldKey", L"", value, 64, ini().c_str());
    ASSERT_STREQ(value, L"1");

    job().savedList = {hive(HKEY_LOCAL_MACHINE, L"SYSTEM", L"config\\SYSTEM", L"SYSTEM", kHiveSystem)};
    job().overwrite = true;
    ASSERT_TRUE(write());
    const std::vector<std::string> lines = crlfLines(readBytes(ini()));
    EXPECT_EQ(valueOf(lines, "OldKey"), "");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "[DATA1]"), 0);
    EXPECT_EQ(lines.back(), "4=SURVIN.INI");
    EXPECT_NE(valueOf(lines, "DateTime"), "old");
}

TEST_F(Writer, FileThatCannotBeWrittenFailsTheBackup) {
    // Something in the way of SURVIN.INI: the backup has no restore information, which
    // must not end as a success.
    job().savedList = {hive(HKEY_LOCAL_MACHINE, L"SYSTEM", L"config\\SYSTEM", L"SYSTEM", kHiveSystem)};
    ASSERT_TRUE(CreateDirectoryW(ini().c_str(), nullptr));
    job().overwrite = true;
    EXPECT_FALSE(write());
    EXPECT_TRUE(job().failed);
    EXPECT_EQ(job().errorCode, err::kNoBackupCreated);
    EXPECT_FALSE(fileExists(folder_ + L"SURVIN.WRC"));
}

TEST_F(Writer, RegistersTheBackupPlace) {
    job().savedList = {hive(HKEY_LOCAL_MACHINE, L"SYSTEM", L"config\\SYSTEM", L"SYSTEM", kHiveSystem)};
    ASSERT_TRUE(write());
    wchar_t place[520] = {};
    GetPrivateProfileStringW(L"BackupDirs", L"0", L"", place, 520, settingsPath().c_str());
    EXPECT_EQ(lstrcmpiW(place, folder_.c_str()), 0) << toUtf8(place);
}

TEST_F(Writer, SavedPathIsCutByTheFolderLength) {
    // The relative path keeps the letter case of the saved file.
    job().savedList = {hive(HKEY_USERS, L"S-1-5-21-1-2-3-1003_Classes", L"Profile Of Alice\\UsrClass.dat",
                            L"Users\\7\\UsrClass.dat", kHiveCurrentUser)};
    ASSERT_TRUE(write());
    const std::vector<std::string> lines = crlfLines(readBytes(ini()));
    EXPECT_EQ(valueOf(lines, "Saved"), "Users\\7\\UsrClass.dat");
    EXPECT_EQ(valueOf(lines, "Type"), "USERS\\S-1-5-21-1-2-3-1003_Classes");
}

TEST_F(Writer, HiveThatCannotBeShortenedIsWrittenAsItIs) {
    SavedHiveEntry gone = hive(HKEY_LOCAL_MACHINE, L"SYSTEM", L"config\\SYSTEM", L"SYSTEM", kHiveSystem);
    copyField(gone.liveFilePath, (live_ + L"No Such Folder\\SYSTEM").c_str());
    job().savedList = {gone};
    ASSERT_TRUE(write());
    EXPECT_EQ(valueOf(crlfLines(readBytes(ini())), "Hive"), ansi(live_ + L"No Such Folder\\SYSTEM"));
}

// The file formatted in one pass has the bytes that the platform's profile functions give
// when they write the same record into a new, empty file one key at a time (the way this
// program wrote it before): Chinese text in the system's code page, several DATA
// sections, a short path, OSINFO's hex and checksum, and the lines left out when the
// system could not tell them.
TEST(RestoreInfoFormat, SameBytesAsTheProfileFunctions) {
    RestoreInfoRecord full;
    full.dateTime = L"2026-12-09 , 5:31:07 下午";
    full.winVer = L"6.1";
    full.osString = L"Windows 7 旗舰版 Service Pack 1";
    auto* bytes = reinterpret_cast<unsigned char*>(&full.osInfo);
    for (size_t i = 0; i < sizeof(full.osInfo); ++i) bytes[i] = static_cast<unsigned char>(i * 37 + 11);
    full.sysRoot = L"C:\\windows";
    full.winDevice = L"\\Device\\HarddiskVolume1";
    full.curUser = L"张三";
    full.hives = {
        {L"MACHINE\\SOFTWARE", L"software", L"C:\\windows\\system32\\config\\software", kHiveSystem},
        {L"USERS\\.DEFAULT", L"DEFAULT", L"C:\\windows\\system32\\config\\DEFAULT", kHiveSystem},
        {L"USERS\\S-1-5-21-1-2-3-1003", L"Users\\1\\NTUSER.DAT", L"C:\\DOCUME~1\\5F20~1\\NTUSER.DAT",
         kHiveCurrentUser},
        {L"USERS\\S-1-5-21-1-2-3-1004_Classes", L"Users\\2\\UsrClass.dat", L"C:\\Users\\李四\\AppData\\UsrClass.dat",
         kHiveOthers},
    };
    full.files = {L"software", L"DEFAULT", L"Users\\1\\NTUSER.DAT", L"Users\\2\\UsrClass.dat",
                  L"SURVIN.WRC", L"SURVIN.EXE", L"SURVIN64.EXE", L"SURVIN.INI"};
    RestoreInfoRecord sparse = full;
    sparse.winVer.clear();
    sparse.winDevice.clear();
    sparse.curUser.clear();
    sparse.sysRoot.clear();
    sparse.hives.resize(1);
    sparse.files = {L"software", L"SURVIN.INI"};

    ScratchDir dir(L"info-format");
    int n = 0;
    for (const RestoreInfoRecord* record : {&full, &sparse}) {
        const std::wstring path = dir / (L"profile" + std::to_wstring(n++) + L".ini");
        ASSERT_TRUE(writeBytes(path, ""));
        const auto put = [&](const wchar_t* section, const wchar_t* key, const std::wstring& value) {
            ASSERT_TRUE(WritePrivateProfileStringW(section, key, value.c_str(), path.c_str()));
        };
        const auto putIfAny = [&](const wchar_t* key, const std::wstring& value) {
            if (!value.empty()) put(L"INFO", key, value);
        };
        put(L"INFO", L"DateTime", record->dateTime);
        put(L"INFO", L"IniVersion", L"1");
        putIfAny(L"WinVer", record->winVer);
        put(L"INFO", L"OSString", record->osString);
        put(L"INFO", L"WARNING_1", L"永远不要编辑下面的行");
        OsInfoRecord osInfo = record->osInfo;
        ASSERT_TRUE(WritePrivateProfileStructW(L"INFO", L"OSINFO", &osInfo, sizeof(osInfo), path.c_str()));
        put(L"INFO", L"WARNING_2", L"永远不要编辑上面的行");
        put(L"INFO", L"SysRoot", record->sysRoot);
        putIfAny(L"WinDevice", record->winDevice);
        putIfAny(L"CurUser", record->curUser);
        for (size_t i = 0; i < record->hives.size(); ++i) {
            const std::wstring section = L"DATA" + std::to_wstring(i);
            put(section.c_str(), L"Type", record->hives[i].type);
            put(section.c_str(), L"Saved", record->hives[i].saved);
            put(section.c_str(), L"Hive", record->hives[i].hive);
            put(section.c_str(), L"Category", std::to_wstring(record->hives[i].category));
        }
        for (size_t i = 0; i < record->files.size(); ++i)
            put(L"Files", std::to_wstring(i).c_str(), record->files[i]);
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());

        const std::string expected = readBytes(path);
        ASSERT_NE(expected.find(kWarning1), std::string::npos);  // the code page holds the Chinese text
        EXPECT_EQ(formatRestoreInfo(*record), expected) << "record " << n - 1;
    }
}

}  // namespace

// A failing edition identification, shown for real: Wine presents a copy of this program
// with a Win32s system (platform 0), which no edition text describes.
namespace {

const wchar_t kChildVariable[] = L"TOLMEN_INFO_WIN32S_FOLDER";

TEST(WriterOnWin32s, ChildGivesUpAndDeletesTheFile) {
    wchar_t folder[MAX_PATH] = {};
    DWORD cch = GetEnvironmentVariableW(kChildVariable, folder, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) {
        GTEST_SKIP() << "runs inside the copy started by EditionFailureWritesNothing";
    }
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExW(&version));
    ASSERT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32s));

    TestJob test;
    test.job.backupFolder = folder;
    writeBytes(test.job.backupFolder + L"SYSTEM", "saved");
    test.job.savedList = {savedEntry(HKEY_LOCAL_MACHINE, L"SYSTEM", test.job.backupFolder + L"SYSTEM",
                                     test.job.backupFolder + L"SYSTEM", kHiveSystem)};
    std::wstring edition;
    OsInfoRecord record;
    EXPECT_FALSE(identifyWindows(edition, record));
    EXPECT_FALSE(writeRestoreInfo(test.job));
    EXPECT_FALSE(fileExists(test.job.backupFolder + L"SURVIN.INI"));
    EXPECT_FALSE(fileExists(test.job.backupFolder + L"SURVIN.WRC"));
    EXPECT_TRUE(test.job.failed);
    EXPECT_EQ(test.job.errorCode, err::kNoBackupCreated);
    if (!::testing::Test::HasFailure()) writeBytes(test.job.backupFolder + L"child-passed", "yes");
}

TEST(WriterOnWin32s, EditionFailureWritesNothing) {
    ScratchDir dir(L"info-win32s");
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const std::wstring copy = dir / L"info_win32s.exe";
    ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));

    const wchar_t appKey[] = L"Software\\Wine\\AppDefaults\\info_win32s.exe";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, appKey, L"Version", REG_SZ, L"win31", 12), ERROR_SUCCESS);
    SetEnvironmentVariableW(kChildVariable, dir.path().c_str());
    DWORD exitCode = 1;
    bool finished = runProgram(L"\"" + copy + L"\" --gtest_filter=WriterOnWin32s.ChildGivesUpAndDeletesTheFile",
                               120000, &exitCode);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, appKey);

    ASSERT_TRUE(finished);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(fileExists(dir / L"child-passed"));
    EXPECT_FALSE(fileExists(dir / L"SURVIN.INI"));
}

}  // namespace
