// Backup folders are for administrators only: the DACL of every folder and file that a
// real run of Tolmen.exe leaves, read back through the platform.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "admin_only.h"
#include "dacl_support.h"
#include "info_helpers.h"
#include "platform.h"

using namespace testing_support;

namespace {

struct Entry {
    std::wstring path;
    bool folder;
};

// The folder and everything below it.
void collect(const std::wstring& folder, std::vector<Entry>& out) {
    out.push_back({folder, true});
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            collect(folder + name + L"\\", out);
        else
            out.push_back({folder + name, false});
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

std::string today() {
    wchar_t date[64];
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, nullptr, L"yyyy-MM-dd", date, 64);
    return toUtf8(date);
}

class AdminOnlyBackup : public ::testing::Test {
protected:
    AdminOnlyBackup() : dir_(L"admin-only"), program_(L"admin-only-program") {}

    // Runs Tolmen.exe "<scratch><sub><date>\" <options> until done() holds: another test
    // may run its own Tolmen.exe meanwhile, and a second instance ends at once.
    template <class Done>
    bool runTolmen(const std::wstring& sub, const std::wstring& options, Done done) {
        const std::wstring line =
            L"\"" + program_.exe() + L"\" \"" + dir_.path() + sub + L"<date>\\\" " + options;
        for (int attempt = 0; attempt < 5; ++attempt) {
            waitForTolmenFree();
            DWORD exitCode = 1;
            if (!runProgram(line, 180000, &exitCode)) return false;
            if (done()) return true;
        }
        return false;
    }

    // Every folder and file below `top` has the administrators-only DACL, and so has `top`
    // itself unless it is left out.
    void expectAdminOnlyTree(const std::wstring& top, size_t atLeast, bool withTop = true) {
        std::vector<Entry> entries;
        collect(top, entries);
        EXPECT_GE(entries.size(), atLeast);
        for (const Entry& entry : entries) {
            if (!withTop && entry.path == top) continue;
            EXPECT_EQ(adminOnlyDacl(entry.folder), daclOf(entry.path)) << toUtf8(entry.path);
        }
    }

    ScratchDir dir_;
    PrivateTolmen program_;
};

TEST_F(AdminOnlyBackup, AFreshBackupAndTheFoldersTheJobMadeAreForAdministratorsOnly) {
    ASSERT_TRUE(program_.ok());
    const std::wstring made = dir_ / L"made\\";
    const std::wstring folder = made + fromUtf8(today()) + L"\\";
    ASSERT_TRUE(runTolmen(L"made\\", L"/reg:su /silent", [&] { return fileExists(folder + L"SURVIN.EXE"); }));
    ASSERT_TRUE(fileExists(folder + L"Users\\2\\UsrClass.dat"));
    ASSERT_TRUE(fileExists(folder + L"Tolmen.chm"));
    // made\, the backup folder, Users, Users\1 and \2, five system hives, two user
    // hives, SURVIN.INI, .WRC, .EXE and the help file.
    expectAdminOnlyTree(made, 16);
    // A folder that was there before the job keeps its own DACL.
    EXPECT_NE(adminOnlyDacl(true), daclOf(dir_.path()));
}

TEST_F(AdminOnlyBackup, AnExistingFolderKeepsItsOwnDaclWhileEveryFileAnOverwriteReplacesGetsTheAdministratorsOnlyOne) {
    ASSERT_TRUE(program_.ok());
    const std::wstring folder = dir_.path() + fromUtf8(today()) + L"\\";
    ASSERT_TRUE(makeDirs(folder + L"Users\\1"));
    ASSERT_TRUE(writeBytes(folder + L"SURVIN.EXE", "an old restore program"));
    ASSERT_TRUE(writeBytes(folder + L"SYSTEM", "an old hive"));
    ASSERT_TRUE(writeBytes(folder + L"letter.txt", "the user's own file"));
    // As made here, everyone may read them: what the run changes is seen.
    const std::string folderDacl = daclOf(folder), letterDacl = daclOf(folder + L"letter.txt");
    ASSERT_NE(adminOnlyDacl(true), folderDacl);
    ASSERT_NE(adminOnlyDacl(false), daclOf(folder + L"SURVIN.EXE"));

    const std::string shipped = readBytes(distFile(L"Survin.exe"));
    ASSERT_TRUE(runTolmen(L"", L"/reg:su /overwrite /silent",
                          [&] { return readBytes(folder + L"SURVIN.EXE") == shipped; }));
    EXPECT_NE(readBytes(folder + L"SYSTEM"), "an old hive");
    // The user's folder (their Desktop, D:\\Data) and their own file stay as they were.
    EXPECT_EQ(folderDacl, daclOf(folder));
    EXPECT_EQ(letterDacl, daclOf(folder + L"letter.txt"));
    DeleteFileW((folder + L"letter.txt").c_str());
    expectAdminOnlyTree(folder, 14, false);
}

// What the elevated programs act on only when an administrator made it: the help file they
// open, the scratch folders they clean up, the single-instance mutex. (Wine keeps no
// descriptor of its own for files: it shows the Unix permissions, so only the entries for
// everyone can be tried here.)
TEST(AdminOnly, WhatOnlyAnAdministratorCanHaveMadeOrChanged) {
    ScratchDir dir(L"admin-only-rules");
    struct Case {
        const wchar_t* dacl;  // null: made as the programs make their files
        bool othersMayRead;   // the help file's rule
        bool nobodyElse;      // the scratch folder's rule
    };
    const Case cases[] = {
        {nullptr, true, true},
        {L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;WD)", true, false},
        {L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;WD)", false, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dacl ? toUtf8(c.dacl) : "administrators only");
        const std::wstring path = dir / (L"file" + std::to_wstring(++n));
        if (c.dacl)
            ASSERT_TRUE(writeBytes(path, "help"));
        else
            ASSERT_TRUE(createAdminOnlyFile(path, CREATE_NEW));
        HANDLE file = CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        if (c.dacl) {
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            ASSERT_TRUE(
                ConvertStringSecurityDescriptorToSecurityDescriptorW(c.dacl, SDDL_REVISION_1, &descriptor, nullptr));
            BOOL present = FALSE, defaulted = FALSE;
            PACL dacl = nullptr;
            ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
            ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
                      SetSecurityInfo(file, SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, dacl, nullptr));
            LocalFree(descriptor);
        }
        EXPECT_EQ(c.othersMayRead, isAdminOnly(file, true)) << daclOf(path);
        EXPECT_EQ(c.nobodyElse, isAdminOnly(file, false)) << daclOf(path);
        CloseHandle(file);
    }

    // A mutex is another instance's only when an administrator made it.
    PSECURITY_DESCRIPTOR foreign = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)",
                                                                     SDDL_REVISION_1, &foreign, nullptr));
    SECURITY_ATTRIBUTES sa = {sizeof(sa), foreign, FALSE};
    HANDLE planted = CreateMutexW(&sa, FALSE, nullptr);
    LocalFree(foreign);
    HANDLE own = CreateMutexW(adminOnlyObjectAttributes(), FALSE, nullptr);
    ASSERT_TRUE(planted && own);
    EXPECT_FALSE(isMadeByAdmins(planted));
    EXPECT_TRUE(isMadeByAdmins(own));
    CloseHandle(planted);
    CloseHandle(own);
}

}  // namespace
