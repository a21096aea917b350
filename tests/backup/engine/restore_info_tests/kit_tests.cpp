// The restore kit: the console copy script, the restore program and the help file.
#include <gtest/gtest.h>

#include "backup_system.h"
#include "info_helpers.h"
#include "resource.h"
#include "restore_info.h"
#include "restore_kit.h"
#include "settings.h"

using namespace info_tests;
using namespace testing_support;

namespace {

std::wstring programFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

class Kit : public ::testing::Test {
protected:
    Kit() : dir_(L"info-kit"), folder_(dir_ / L"Backup\\") {
        makeDirs(folder_);
        job().backupFolder = folder_;
        job().carried = {IDR_SURVIN_EXE, IDR_SURVIN64_EXE};
        initSettings(dir_.path().c_str());
    }
    BackupJob& job() { return test_.job; }
    std::string file(const wchar_t* name) const { return readBytes(folder_ + name); }

    ScratchDir dir_;
    std::wstring folder_;
    TestJob test_;
};

TEST_F(Kit, ScriptHasTwoLinesPerSystemHive) {
    const std::wstring config = L"C:\\Windows\\System32\\config\\";
    job().savedList = {
        savedEntry(HKEY_LOCAL_MACHINE, L"SYSTEM", folder_ + L"SYSTEM", config + L"SYSTEM", kHiveSystem),
        savedEntry(HKEY_USERS, L"S-1-5-21-1-2-3-1003", folder_ + L"Users\\1\\NTUSER.DAT",
                   L"C:\\Users\\alice\\NTUSER.DAT", kHiveCurrentUser),
        // The .DEFAULT hive's copy is named after its file, not its key.
        savedEntry(HKEY_USERS, L".DEFAULT", folder_ + L"DEFAULT", config + L"DEFAULT", kHiveSystem),
        savedEntry(HKEY_USERS, L"S-1-5-21-1-2-3-1004", folder_ + L"Users\\2\\NTUSER.DAT",
                   L"C:\\Users\\bob\\NTUSER.DAT", kHiveOthers),
        // A system hive with an extension keeps its live path as the safety copy; a
        // Chinese folder name is written in GBK.
        savedEntry(HKEY_USERS, L"S-1-5-18", folder_ + L"system.dat", L"C:\\数据\\config\\system.dat", kHiveSystem),
    };
    writeConsoleScript(job());
    EXPECT_EQ(file(L"SURVIN.WRC"),
              "copy \"C:\\Windows\\System32\\config\\SYSTEM\" \"C:\\Windows\\System32\\config\\SYSTEM.bak\"\r\n"
              "copy \"SYSTEM\" \"C:\\Windows\\System32\\config\\SYSTEM\"\r\n"
              "copy \"C:\\Windows\\System32\\config\\DEFAULT\" \"C:\\Windows\\System32\\config\\DEFAULT.bak\"\r\n"
              "copy \"DEFAULT\" \"C:\\Windows\\System32\\config\\DEFAULT\"\r\n"
              "copy \"C:\\\xCA\xFD\xBE\xDD\\config\\system.dat\" \"C:\\\xCA\xFD\xBE\xDD\\config\\system.dat\"\r\n"
              "copy \"system.dat\" \"C:\\\xCA\xFD\xBE\xDD\\config\\system.dat\"\r\n");
}

TEST_F(Kit, ScriptFollowsTheThreadsCodePage) {
    // A thread locale whose ANSI code page (1251) differs from the system's (936 here).
    const LCID russian = MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA), SORT_DEFAULT);
    const LCID before = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(russian));
    job().savedList = {savedEntry(HKEY_LOCAL_MACHINE, L"SYSTEM", folder_ + L"SYSTEM", L"C:\\Копия\\SYSTEM", kHiveSystem)};
    writeConsoleScript(job());
    SetThreadLocale(before);
    EXPECT_EQ(file(L"SURVIN.WRC"), "copy \"C:\\\xCA\xEE\xEF\xE8\xFF\\SYSTEM\" \"C:\\\xCA\xEE\xEF\xE8\xFF\\SYSTEM.bak\"\r\n"
                                   "copy \"SYSTEM\" \"C:\\\xCA\xEE\xEF\xE8\xFF\\SYSTEM\"\r\n");
}

TEST_F(Kit, ScriptReplacesAnOldOneOrGoes) {
    writeBytes(folder_ + L"SURVIN.WRC", "copy \"old\" \"older\"\r\ncopy \"x\" \"y\"\r\ncopy \"z\" \"w\"\r\n");
    job().savedList = {savedEntry(HKEY_LOCAL_MACHINE, L"SAM", folder_ + L"SAM", L"C:\\W\\config\\SAM", kHiveSystem)};
    writeConsoleScript(job());
    EXPECT_EQ(file(L"SURVIN.WRC"), "copy \"C:\\W\\config\\SAM\" \"C:\\W\\config\\SAM.bak\"\r\ncopy \"SAM\" \"C:\\W\\config\\SAM\"\r\n");

    job().savedList = {savedEntry(HKEY_USERS, L"S-1-5-21-1-2-3-1003", folder_ + L"Users\\1\\NTUSER.DAT",
                                  L"C:\\Users\\alice\\NTUSER.DAT", kHiveCurrentUser)};
    writeConsoleScript(job());
    EXPECT_FALSE(fileExists(folder_ + L"SURVIN.WRC"));
}

TEST_F(Kit, RestoreProgramsAreTheShippedOnes) {
    placeRestoreProgramAndHelp(job());
    const struct {
        int resource;
        const wchar_t* name;
        const wchar_t* shippedAs;
    } programs[] = {{IDR_SURVIN_EXE, L"SURVIN.EXE", L"Survin.exe"},
                    {IDR_SURVIN64_EXE, L"SURVIN64.EXE", L"x64\\Survin.exe"}};
    for (const auto& p : programs) {
        const std::string shipped = readBytes(distFile(p.shippedAs));
        ASSERT_GT(shipped.size(), 1024u) << toUtf8(p.shippedAs);
        HRSRC resource = FindResourceExW(nullptr, L"BIN", MAKEINTRESOURCEW(p.resource), 2052);
        ASSERT_NE(resource, nullptr) << toUtf8(p.name);
        EXPECT_EQ(SizeofResource(nullptr, resource), shipped.size()) << toUtf8(p.name);

        const std::string written = file(p.name);
        EXPECT_EQ(written.size(), shipped.size()) << toUtf8(p.name);
        EXPECT_TRUE(written == shipped) << toUtf8(p.name) << " differs from the shipped restore program";
    }
}

// Copying the help from beside the program is seen in the folder of a real run
// (backup_folder_tests.cpp), with the shipped Tolmen.chm beside Tolmen.exe.
TEST_F(Kit, ExistingHelpIsNeverReplaced) {
    writeBytes(folder_ + L"Tolmen.chm", "the user's own help");
    placeRestoreProgramAndHelp(job());
    EXPECT_EQ(file(L"Tolmen.chm"), "the user's own help");
    EXPECT_TRUE(fileExists(folder_ + L"SURVIN.EXE"));
}

TEST_F(Kit, NoHelpBesideTheProgramLeavesNone) {
    if (fileExists(programFolder() + L"Tolmen.chm")) {
        GTEST_SKIP() << "a help file lies beside the test program";
    }
    placeRestoreProgramAndHelp(job());
    EXPECT_TRUE(fileExists(folder_ + L"SURVIN.EXE"));
    EXPECT_FALSE(fileExists(folder_ + L"Tolmen.chm"));
}

TEST_F(Kit, OverwriteReplacesProgramAndScriptButKeepsHelp) {
    writeBytes(folder_ + L"SURVIN.INI", "[INFO]\r\nDateTime=old\r\n");
    writeBytes(folder_ + L"SURVIN.EXE", "an old restore program");
    writeBytes(folder_ + L"SURVIN.WRC", "an old script\r\n");
    writeBytes(folder_ + L"Tolmen.chm", "help placed by an earlier backup");
    writeBytes(dir_ / L"SYSTEM", "live");
    writeBytes(folder_ + L"SYSTEM", "saved");
    job().savedList = {savedEntry(HKEY_LOCAL_MACHINE, L"SYSTEM", folder_ + L"SYSTEM", dir_ / L"SYSTEM", kHiveSystem)};
    job().overwrite = true;

    ASSERT_TRUE(writeRestoreInfo(job()));
    placeRestoreProgramAndHelp(job());
    EXPECT_TRUE(file(L"SURVIN.EXE") == readBytes(distFile(L"Survin.exe"))) << "SURVIN.EXE was not replaced";
    const std::string live = ansi(dir_ / L"SYSTEM");
    EXPECT_EQ(file(L"SURVIN.WRC"), "copy \"" + live + "\" \"" + live + ".bak\"\r\ncopy \"SYSTEM\" \"" + live + "\"\r\n");
    EXPECT_EQ(file(L"Tolmen.chm"), "help placed by an earlier backup");
}

// What the backup browser starts: the restore program this program carries, written over
// a changed copy, and held so that it cannot change before the start.
TEST_F(Kit, TheBrowserStartsOnlyTheCarriedRestoreProgram) {
    const std::string shipped = readBytes(distFile(L"Survin.exe"));
    const std::wstring exe = folder_ + L"SURVIN.EXE";
    ASSERT_TRUE(writeBytes(exe, "a changed restore program"));
    {
        FileHandle held = holdCarriedRestoreProgram(folder_, IDR_SURVIN_EXE);
        ASSERT_TRUE(held);
        EXPECT_TRUE(file(L"SURVIN.EXE") == shipped) << "the changed copy was not replaced";
        EXPECT_FALSE(writeBytes(exe, "changed while held"));
        EXPECT_FALSE(DeleteFileW(exe.c_str()));
    }
    EXPECT_TRUE(holdCarriedRestoreProgram(folder_, IDR_SURVIN_EXE)) << "the carried copy itself is kept";

    // A link planted under the name: the file it leads to is never written.
    const std::wstring elsewhere = dir_ / L"elsewhere.exe";
    ASSERT_TRUE(writeBytes(elsewhere, "someone else's program"));
    ASSERT_TRUE(DeleteFileW(exe.c_str()));
    ASSERT_TRUE(CreateHardLinkW(exe.c_str(), elsewhere.c_str(), nullptr));
    EXPECT_TRUE(holdCarriedRestoreProgram(folder_, IDR_SURVIN_EXE));
    EXPECT_EQ(readBytes(elsewhere), "someone else's program");
    EXPECT_TRUE(file(L"SURVIN.EXE") == shipped);

    // What cannot be replaced is not to be started.
    ASSERT_TRUE(DeleteFileW(exe.c_str()));
    ASSERT_TRUE(makeDirs(exe));
    EXPECT_FALSE(holdCarriedRestoreProgram(folder_, IDR_SURVIN_EXE));
}

}  // namespace

TEST(RestoreKitFolder, NamedInTheSystemsCodePageWhateverTheThreadsLocale) {
    // The restore program opens its folder through the system's ANSI code page (936 on the
    // test machine). A thread with English formats converts with 1252 and must not decide;
    // short names are switched off here, as they are on many volumes.
    struct NoShortNames : BackupSystem {
        std::wstring shortPathOf(const std::wstring&) override { return {}; }
    } system;
    BackupSystem* previous = setBackupSystem(&system);
    const LCID locale = GetThreadLocale();
    ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)));
    EXPECT_TRUE(restoreProgramCanOpen(L"D:\\备份\\"));
    EXPECT_TRUE(restoreProgramCanOpen(L"D:\\Backup\\"));
    EXPECT_FALSE(restoreProgramCanOpen(L"D:\\\x0626\x0628\\"));  // Arabic letters: no form in code page 936
    SetThreadLocale(locale);
    setBackupSystem(previous);
}
