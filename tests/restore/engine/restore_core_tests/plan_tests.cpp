// Building the restore plan from the hive sections of SURVIN.INI.
#include <gtest/gtest.h>

#include "errors.h"
#include "restore_fixture.h"

using namespace restore_tests;

namespace {

class PlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeInfoSection(folder.ini(), "C:\\WINDOWS");
        folder.saveLoadableHive("system", "saved SYSTEM");
        folder.saveLoadableHive("Users\\1\\NTUSER.DAT", "saved NTUSER");
    }
    bool build(const std::string& target = "C:\\WINDOWS", DWORD selected = 7) {
        session = folder.session(target, selected);
        session.callback = &recorder;
        return BuildRestorePlan(session);
    }

    BackupFolder folder;
    RestoreSession session;
    ScriptedActions recorder;
};

}  // namespace

TEST_F(PlanTest, EntriesTakeRootKeySubKeyPathsAndCategory) {
    writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", " system ", "C:\\WINDOWS\\system32\\config\\SYSTEM", 1);
    writeHiveSection(folder.ini(), 1, "users\\S-1-5-21-1-2-3-1003", "Users\\1\\NTUSER.DAT",
                     "\"C:\\Documents and Settings\\a\\NTUSER.DAT\"", 2);
    ASSERT_TRUE(build());
    ASSERT_EQ(2u, session.plan.size());
    const RestorePlanEntry& system = session.plan[0];
    EXPECT_EQ(HKEY_LOCAL_MACHINE, system.rootKey);
    EXPECT_STREQ("SYSTEM", system.subKey);
    EXPECT_EQ(folder.folder() + "system", system.savedFile);
    EXPECT_STREQ("C:\\WINDOWS\\system32\\config\\SYSTEM", system.hivePath);
    EXPECT_STREQ("C:\\WINDOWS\\system32\\config\\SYSTEM.BAK", system.backupCopy);
    EXPECT_EQ(1, system.category);
    const RestorePlanEntry& user = session.plan[1];
    EXPECT_EQ(HKEY_USERS, user.rootKey);
    EXPECT_STREQ("S-1-5-21-1-2-3-1003", user.subKey);
    EXPECT_STREQ("C:\\Documents and Settings\\a\\NTUSER.DAT", user.hivePath);  // unquoted
    EXPECT_STREQ("C:\\Documents and Settings\\a\\NTUSER.DAT.BAK", user.backupCopy);
    EXPECT_EQ(2, user.category);
    EXPECT_EQ(0, session.failed);

    std::vector<std::wstring> status = recorder.lines(Reported::Status);
    ASSERT_EQ(2u, status.size());
    EXPECT_EQ(wide("验证配置单元 system"), status[0]);
    EXPECT_EQ(wide("验证配置单元 Users\\1\\NTUSER.DAT"), status[1]);
}

TEST_F(PlanTest, OnlyTheDriveLetterFollowsTheTargetRoot) {
    // The hives of C:\WINDOWS restored into the installation whose root is E:\WINNT go to
    // E:\WINDOWS: the folders stay as written. With no target root chosen (the options
    // confirmed without one) every hive stays where SURVIN.INI says.
    const struct {
        const char* target;
        const char* hives[2];
        const char* planned[2];
    } cases[] = {
        {"E:\\WINNT",
         {"C:\\WINNT\\system32\\config\\SYSTEM", "e:\\WINNT\\system32\\config\\SAM"},
         {"E:\\WINNT\\system32\\config\\SYSTEM", "e:\\WINNT\\system32\\config\\SAM"}},
        {"E:\\WINNT",
         {"C:\\WINDOWS\\system32\\config\\SYSTEM", "C:\\Documents and Settings\\a\\NTUSER.DAT"},
         {"E:\\WINDOWS\\system32\\config\\SYSTEM", "E:\\Documents and Settings\\a\\NTUSER.DAT"}},
        {"",
         {"C:\\WINDOWS\\system32\\config\\SYSTEM", "D:\\Profiles\\a\\NTUSER.DAT"},
         {"C:\\WINDOWS\\system32\\config\\SYSTEM", "D:\\Profiles\\a\\NTUSER.DAT"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " " + c.hives[0]);
        writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", c.hives[0], 1);
        writeHiveSection(folder.ini(), 1, c.hives[1][0] == 'e' ? "MACHINE\\SAM" : "USERS\\S-1-5-21-7", "system",
                         c.hives[1], 1);
        ASSERT_TRUE(build(c.target));
        EXPECT_EQ(0, session.failed);
        ASSERT_EQ(2u, session.plan.size());
        for (int i = 0; i < 2; ++i) {
            EXPECT_STREQ(c.planned[i], session.plan[i].hivePath);
            EXPECT_STREQ("", session.plan[i].refused);
        }
    }
}

TEST_F(PlanTest, ShortHivePathIsExpandedToItsLongForm) {
    OfflineTree offline;
    const std::string live = offline.root() + "\\Documents and Settings\\Long User Name\\NTUSER.DAT";
    OfflineTree::put(live, "live");
    char shortPath[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(live.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_STRNE(live.c_str(), shortPath);
    writeHiveSection(folder.ini(), 0, "USERS\\S-1", "Users\\1\\NTUSER.DAT", shortPath, 2);
    ASSERT_TRUE(build(offline.root() + "\\WINDOWS"));
    EXPECT_EQ(live, session.plan[0].hivePath);
    EXPECT_EQ(live + ".BAK", session.plan[0].backupCopy);
}

TEST_F(PlanTest, UnselectedSectionsAreSkippedUnread) {
    // Read, either section would end or void the plan.
    writeHiveSection(folder.ini(), 0, "CURUSER\\S-1", "", "", 2);
    writeHiveSection(folder.ini(), 1, "MACHINE\\SYSTEM", "system", "C:\\WINDOWS\\system32\\config\\SYSTEM", 1);
    writeHiveSection(folder.ini(), 2, "USERS\\S-1", "missing", "C:\\DOCS\\THESIS.DOC", 4);
    ASSERT_TRUE(build("C:\\WINDOWS", 1));
    ASSERT_EQ(1u, session.plan.size());
    EXPECT_STREQ("SYSTEM", session.plan[0].subKey);
    EXPECT_EQ(1u, recorder.lines(Reported::Status).size());
}

TEST_F(PlanTest, AnEmptyOrTooShortKeyEndsThePlanThere) {
    for (const char* key : {"Hive", "Saved", "Type"}) {
        for (const char* value : {"", " x "}) {
            writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", "C:\\WINDOWS\\system32\\config\\SYSTEM", 1);
            writeHiveSection(folder.ini(), 1, "MACHINE\\SAM", "system", "C:\\WINDOWS\\system32\\config\\SAM", 1);
            writeHiveSection(folder.ini(), 2, "MACHINE\\SECURITY", "system", "C:\\WINDOWS\\system32\\config\\SECURITY", 1);
            writeValue(folder.ini(), "DATA1", key, value);
            ASSERT_TRUE(build()) << key;
            ASSERT_EQ(1u, session.plan.size()) << key << " '" << value << "'";
            EXPECT_STREQ("SYSTEM", session.plan[0].subKey);
        }
    }
}

TEST_F(PlanTest, MissingSavedFileVoidsThePlanWith611) {
    writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", "C:\\WINDOWS\\system32\\config\\SYSTEM", 1);
    writeHiveSection(folder.ini(), 1, "MACHINE\\SAM", "sam", "C:\\WINDOWS\\system32\\config\\SAM", 1);
    EXPECT_FALSE(build());
    EXPECT_EQ(1, session.failed);
    EXPECT_EQ(err::kSavedHiveMissing, session.failureCode);
    std::vector<std::wstring> log = recorder.lines(Reported::Line);
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(wide("配置单元 sam 没有找到"), log[0]);
}

TEST_F(PlanTest, NothingSelectedToRestoreIs611) {
    writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", "C:\\WINDOWS\\system32\\config\\SYSTEM", 1);
    EXPECT_FALSE(build("C:\\WINDOWS", 4));
    EXPECT_TRUE(session.plan.empty());
    EXPECT_EQ(1, session.failed);
    EXPECT_EQ(err::kSavedHiveMissing, session.failureCode);
}

TEST_F(PlanTest, TypeRootOtherThanUsersOrMachineIs612) {
    for (const char* type : {"CURUSER\\S-1-5-21", "MACHINE", "HKLM\\SYSTEM"}) {
        writeHiveSection(folder.ini(), 0, "MACHINE\\SYSTEM", "system", "C:\\WINDOWS\\system32\\config\\SYSTEM", 1);
        writeHiveSection(folder.ini(), 1, type, "system", "C:\\WINDOWS\\system32\\config\\SAM", 1);
        EXPECT_FALSE(build()) << type;
        EXPECT_EQ(1, session.failed) << type;
        EXPECT_EQ(err::kHiveInfoInvalid, session.failureCode) << type;
    }
}

TEST_F(PlanTest, InfoFileGoneFailsWithoutACode) {
    ASSERT_TRUE(DeleteFileA(folder.ini().c_str()));
    EXPECT_FALSE(build());
    EXPECT_EQ(0, session.failed);
    EXPECT_EQ(0, session.failureCode);
}
