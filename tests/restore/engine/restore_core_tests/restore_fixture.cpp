#include "restore_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "edition.h"
#include "platform.h"

using namespace testing_support;

namespace restore_tests {

namespace {

class GuardEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // As the program does at its start: loading a hive to check it needs the restore
        // privilege.
        ASSERT_TRUE(enablePrivilege(true, L"SeBackupPrivilege"));
        ASSERT_TRUE(enablePrivilege(true, L"SeRestorePrivilege"));
    }
};

[[maybe_unused]] ::testing::Environment* const g_guard =
    ::testing::AddGlobalTestEnvironment(new GuardEnvironment);

LONG g_offlineCounter = 0;

}  // namespace

std::string ansi(const std::wstring& text) { return toAnsi(text); }
std::wstring wide(const std::string& text) { return fromAnsi(text); }

SystemRecord runningSystem() {
    SystemRecord system;
    system.record = {};
    EXPECT_TRUE(identifyWindowsA(system.osString, system.record, IdentifyMode::Query));
    char winVer[32];
    wsprintfA(winVer, "%d.%d", static_cast<int>(system.record.majorVersion),
              static_cast<int>(system.record.minorVersion));
    system.winVer = winVer;
    return system;
}

void writeValue(const std::string& ini, const char* section, const char* key, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, ini.c_str()));
}

std::string readValue(const std::string& ini, const char* section, const char* key) {
    char buffer[1024] = "";
    GetPrivateProfileStringA(section, key, "", buffer, sizeof(buffer), ini.c_str());
    return buffer;
}

void writeInfoSection(const std::string& ini, const std::string& sysRoot) {
    SystemRecord system = runningSystem();
    writeInfoSection(ini, sysRoot, system.winVer, system.record);
}

void writeInfoSection(const std::string& ini, const std::string& sysRoot, const std::string& winVer,
                      const OsInfoRecord& record) {
    OsInfoRecord copy = record;
    std::string osString;
    ASSERT_TRUE(identifyWindowsA(osString, copy, IdentifyMode::FromRecord));
    writeValue(ini, "INFO", "DateTime", "2026-12-08 , 7:30:00 上午");
    writeValue(ini, "INFO", "IniVersion", "1");
    writeValue(ini, "INFO", "WinVer", winVer.c_str());
    writeValue(ini, "INFO", "OSString", osString.c_str());
    writeValue(ini, "INFO", "WARNING_1", "永远不要编辑下面的行");
    ASSERT_TRUE(WritePrivateProfileStructA("INFO", "OSINFO", &copy, sizeof(copy), ini.c_str()));
    writeValue(ini, "INFO", "WARNING_2", "永远不要编辑上面的行");
    writeValue(ini, "INFO", "SysRoot", sysRoot.c_str());
    writeValue(ini, "INFO", "CurUser", "tester");
}

void writeHiveSection(const std::string& ini, int index, const std::string& type, const std::string& saved,
                      const std::string& hive, int category) {
    char section[32];
    wsprintfA(section, "DATA%d", index);
    char number[16];
    wsprintfA(number, "%d", category);
    writeValue(ini, section, "Type", type.c_str());
    writeValue(ini, section, "Saved", saved.c_str());
    writeValue(ini, section, "Hive", hive.c_str());
    writeValue(ini, section, "Category", number);
}

BackupFolder::BackupFolder() : dir_(L"restore"), folder_(ansi(dir_.path())) {}

void BackupFolder::saveHive(const std::string& saved, const std::string& bytes) {
    OfflineTree::put(folder_ + saved, bytes);
}

std::string BackupFolder::saveLoadableHive(const std::string& saved, const std::string& tag) {
    std::string bytes = hiveBytes(tag);
    saveHive(saved, bytes);
    return bytes;
}

RestoreSession BackupFolder::session(const std::string& targetRoot, DWORD selected) const {
    RestoreSession session;
    session.backupFolder = folder_;
    session.infoFilePath = ini();
    session.targetWindowsRoot = targetRoot;
    session.selectedCategories = selected;
    session.availableCategories = selected;
    session.infoLoaded = 1;
    return session;
}

OfflineTree::OfflineTree() {
    char root[MAX_PATH];
    wsprintfA(root, "R:\\tolmen-tests\\restore-%lu-%ld", GetCurrentProcessId(),
              InterlockedIncrement(&g_offlineCounter));
    root_ = root;
    removeTree(wide(root_));
    makeDirs(wide(root_));
}

OfflineTree::~OfflineTree() { removeTree(wide(root_)); }

void OfflineTree::put(const std::string& path, const std::string& bytes) {
    std::wstring full = wide(path);
    makeDirs(full.substr(0, full.rfind(L'\\')));
    ASSERT_TRUE(writeBytes(full, bytes)) << path;
}

HiveCheckResult ScriptedActions::loadCheck(const std::wstring& file, const std::wstring& scratchParent) {
    scratchParents.push_back(scratchParent);
    for (const std::string& name : uncheckable) {
        if (lstrcmpiW(file.c_str(), wide(name).c_str()) == 0) return {HiveVerdict::Unverifiable, ERROR_PRIVILEGE_NOT_HELD};
    }
    return RestoreCallback::loadCheck(file, scratchParent);
}

bool ScriptedActions::askToGoOn(const std::string& text, QuestionCaption caption) {
    questions.push_back({text, false, caption, std::string()});
    if (answers.empty()) {
        ADD_FAILURE() << "no scripted answer for: " << text;
        return false;
    }
    int answer = answers.front();
    answers.erase(answers.begin());
    return answer == IDYES;
}

LONG ScriptedActions::replaceKey(HKEY root, const std::string& subKey, const std::string& newFile,
                                 const std::string& oldFile) {
    replacements.push_back({root, subKey, newFile, oldFile});
    if (replaceResults.empty()) return ERROR_SUCCESS;
    LONG result = replaceResults.front();
    replaceResults.erase(replaceResults.begin());
    return result;
}

std::vector<std::wstring> ScriptedActions::lines(Reported kind) const {
    std::vector<std::wstring> texts;
    for (const Notice& notice : notices) {
        if (notice.kind == kind) texts.push_back(notice.text);
    }
    return texts;
}

std::vector<std::wstring> ScriptedActions::log(size_t first) const {
    std::vector<std::wstring> list;
    std::vector<RestoreStep> steps;
    size_t n = 0;
    for (const Notice& notice : notices) {
        if (notice.kind != Reported::Line || n++ < first) continue;
        size_t at = notice.step == kOwnLine ? steps.size()
                                            : size_t(std::find(steps.begin(), steps.end(), notice.step) - steps.begin());
        if (at == steps.size()) {
            list.push_back(notice.text);
            steps.push_back(notice.step);
        } else {
            list[at] = notice.text;
        }
    }
    return list;
}

std::string fileBytes(const std::string& path) { return readBytes(wide(path)); }
bool exists(const std::string& path) { return fileExists(wide(path)); }

}  // namespace restore_tests
