// Deletion that cannot be steered outside a backup: folders swapped for links after the
// search, Files entries that lead through links, and the privileges switched off meanwhile.
// Wine has no links of its own; these are Unix symbolic links, which Wine follows.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "backup_deletion.h"
#include "backup_places.h"
#include "platform.h"
#include "places_fixture.h"

using namespace places_testing;

namespace {

// Records a pruning's lines and acts when one of them is reported.
class PruneReport : public JobReport {
public:
    void logLine(StepId, const std::wstring& text) const override {
        lines.push_back(text);
        if (onLine) onLine(text);
    }
    void status(const std::wstring&) const override {}
    void fail(int) override {}
    void failKeepingCode(int) override {}

    mutable std::vector<std::wstring> lines;
    std::function<void(const std::wstring&)> onLine;
};

// The line after the search, just before the first deletion.
bool isDeletingLine(const std::wstring& line) { return line == L"删除以前备份（如果有） ..."; }

// Every file a backup made by makeBackup holds.
const wchar_t* const kBackupFiles[] = {L"SYSTEM", L"Users\\1\\NTUSER.DAT", L"SURVIN.WRC",
                                       L"SURVIN.EXE", L"SURVIN.INI", L"Tolmen.chm"};

void expectWhole(const std::wstring& folder) {
    for (const wchar_t* name : kBackupFiles) EXPECT_TRUE(fileExists(folder + name)) << toUtf8(folder + name);
}

}  // namespace

TEST(SteeredDeletion, FoldersSwappedForLinksAfterTheSearchDeleteNothingOutsideThem) {
    PlacesFixture f;
    const ULONGLONG old = nowFileTime() - 10 * kDay;
    const std::wstring place = f / L"T\\";
    ASSERT_TRUE(makeBackup(place + L"a\\", old));
    ASSERT_TRUE(makeBackup(place + L"mid\\b\\", old + kHour));
    ASSERT_TRUE(makeBackup(place + L"new\\", nowFileTime()));
    // Where the links will lead: folders shaped like backups, so that a deletion that
    // followed the links would empty them.
    ASSERT_TRUE(makeBackup(f / L"elsewhere\\", old));
    ASSERT_TRUE(makeBackup(f / L"other\\b\\", old));
    writeBackupDirs({place});

    // After the search: the backup folder a becomes a link, and so does the folder mid on
    // the way to the backup b.
    std::unique_ptr<FolderLink> linkA, linkMid;
    PruneReport report;
    report.onLine = [&](const std::wstring& line) {
        if (!isDeletingLine(line)) return;
        ASSERT_TRUE(MoveFileW((place + L"a").c_str(), (place + L"a-moved").c_str()));
        ASSERT_TRUE(MoveFileW((place + L"mid").c_str(), (place + L"mid-moved").c_str()));
        linkA = std::make_unique<FolderLink>(place + L"a", f / L"elsewhere");
        linkMid = std::make_unique<FolderLink>(place + L"mid", f / L"other");
        ASSERT_TRUE(linkA->made && linkMid->made) << "cannot make Unix links from here";
    };
    BackupRun run;
    run.retention.mode = 2;
    run.retention.count = 1;
    pruneBackups(run, report);
    ASSERT_EQ(report.lines.size(), 2u);
    ASSERT_TRUE(linkA && linkA->made);

    expectWhole(f / L"elsewhere\\");
    expectWhole(f / L"other\\b\\");
    // Nor were the backups deleted where they went: they are not where the search found them.
    expectWhole(place + L"a-moved\\");
    expectWhole(place + L"mid-moved\\b\\");
    expectWhole(place + L"new\\");

    // The same without a place (an overwrite), the folder's parent standing for it.
    EXPECT_FALSE(deleteBackup(place + L"a\\"));
    EXPECT_FALSE(deleteBackup(place + L"mid\\b\\", place));
    expectWhole(f / L"elsewhere\\");
    expectWhole(f / L"other\\b\\");
    // A folder found outside the place it is named with is refused too.
    EXPECT_FALSE(deleteBackup(f / L"elsewhere\\", place));
    expectWhole(f / L"elsewhere\\");
}

TEST(SteeredDeletion, FilesEntriesThatLeadThroughALinkAreSkipped) {
    PlacesFixture f;
    const std::wstring folder = f / L"T\\x\\";
    ASSERT_TRUE(makeBackup(folder, nowFileTime(), true, {"Users\\9\\NTUSER.DAT", "linked\\SYSTEM"}));
    ASSERT_TRUE(makeDirs(f / L"outside"));
    ASSERT_TRUE(writeBytes(f / L"outside\\NTUSER.DAT", "live hive"));
    ASSERT_TRUE(writeBytes(f / L"outside\\SYSTEM", "live hive"));
    FolderLink users(folder + L"Users\\9", f / L"outside");
    FolderLink linked(folder + L"linked", f / L"outside");
    ASSERT_TRUE(users.made && linked.made);

    EXPECT_TRUE(deleteBackup(folder, f / L"T\\"));
    EXPECT_EQ(readBytes(f / L"outside\\NTUSER.DAT"), "live hive");
    EXPECT_EQ(readBytes(f / L"outside\\SYSTEM"), "live hive");
    // The backup's own files went.
    for (const wchar_t* name : kBackupFiles) EXPECT_FALSE(fileExists(folder + name)) << toUtf8(name);
}

TEST(SteeredDeletion, BackupAndRestorePrivilegesAreOffWhileDeletingAndOnAgainAfterwards) {
    ASSERT_TRUE(enablePrivilege(true, L"SeBackupPrivilege"));
    ASSERT_TRUE(enablePrivilege(true, L"SeRestorePrivilege"));
    PlacesFixture f;
    ASSERT_TRUE(makeBackup(f / L"T\\a\\", nowFileTime() - kDay));
    ASSERT_TRUE(makeBackup(f / L"T\\b\\", nowFileTime()));
    writeBackupDirs({f / L"T\\"});

    bool backupOn = true, restoreOn = true;
    PruneReport report;
    report.onLine = [&](const std::wstring& line) {
        if (!isDeletingLine(line)) return;
        backupOn = privilegeEnabled(L"SeBackupPrivilege");
        restoreOn = privilegeEnabled(L"SeRestorePrivilege");
    };
    BackupRun run;
    run.retention.mode = 2;
    run.retention.count = 1;
    pruneBackups(run, report);
    EXPECT_FALSE(backupOn);
    EXPECT_FALSE(restoreOn);
    EXPECT_FALSE(dirExists(f / L"T\\a\\"));
    EXPECT_TRUE(privilegeEnabled(L"SeBackupPrivilege"));
    EXPECT_TRUE(privilegeEnabled(L"SeRestorePrivilege"));

    // A deletion of its own (the browser's) leaves them as it found them.
    EXPECT_TRUE(deleteBackup(f / L"T\\b\\", f / L"T\\"));
    EXPECT_TRUE(privilegeEnabled(L"SeBackupPrivilege"));
    enablePrivilege(false, L"SeRestorePrivilege");
    deleteBackup(f / L"T\\b\\", f / L"T\\");
    EXPECT_TRUE(privilegeEnabled(L"SeBackupPrivilege"));
    EXPECT_FALSE(privilegeEnabled(L"SeRestorePrivilege"));
    enablePrivilege(true, L"SeRestorePrivilege");
}

TEST(SteeredDeletion, APlaceSwappedForALinkBetweenTwoDeletionsOfOnePruneLeadsNowhere) {
    // A prune checks each place once; a place swapped afterwards must not carry the next
    // deletion, nor the removal of emptied folders at its end, to where the link leads.
    PlacesFixture f;
    ASSERT_TRUE(makeBackup(f / L"T\\g\\a\\", nowFileTime() - 2 * kDay));
    ASSERT_TRUE(makeBackup(f / L"T\\h\\b\\", nowFileTime() - kDay));
    ASSERT_TRUE(makeBackup(f / L"elsewhere\\h\\b\\", nowFileTime() - kDay));
    BackupDeletion deletion;
    EXPECT_TRUE(deletion.remove(f / L"T\\g\\a\\", f / L"T\\"));
    ASSERT_TRUE(MoveFileW((f / L"T").c_str(), (f / L"T.old").c_str()));
    FolderLink swapped(f / L"T", f / L"elsewhere");
    ASSERT_TRUE(swapped.made);
    EXPECT_FALSE(deletion.remove(f / L"T\\h\\b\\", f / L"T\\"));
    ASSERT_TRUE(makeDirs(f / L"elsewhere\\g"));  // empty, where the first backup's folder was
    deletion.finish();
    for (const wchar_t* name : kBackupFiles) EXPECT_TRUE(fileExists(f / L"elsewhere\\h\\b\\" + name)) << toUtf8(name);
    EXPECT_TRUE(dirExists(f / L"elsewhere\\g"));
    EXPECT_TRUE(fileExists(f / L"T.old\\h\\b\\SURVIN.INI"));
}

TEST(SteeredDeletion, AFilesListOfAnOddShapeDeletesWhatTheProfileReadOfItNames) {
    // Blanks, quotes, another case, a repeated key (the first counts) and entries after
    // SURVIN.INI (its deletion ends the list), in the backup's own UTF-16 and in ANSI.
    const std::wstring ini = L"[INFO]\r\nDateTime=x\r\n[files]\r\n 0 = \"SURVIN.EXE\" \r\n1=Users\\1\\NTUSER.DAT\r\n"
                             L"0=SYSTEM\r\n2 =SURVIN.INI\r\n3=SURVIN.WRC\r\n";
    std::string utf16 = "\xFF\xFE";
    utf16.append(reinterpret_cast<const char*>(ini.data()), ini.size() * sizeof(wchar_t));
    for (const std::string& bytes : {utf16, toUtf8(ini)}) {
        PlacesFixture f;
        const std::wstring folder = f / L"T\\a\\";
        ASSERT_TRUE(makeBackup(folder, nowFileTime()));
        ASSERT_TRUE(writeBytes(folder + L"SURVIN.INI", bytes));
        EXPECT_TRUE(deleteBackup(folder, f / L"T\\"));
        for (const wchar_t* name : {L"SURVIN.EXE", L"Users\\1\\NTUSER.DAT", L"SURVIN.INI"})
            EXPECT_FALSE(fileExists(folder + name)) << toUtf8(name);
        for (const wchar_t* name : {L"SYSTEM", L"SURVIN.WRC"}) EXPECT_TRUE(fileExists(folder + name)) << toUtf8(name);
    }
}
