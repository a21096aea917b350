// RegOpt.ini: defaults, the limit repair, number reading, the hive check switch, the two
// readers of DefBackupDir, the save order, and read-only media.
#include <gtest/gtest.h>

#include "job.h"
#include "settings.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::wstring todayText(const wchar_t* picture) {
    wchar_t text[128];
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, nullptr, picture, text, 128);
    return text;
}

std::wstring windowsFolder() {
    wchar_t folder[MAX_PATH];
    GetWindowsDirectoryW(folder, MAX_PATH);
    return folder;
}

// A settings file in a fresh scratch folder with the given text (GBK bytes).
struct SettingsFile {
    explicit SettingsFile(const std::string& text = std::string()) : dir(L"settings") {
        if (!text.empty()) writeBytes(path(), text);
        initSettings(dir.path().c_str());
    }
    std::wstring path() const { return dir / L"RegOpt.ini"; }
    std::string bytes() const { return readBytes(path()); }
    ScratchDir dir;
};

}  // namespace

TEST(SettingsFile, PathLiesBesideTheGivenFolderAndAFixedDiskIsWritable) {
    SettingsFile file;
    EXPECT_EQ(settingsPath(), file.path());
    EXPECT_FALSE(settingsReadOnly());
    initSettings(file.dir.path().substr(0, file.dir.path().size() - 1).c_str());  // no trailing backslash
    EXPECT_EQ(settingsPath(), file.path());
}

TEST(SettingsFile, MissingFileReadsAsAllDefaults) {
    SettingsFile file;
    BackupJob job;
    job.overwrite = true;
    job.retention.mode = 7;
    job.dateFormat = L"x";
    loadJobSettings(job);
    EXPECT_FALSE(job.overwrite);
    EXPECT_EQ(job.retention.mode, 0u);
    EXPECT_EQ(job.retention.days, 30u);
    EXPECT_EQ(job.retention.count, 10u);
    EXPECT_EQ(job.dateFormat, L"yyyy-MM-dd");
    EXPECT_EQ(job.timeFormat, L"HH-mm-ss");
    EXPECT_EQ(readDefHives(), 3u);

    AdvancedOptions options = loadAdvancedOptions();
    EXPECT_EQ(options.defBackupDir, L"%SystemRoot%\\Tolmen\\<DATE>\\");
    EXPECT_FALSE(options.overwrite);
    EXPECT_EQ(options.retention.mode, 0u);
    EXPECT_EQ(options.retention.days, 30u);
    EXPECT_EQ(options.retention.count, 10u);
    EXPECT_TRUE(readBackupDirs().empty());

    EXPECT_EQ(defaultFolderExpanded(job), windowsFolder() + L"\\Tolmen\\" + todayText(L"yyyy-MM-dd") + L"\\");
    EXPECT_FALSE(fileExists(file.path())) << "reading must not create the file";
}

TEST(SettingsFile, StoredValuesReachTheJob) {
    SettingsFile file(
        "[Settings]\r\nOverwrite=1\r\nLimitBackup=2\r\nLimitBackupDays=7\r\nLimitBackupCount=4\r\n"
        "DateFormat=yyyyMMdd\r\nTimeFormat=HH'h'mm\r\nDefHives=5\r\n");
    BackupJob job;
    loadJobSettings(job);
    EXPECT_TRUE(job.overwrite);
    EXPECT_EQ(job.retention.mode, 2u);
    EXPECT_EQ(job.retention.days, 7u);
    EXPECT_EQ(job.retention.count, 4u);
    EXPECT_EQ(job.dateFormat, L"yyyyMMdd");
    EXPECT_EQ(job.timeFormat, L"HH'h'mm");
    EXPECT_EQ(readDefHives(), 5u);
}

TEST(SettingsFile, EmptyPicturesFallBackToTheDefaults) {
    SettingsFile file("[Settings]\r\nDateFormat=\r\nTimeFormat=\r\n");
    BackupJob job;
    loadJobSettings(job);
    EXPECT_EQ(job.dateFormat, L"yyyy-MM-dd");
    EXPECT_EQ(job.timeFormat, L"HH-mm-ss");
}

TEST(SettingsFile, LimitRepair) {
    const struct {
        Retention given, repaired;
    } cases[] = {
        {{1, 0, 0}, {0, 30, 10}},
        {{2, 0, 0}, {0, 30, 10}},
        {{2, 0, 3}, {2, 30, 3}},           // days repaired, the count mode stays
        {{1, 7, 0}, {1, 7, 10}},           // and the other way round
        {{5, 400, 1000}, {5, 400, 1000}},  // no other check
    };
    for (const auto& c : cases) {
        Retention retention = c.given;
        retention.repair();
        EXPECT_TRUE(retention == c.repaired) << c.given.mode << " " << c.given.days << " " << c.given.count;
    }
}

TEST(SettingsFile, AgeLimitWithoutDaysIsReadAsKeepAllAndWrittenBackRepaired) {
    SettingsFile file("[Settings]\r\nLimitBackup=1\r\nLimitBackupDays=0\r\nLimitBackupCount=6\r\n");
    BackupJob job;
    loadJobSettings(job);
    EXPECT_EQ(job.retention.mode, 0u);
    EXPECT_EQ(job.retention.days, 30u);
    EXPECT_EQ(job.retention.count, 6u);

    AdvancedOptions options = loadAdvancedOptions();
    EXPECT_EQ(options.retention.mode, 0u);
    EXPECT_EQ(options.retention.days, 30u);
    saveAdvancedOptions(options);
    EXPECT_EQ(GetPrivateProfileIntW(L"Settings", L"LimitBackup", 99, file.path().c_str()), 0u);
    EXPECT_EQ(GetPrivateProfileIntW(L"Settings", L"LimitBackupDays", 99, file.path().c_str()), 30u);
    EXPECT_EQ(GetPrivateProfileIntW(L"Settings", L"LimitBackupCount", 99, file.path().c_str()), 6u);
}

TEST(SettingsFile, NumbersAreTheirLeadingDigits) {
    SettingsFile file(
        "[Settings]\r\nOverwrite=yes\r\nLimitBackup=2nd\r\nLimitBackupDays=x5\r\nLimitBackupCount=abc\r\n"
        "DefHives=6 hives\r\n");
    BackupJob job;
    loadJobSettings(job);
    EXPECT_FALSE(job.overwrite);
    // Count "abc" reads as 0: repaired to 10, and the count mode it needed is dropped.
    EXPECT_EQ(job.retention.mode, 0u);
    EXPECT_EQ(job.retention.days, 30u);
    EXPECT_EQ(job.retention.count, 10u);
    EXPECT_EQ(readDefHives(), 6u);
}

TEST(SettingsFile, OnlyTheNumberZeroSwitchesTheHiveCheckOff) {
    struct Case {
        const char* line;  // nullptr: no VerifyHives key
        bool on;
    };
    const Case cases[] = {
        {nullptr, true}, {"VerifyHives=1", true},  {"VerifyHives=0", false},    {"VerifyHives=00", false},
        {"VerifyHives=0 ; nightly", false},        {"VerifyHives=2", true},     {"VerifyHives=10", true},
        {"VerifyHives=-1", true},                  {"VerifyHives=", true},      {"VerifyHives=off", true},
        {"VerifyHives= 0 ", false},                {"VerifyHives=yes", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "no key");
        SettingsFile file(std::string("[Settings]\r\nDateFormat=yyyy\r\n") + (c.line ? c.line : "") + "\r\n");
        BackupJob job;
        job.verifyHives = !c.on;
        loadJobSettings(job);
        EXPECT_EQ(job.verifyHives, c.on);
    }

    // Hand-edited only: saving the advanced options keeps it as it stands.
    SettingsFile file("[Settings]\r\nVerifyHives=0\r\n");
    saveAdvancedOptions(loadAdvancedOptions());
    BackupJob job;
    loadJobSettings(job);
    EXPECT_FALSE(job.verifyHives);
    EXPECT_NE(file.bytes().find("VerifyHives=0\r\n"), std::string::npos);
}

TEST(SettingsFile, EmptyDefaultFolderShowsTheDefaultOnTheWelcomePageButEmptyInTheDialog) {
    SettingsFile file("[Settings]\r\nDefBackupDir=\r\n");
    BackupJob job;
    EXPECT_EQ(defaultFolderExpanded(job), windowsFolder() + L"\\Tolmen\\" + todayText(L"yyyy-MM-dd") + L"\\");
    EXPECT_EQ(loadAdvancedOptions().defBackupDir, L"");
}

TEST(SettingsFile, DefaultFolderIsExpandedWithTheJobPictures) {
    SettingsFile file("[Settings]\r\nDefBackupDir=C:\\Saves\\<date>\\%USERNAME%\\\r\n");
    BackupJob job;
    job.dateFormat = L"yyyyMMdd";
    wchar_t user[256];
    GetEnvironmentVariableW(L"USERNAME", user, 256);
    EXPECT_EQ(defaultFolderExpanded(job), L"C:\\Saves\\" + todayText(L"yyyyMMdd") + L"\\" + user + L"\\");
    EXPECT_EQ(loadAdvancedOptions().defBackupDir, L"C:\\Saves\\<date>\\%USERNAME%\\");
    // A picture the platform rejects leaves the text unexpanded rather than empty.
    job.dateFormat = L"yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-yyyy-";  // 130 characters out
    EXPECT_EQ(defaultFolderExpanded(job), L"C:\\Saves\\<date>\\%USERNAME%\\");
}

TEST(SettingsFile, SaveWritesTheFiveKeysInOrder) {
    SettingsFile file;
    AdvancedOptions options;
    options.defBackupDir = L"D:\\备份\\<date>\\";
    options.overwrite = true;
    options.retention.mode = 2;
    options.retention.days = 0;  // repaired before writing
    options.retention.count = 12;
    saveAdvancedOptions(options);
    EXPECT_EQ(file.bytes(),
              "[Settings]\r\nDefBackupDir=D:\\" + toAnsi(L"备份") +
                  "\\<date>\\\r\nOverwrite=1\r\nLimitBackup=2\r\nLimitBackupDays=30\r\nLimitBackupCount=12\r\n");

    options.overwrite = false;
    saveAdvancedOptions(options);
    EXPECT_EQ(GetPrivateProfileIntW(L"Settings", L"Overwrite", 99, file.path().c_str()), 0u);
    AdvancedOptions back = loadAdvancedOptions();
    EXPECT_EQ(back.defBackupDir, options.defBackupDir);
    EXPECT_EQ(back.retention.count, 12u);

    writeDefHives(4);
    EXPECT_EQ(readDefHives(), 4u);
}

TEST(SettingsFile, BackupDirsAreReadUntilTheFirstEmptyKeyAndRewrittenWhole) {
    SettingsFile file("[BackupDirs]\r\n0=C:\\A\\\r\n1= C:\\B \r\n2=\r\n3=C:\\D\\\r\n");
    std::vector<std::wstring> places = readBackupDirs();
    ASSERT_EQ(places.size(), 2u);
    EXPECT_EQ(places[0], L"C:\\A\\");
    EXPECT_EQ(places[1], L"C:\\B");

    writeBackupDirs({L"C:\\X\\", L"C:\\Y\\"});
    EXPECT_EQ(file.bytes(), "[BackupDirs]\r\n0=C:\\X\\\r\n1=C:\\Y\\\r\n");
    writeBackupDirs({});
    EXPECT_TRUE(readBackupDirs().empty());
}

// Wine reports D: as a CD-ROM, E: as removable and F: as a network drive (prefix setup).
TEST(SettingsFile, AnythingButAFixedDiskIsReadOnly) {
    const std::string original = "[Settings]\r\nLimitBackup=2\r\nLimitBackupCount=3\r\n[BackupDirs]\r\n0=C:\\A\\\r\n";
    const std::wstring folder = L"D:\\settings-ro-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(makeDirs(folder));
    ASSERT_TRUE(writeBytes(folder + L"RegOpt.ini", original));

    initSettings(folder.c_str());
    EXPECT_TRUE(settingsReadOnly());
    BackupJob job;
    loadJobSettings(job);  // reading still works
    EXPECT_EQ(job.retention.mode, 2u);
    EXPECT_EQ(job.retention.count, 3u);

    AdvancedOptions options = loadAdvancedOptions();
    options.retention.mode = 0;
    options.defBackupDir = L"C:\\elsewhere\\";
    saveAdvancedOptions(options);
    writeBackupDirs({L"C:\\B\\"});
    EXPECT_EQ(readBytes(folder + L"RegOpt.ini"), original);

    removeTree(folder);
    for (const wchar_t* other : {L"E:\\sub\\", L"F:\\sub\\"}) {
        initSettings(other);
        EXPECT_TRUE(settingsReadOnly()) << toUtf8(other);
    }
    initSettings(L"G:\\sub\\");
    EXPECT_FALSE(settingsReadOnly());
    initSettings(L"\\\\server\\share\\");
    EXPECT_TRUE(settingsReadOnly());
}
