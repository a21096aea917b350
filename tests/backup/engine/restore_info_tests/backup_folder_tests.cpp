// A real unattended backup under Wine: the folder Tolmen.exe leaves behind, above all the
// bytes of its SURVIN.INI, its console script and its restore program.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "backup_deletion.h"
#include "edition.h"
#include "info_helpers.h"
#include "platform.h"

using namespace info_tests;
using namespace testing_support;

namespace {

struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
    std::string get(const std::string& key) const {
        for (const auto& kv : keys)
            if (kv.first == key) return kv.second;
        return {};
    }
};

std::vector<Section> sections(const std::vector<std::string>& lines) {
    std::vector<Section> out;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '[') {
            EXPECT_EQ(line.back(), ']') << line;
            out.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        size_t eq = line.find('=');
        EXPECT_NE(eq, std::string::npos) << line;
        EXPECT_FALSE(out.empty()) << "a key before the first section";
        if (eq == std::string::npos || out.empty()) continue;
        // The text-mode reader matches keys as line prefixes: no blanks around "=".
        EXPECT_EQ(line.substr(0, eq).find(' '), std::string::npos) << line;
        EXPECT_NE(line.substr(eq + 1, 1), " ") << line;
        out.back().keys.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return out;
}

std::vector<std::string> keyNames(const Section& s) {
    std::vector<std::string> names;
    for (const auto& kv : s.keys) names.push_back(kv.first);
    return names;
}

std::string todayText() {
    wchar_t date[64];
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, nullptr, L"yyyy-MM-dd", date, 64);
    return toUtf8(date);
}

// Short and long form of a live hive path, seen with the real system folders.
struct PathForms {
    std::string shortForm, longForm;
};
PathForms pathForms(const std::string& ansiPath) {
    PVOID cookie = nullptr;
    bool redirected = disableFsRedirection(&cookie);
    wchar_t shortPath[520] = {}, longPath[520] = {};
    GetShortPathNameW(fromAnsi(ansiPath).c_str(), shortPath, 520);
    GetLongPathNameW(fromAnsi(ansiPath).c_str(), longPath, 520);
    if (redirected) revertFsRedirection(cookie);
    return {ansi(shortPath), ansi(longPath)};
}

bool sameText(const std::string& a, const std::string& b) {
    return lstrcmpiW(fromAnsi(a).c_str(), fromAnsi(b).c_str()) == 0;
}

class BackupFolder : public ::testing::Test {
protected:
    BackupFolder() : dir_(L"info-e2e"), program_(L"info-e2e-program") {}

    // Runs Tolmen.exe "<scratch><date>\" <options> until done() holds. Another test may
    // run its own Tolmen.exe meanwhile, and a second instance ends at once without a word.
    template <class Done>
    bool runTolmen(const std::wstring& options, Done done) {
        const std::wstring line = L"\"" + program_.exe() + L"\" \"" + dir_.path() + L"<date>\\\" " + options;
        for (int attempt = 0; attempt < 5; ++attempt) {
            testing_support::waitForTolmenFree();
            DWORD exitCode = 1;
            if (!runProgram(line, 180000, &exitCode)) return false;
            if (done()) return true;
        }
        return false;
    }
    std::wstring folder() const { return dir_.path() + fromUtf8(todayText()) + L"\\"; }

    ScratchDir dir_;
    testing_support::PrivateTolmen program_;  // its RegOpt.ini is this test's own
};

TEST_F(BackupFolder, SilentRunLeavesACompleteBackup) {
    SYSTEMTIME before;
    GetLocalTime(&before);
    const std::wstring backup = folder();
    ASSERT_TRUE(runTolmen(L"/silent", [&] { return fileExists(backup + L"SURVIN.EXE"); })) << toUtf8(backup);

    const std::string bytes = readBytes(backup + L"SURVIN.INI");
    ASSERT_EQ(bytes.substr(0, 8), "[INFO]\r\n");  // no byte-order mark
    const std::vector<Section> all = sections(crlfLines(bytes));
    ASSERT_GE(all.size(), 3u);

    // INFO: every key in its place, with this machine's values.
    const Section& info = all.front();
    EXPECT_EQ(info.name, "INFO");
    std::vector<std::string> infoLines;
    for (const auto& kv : info.keys)
        if (kv.first != "DateTime") infoLines.push_back(kv.first + "=" + kv.second);
    EXPECT_EQ(keyNames(info).front(), "DateTime");
    std::vector<std::string> expectedInfo;
    {
        OSVERSIONINFOW version = {};
        version.dwOSVersionInfoSize = sizeof(version);
        ASSERT_TRUE(GetVersionExW(&version));
        std::wstring edition;
        OsInfoRecord record;
        ASSERT_TRUE(identifyWindows(edition, record));
        wchar_t windows[MAX_PATH], device[MAX_PATH] = {}, user[256];
        GetWindowsDirectoryW(windows, MAX_PATH);
        QueryDosDeviceW(std::wstring(windows, 2).c_str(), device, MAX_PATH);
        DWORD cchUser = 256;
        GetUserNameW(user, &cchUser);
        expectedInfo = {
            "IniVersion=1",
            "WinVer=" + std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion),
            "OSString=" + ansi(edition),
            "WARNING_1=" + kWarning1,
            "OSINFO=" + structHex(&record, sizeof(record)),
            "WARNING_2=" + kWarning2,
            "SysRoot=" + ansi(windows),
            "WinDevice=" + ansi(device),
            "CurUser=" + ansi(user),
        };
    }
    EXPECT_EQ(infoLines, expectedInfo);
    const std::string dateTime = info.get("DateTime");
    EXPECT_EQ(dateTime.substr(0, 13), todayText() + " , ");
    const std::string designator = before.wHour < 12 ? "\xC9\xCF\xCE\xE7" : "\xCF\xC2\xCE\xE7";
    ASSERT_GT(dateTime.size(), designator.size());
    EXPECT_EQ(dateTime.substr(dateTime.size() - designator.size()), designator);

    // DATA0 ... DATAn-1, then Files.
    const size_t count = all.size() - 2;
    ASSERT_EQ(all.back().name, "Files");
    std::vector<std::string> expectedFiles;
    std::string expectedScript;
    bool sawShortened = false;
    std::map<std::string, std::string> savedByType;
    for (size_t i = 0; i < count; ++i) {
        const Section& s = all[i + 1];
        SCOPED_TRACE(s.name);
        EXPECT_EQ(s.name, "DATA" + std::to_string(i));
        EXPECT_EQ(keyNames(s), (std::vector<std::string>{"Type", "Saved", "Hive", "Category"}));
        const std::string type = s.get("Type"), saved = s.get("Saved"), hive = s.get("Hive");
        const std::string category = s.get("Category");
        EXPECT_TRUE(type.rfind("MACHINE\\", 0) == 0 || type.rfind("USERS\\", 0) == 0) << type;
        savedByType[type] = saved;

        // Saved is relative to the folder and names the copy; user hives lie in Users\n.
        EXPECT_TRUE(fileExists(backup + fromAnsi(saved))) << saved;
        EXPECT_EQ(saved.find(':'), std::string::npos) << saved;
        EXPECT_NE(saved.substr(0, 1), "\\") << saved;
        if (category == "1") {
            EXPECT_EQ(saved.find('\\'), std::string::npos) << saved;
        } else {
            EXPECT_EQ(saved.rfind("Users\\", 0), 0u) << saved;
        }
        EXPECT_TRUE(category == "1" || category == "2" || category == "4") << category;

        // Hive is the live file in its short form.
        const PathForms forms = pathForms(hive);
        EXPECT_FALSE(forms.longForm.empty()) << hive;
        EXPECT_EQ(hive, forms.shortForm);
        if (hive.find('~') != std::string::npos) sawShortened = true;

        expectedFiles.push_back(saved);
        if (category == "1") {
            // The script names the live file in its long form, as discovery found it.
            const std::string script = readBytes(backup + L"SURVIN.WRC");
            const std::string putBack = "copy \"" + saved + "\" \"";
            const size_t at = script.find(putBack);
            ASSERT_NE(at, std::string::npos) << saved;
            const size_t from = at + putBack.size();
            const std::string target = script.substr(from, script.find('"', from) - from);
            EXPECT_TRUE(sameText(target, forms.longForm)) << target;
            expectedScript += "copy \"" + target + "\" \"" + target + ".bak\"\r\n";
            expectedScript += "copy \"" + saved + "\" \"" + target + "\"\r\n";
        }
    }
    EXPECT_TRUE(sawShortened) << "no live path had a long component";
    EXPECT_EQ(savedByType["MACHINE\\SYSTEM"], "SYSTEM");
    EXPECT_EQ(savedByType["USERS\\.DEFAULT"], "DEFAULT");

    for (const char* fixed : {"SURVIN.WRC", "SURVIN.EXE", "SURVIN64.EXE", "SURVIN.INI"}) expectedFiles.push_back(fixed);
    std::vector<std::string> files;
    for (size_t i = 0; i < all.back().keys.size(); ++i) {
        EXPECT_EQ(all.back().keys[i].first, std::to_string(i));
        files.push_back(all.back().keys[i].second);
    }
    EXPECT_EQ(files, expectedFiles);

    // The rest of the kit.
    EXPECT_EQ(readBytes(backup + L"SURVIN.WRC"), expectedScript);
    // Both restore programs, each the shipped one byte for byte.
    const struct {
        const wchar_t* name;
        const wchar_t* shippedAs;
    } programs[] = {{L"SURVIN.EXE", L"Survin.exe"}, {L"SURVIN64.EXE", L"x64\\Survin.exe"}};
    for (const auto& p : programs) {
        const std::string program = readBytes(backup + p.name);
        const std::string shipped = readBytes(distFile(p.shippedAs));
        ASSERT_GT(shipped.size(), 1024u) << toUtf8(p.shippedAs);
        EXPECT_EQ(program.size(), shipped.size()) << toUtf8(p.name);
        EXPECT_TRUE(program == shipped) << toUtf8(p.name) << " is not the shipped restore program";
    }
    if (fileExists(programFile(L"Tolmen.chm"))) {
        EXPECT_TRUE(readBytes(backup + L"Tolmen.chm") == readBytes(programFile(L"Tolmen.chm")));
    }

    // Deleting the backup takes everything it listed, the 64-bit restore program too.
    ASSERT_TRUE(deleteBackup(backup));
    EXPECT_FALSE(fileExists(backup + L"SURVIN64.EXE"));
    EXPECT_FALSE(dirExists(backup));
}

TEST_F(BackupFolder, OverwriteRenewsTheKit) {
    const std::wstring backup = folder();
    ASSERT_TRUE(runTolmen(L"/silent", [&] { return fileExists(backup + L"SURVIN.EXE"); })) << toUtf8(backup);
    writeBytes(backup + L"SURVIN.EXE", "a damaged restore program");
    writeBytes(backup + L"SURVIN.WRC", "copy \"damaged\" \"script\"\r\n");
    const std::string firstIni = readBytes(backup + L"SURVIN.INI");

    const std::string shipped = readBytes(distFile(L"Survin.exe"));
    EXPECT_TRUE(runTolmen(L"/silent /overwrite", [&] { return readBytes(backup + L"SURVIN.EXE") == shipped; }))
        << "SURVIN.EXE was not renewed";
    const std::string script = readBytes(backup + L"SURVIN.WRC");
    EXPECT_EQ(script.rfind("copy \"", 0), 0u);
    EXPECT_EQ(script.find("damaged"), std::string::npos);
    if (fileExists(programFile(L"Tolmen.chm"))) {
        EXPECT_TRUE(readBytes(backup + L"Tolmen.chm") == readBytes(programFile(L"Tolmen.chm")));
    }

    // A whole new file: the same sections, keys and list as before (only the time moves).
    const std::string secondIni = readBytes(backup + L"SURVIN.INI");
    std::vector<std::string> first = crlfLines(firstIni), second = crlfLines(secondIni);
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) {
        if (first[i].rfind("DateTime=", 0) != 0) {
            EXPECT_EQ(first[i], second[i]);
        }
    }
}

}  // namespace
