// Folder templates: placeholders, pictures, environment expansion, normalisation and the
// backup root.
#include <gtest/gtest.h>

#include "folder_naming.h"
#include "job.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::wstring now(bool date, const std::wstring& picture) {
    wchar_t text[128];
    if (date)
        GetDateFormatW(LOCALE_USER_DEFAULT, 0, nullptr, picture.c_str(), text, 128);
    else
        GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, picture.c_str(), text, 128);
    return text;
}

// A picture whose result (150 characters) does not fit the 128-character buffer.
std::wstring overlongPicture(const wchar_t* piece) {
    std::wstring picture;
    while (picture.size() < 150) picture += piece;
    return picture;
}

std::wstring windowsFolder() {
    wchar_t folder[MAX_PATH];
    GetWindowsDirectoryW(folder, MAX_PATH);
    return folder;
}

std::wstring resolved(const std::wstring& tmpl, BackupJob& job) {
    std::wstring out;
    EXPECT_TRUE(resolveFolder(tmpl, job, out)) << toUtf8(tmpl);
    return out;
}

std::wstring normalised(const std::wstring& text) {
    std::wstring out;
    EXPECT_TRUE(normaliseFolder(text, out)) << toUtf8(text);
    return out;
}

}  // namespace

TEST(FolderNaming, DefaultTemplateGivesTodaysFolderInTheWindowsFolder) {
    BackupJob job;
    const std::wstring today = now(true, L"yyyy-MM-dd");
    ASSERT_EQ(today.size(), 10u);
    EXPECT_EQ(resolved(L"%SystemRoot%\\Tolmen\\<DATE>\\", job), windowsFolder() + L"\\Tolmen\\" + today + L"\\");
    EXPECT_EQ(job.dateText, today);
    EXPECT_EQ(job.timeText, L"");
}

TEST(FolderNaming, PlaceholdersMatchInAnyCase) {
    BackupJob job;
    job.dateFormat = L"yyyyMMdd";
    job.timeFormat = L"HH'h'";
    std::wstring out;
    ASSERT_TRUE(expandFolderTemplate(L"C:\\<DaTe>\\<date>_<TIME>-<tImE>\\", job, out));
    const std::wstring d = now(true, L"yyyyMMdd"), t = now(false, L"HH'h'");
    EXPECT_EQ(out, L"C:\\" + d + L"\\" + d + L"_" + t + L"-" + t + L"\\");
    EXPECT_EQ(job.dateText, d);
    EXPECT_EQ(job.timeText, t);

    // A template without the words leaves the texts of the earlier expansion alone.
    ASSERT_TRUE(expandFolderTemplate(L"C:\\plain\\", job, out));
    EXPECT_EQ(job.dateText, d);
    EXPECT_EQ(job.timeText, t);
}

TEST(FolderNaming, AFolderShownExpandedKeepsItsRootAtTheDate) {
    // The welcome page shows the default template expanded and resolves that text when
    // the user moves on: the backup root is still the folder above the day's folder.
    BackupJob job;
    std::wstring shown;
    ASSERT_TRUE(expandFolderTemplate(L"%SystemRoot%\\Tolmen\\<DATE>\\", job, shown));
    job.backupFolder = resolved(shown, job);
    EXPECT_EQ(job.dateText, now(true, L"yyyy-MM-dd"));
    std::wstring root;
    ASSERT_TRUE(backupRootOf(job, root));
    EXPECT_EQ(root, windowsFolder() + L"\\Tolmen\\");
}

TEST(FolderNaming, TheWordsDateAndTimeAloneStillFormatTheirValues) {
    BackupJob job;
    std::wstring out;
    ASSERT_TRUE(expandFolderTemplate(L"C:\\Update\\", job, out));
    EXPECT_EQ(out, L"C:\\Update\\");
    EXPECT_EQ(job.dateText, now(true, L"yyyy-MM-dd"));
    ASSERT_TRUE(expandFolderTemplate(L"C:\\Timeline\\", job, out));
    EXPECT_EQ(job.timeText.size(), 8u);

    // A picture whose result does not fit the 128-character buffer is refused, and then
    // so is a template that merely mentions the word.
    job.dateFormat = overlongPicture(L"yyyy-");
    out = L"unchanged";
    EXPECT_FALSE(expandFolderTemplate(L"C:\\Update\\", job, out));
    EXPECT_EQ(out, L"unchanged");
    EXPECT_TRUE(expandFolderTemplate(L"C:\\Plain\\", job, out));
    job.timeFormat = overlongPicture(L"HH-");
    EXPECT_FALSE(expandFolderTemplate(L"C:\\Overtime\\", job, out));
}

TEST(FolderNaming, EnvironmentExpansionIsLimitedTo259Characters) {
    BackupJob job;
    std::wstring out;
    const std::wstring fits = L"C:\\" + std::wstring(256, L'a');  // 259 characters
    ASSERT_TRUE(expandFolderTemplate(fits, job, out));
    EXPECT_EQ(out, fits);
    EXPECT_FALSE(expandFolderTemplate(fits + L"b", job, out));

    SetEnvironmentVariableW(L"TOLMEN_LONG", std::wstring(250, L'x').c_str());
    EXPECT_TRUE(expandFolderTemplate(L"C:\\%TOLMEN_LONG%\\abcde", job, out));  // 259
    EXPECT_EQ(out.size(), 259u);
    EXPECT_FALSE(expandFolderTemplate(L"C:\\%TOLMEN_LONG%\\abcdef", job, out));
    SetEnvironmentVariableW(L"TOLMEN_LONG", nullptr);
    // An unknown variable stays as written.
    EXPECT_TRUE(expandFolderTemplate(L"C:\\%TOLMEN_NO_SUCH%\\", job, out));
    EXPECT_EQ(out, L"C:\\%TOLMEN_NO_SUCH%\\");
}

TEST(FolderNaming, BlanksNextToSeparatorsVanishWhileBlanksInNamesStay) {
    BackupJob job;
    std::wstring out = resolved(L" C:\\Backup \\ <time> \\", job);
    EXPECT_EQ(out, L"C:\\Backup\\" + job.timeText + L"\\");
    EXPECT_EQ(normalised(L"C:\\My Backup   \\   Day 1  \\"), L"C:\\My Backup\\Day 1\\");
}

TEST(FolderNaming, ForbiddenCharactersQuotesAndDoubleBackslashesAreDropped) {
    EXPECT_EQ(normalised(L"C:\\a|b*c\\d"), L"C:\\abc\\d\\");
    EXPECT_EQ(normalised(L"C:\\x<y>z?\\q\"r\""), L"C:\\xyz\\qr\\");
    EXPECT_EQ(normalised(L"C:\\one\\\\two\\\\\\three\\"), L"C:\\one\\two\\three\\");
    EXPECT_EQ(normalised(L"C:\\drive:colon\\"), L"C:\\drive:colon\\");
}

TEST(FolderNaming, AFolderOnAFileServerKeepsItsTwoLeadingBackslashes) {
    // Every later double backslash still collapses; the long-path and device forms, and a
    // server without a share, are no folder.
    const struct {
        const wchar_t* text;
        const wchar_t* folder;  // null: refused
    } cases[] = {
        {L"\\\\server\\share\\x", L"\\\\server\\share\\x\\"},
        {L"\\\\server\\share\\\\PC \\ <day>\\\\", L"\\\\server\\share\\PC\\day\\"},
        {L"//server/share/x", L"\\\\server\\share\\x\\"},
        {L"\\\\?\\C:\\Backup", nullptr},
        {L"\\\\?\\UNC\\server\\share\\x", nullptr},
        {L"\\\\.\\C:\\Backup", nullptr},
        {L"\\\\ ?\\C:\\Backup", nullptr},
        {L"\\\\server", nullptr},
        {L"\\\\server\\", nullptr},
    };
    for (const auto& c : cases) {
        std::wstring out;
        const bool ok = normaliseFolder(c.text, out);
        EXPECT_EQ(ok, c.folder != nullptr) << toUtf8(c.text) << " -> " << toUtf8(out);
        if (ok && c.folder) EXPECT_EQ(out, c.folder) << toUtf8(c.text);
    }
}

TEST(FolderNaming, RelativePathsAreTakenFromTheCurrentFolder) {
    ScratchDir dir(L"naming");
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));
    std::wstring relative = normalised(L"rel\\sub"), parent = normalised(L"..\\up");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(relative, dir.path() + L"rel\\sub\\");
    EXPECT_EQ(parent, L"C:\\tolmen-tests\\up\\");
}

TEST(FolderNaming, QualifiedPathsOf260CharactersOrMoreAreRejected) {
    std::wstring out;
    const std::wstring fits = L"C:\\" + std::wstring(255, L'a');  // 258 + the added backslash
    ASSERT_TRUE(normaliseFolder(fits, out));
    EXPECT_EQ(out, fits + L"\\");
    EXPECT_FALSE(normaliseFolder(L"C:\\" + std::wstring(257, L'a'), out));
    BackupJob job;
    EXPECT_FALSE(resolveFolder(L"C:\\" + std::wstring(300, L'a'), job, out));
}

TEST(FolderNaming, BackupRootIsCutBeforeTheDateAndTimeTexts) {
    BackupJob job;
    std::wstring root;
    job.backupFolder = L"C:\\WINDOWS\\Tolmen\\2009-05-18\\";
    job.dateText = L"2009-05-18";
    ASSERT_TRUE(backupRootOf(job, root));
    EXPECT_EQ(root, L"C:\\WINDOWS\\Tolmen\\");

    job.backupFolder = L"C:\\Saves\\Nightly 01-02-03\\";
    job.dateText = L"";
    job.timeText = L"01-02-03";
    ASSERT_TRUE(backupRootOf(job, root));
    EXPECT_EQ(root, L"C:\\Saves\\Nightly\\");

    // Date first, then time on what is left; compared without regard to case.
    job.backupFolder = L"C:\\Saves\\Run-12H\\MAY-18\\";
    job.dateText = L"may-18";
    job.timeText = L"12h";
    ASSERT_TRUE(backupRootOf(job, root));
    EXPECT_EQ(root, L"C:\\Saves\\Run-\\");

    // Resolved from a template, as the job does.
    job.timeFormat = L"HH-mm-ss";
    job.backupFolder = resolved(L"C:\\Saves\\<date>\\<time>\\", job);
    ASSERT_TRUE(backupRootOf(job, root));
    EXPECT_EQ(root, L"C:\\Saves\\");

    // No texts: the folder itself.
    job.backupFolder = L"C:\\Saves\\Fixed\\";
    job.dateText.clear();
    job.timeText.clear();
    ASSERT_TRUE(backupRootOf(job, root));
    EXPECT_EQ(root, L"C:\\Saves\\Fixed\\");
}

TEST(FolderNaming, DateAndTimeTextsMustStayPartOfOneFolderName) {
    // DateFormat and TimeFormat come from RegOpt.ini; a text that leaves its folder name
    // is refused like a picture the platform rejects.
    struct Case {
        const wchar_t* dateFormat;
        const wchar_t* timeFormat;
        bool accepted;
    };
    const Case cases[] = {
        {L"yyyy-MM-dd", L"HH-mm-ss", true},
        {L"yyyy.MM.dd", L"HH'h'mm", true},
        {L"yyyy'年'M'月'd'日'", L"HH-mm", true},
        {L"'..\\Public\\'yyyy", L"HH-mm-ss", false},
        {L"'..'yyyy", L"HH-mm-ss", false},
        {L"yyyy'/'MM", L"HH-mm-ss", false},
        {L"yyyy-MM-dd", L"HH':'mm", false},
        {L"yyyy-MM-dd", L"HH'|'mm", false},
        {L"'.'", L"HH-mm-ss", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(std::wstring(c.dateFormat) + L" / " + c.timeFormat));
        BackupJob job;
        job.dateFormat = c.dateFormat;
        job.timeFormat = c.timeFormat;
        std::wstring out;
        EXPECT_EQ(c.accepted, resolveFolder(L"C:\\Backups\\<date>\\<time>\\", job, out)) << toUtf8(out);
    }
}
