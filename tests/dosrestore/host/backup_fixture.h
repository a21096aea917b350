// A backup folder C:\BK\ with SURVIN.INI and saved hives, and the live Windows tree the
// DOS restore program works on, on the simulated disk.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "copy_checks.h"
#include "ini_file.h"
#include "screens.h"
#include "sim_platform.h"
#include "survin_dos.h"
#include "text.h"

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Runs the program to its finished screen (which waits for a key).
inline void runToFinish(const std::string& keys) {
    sim::typeText(keys);
    bool waiting = false;
    sim::runSurvin(&waiting);
    ASSERT_TRUE(waiting);
    ASSERT_EQ(sim::row(10), "Finsihed restoring registry.") << sim::screenText();
}

struct SavedHive {
    std::string saved;     // relative to the backup folder
    std::string hive;      // live path as SURVIN.INI records it
    int category;
    std::string type = {};  // empty: the Type the backup program writes for such a file
};

// MACHINE\<file> for a file of the config folder, USERS\<sid> for a profile's
// NTUSER.DAT, USERS\<sid>_Classes for its UsrClass.dat.
inline std::string typeFor(const SavedHive& h, size_t index) {
    if (!h.type.empty()) return h.type;
    std::string file = h.hive.substr(h.hive.rfind('\\') + 1);
    std::string upperFile;
    for (char c : file) upperFile += char(std::toupper(static_cast<unsigned char>(c)));
    std::string sid = "S-1-5-21-1-2-3-" + std::to_string(1000 + index);
    if (upperFile == "NTUSER.DAT") return "USERS\\" + sid;
    if (upperFile == "USRCLASS.DAT") return "USERS\\" + sid + "_Classes";
    return "MACHINE\\" + upperFile;
}

inline std::string infoSection(const std::string& sysRoot = "C:\\WINDOWS") {
    return "[INFO]\r\n"
           "DateTime=2009-05-18 , 3:07:42 PM\r\n"
           "IniVersion=1\r\n"
           "WinVer=5.1\r\n"
           "OSString=Windows XP Professional Service Pack 3 (build 2600)\r\n"
           "SysRoot=" + sysRoot + "\r\n"
           "CurUser=Alice\r\n";
}

// SURVIN.INI as the backup program writes it: Type, Saved, Hive, Category per section.
inline std::string iniFor(const std::vector<SavedHive>& hives) {
    std::string ini = infoSection();
    for (size_t i = 0; i < hives.size(); ++i) {
        ini += "[DATA" + std::to_string(i) + "]\r\nType=" + typeFor(hives[i], i) + "\r\nSaved=" + hives[i].saved +
               "\r\nHive=" + hives[i].hive + "\r\nCategory=" +
               std::to_string(hives[i].category) + "\r\n";
    }
    ini += "[Files]\r\n0=x\r\n";
    return ini;
}

// The saved hive holds "saved:<name>", the live one "live:<name>".
inline void addBackup(const std::vector<SavedHive>& hives) {
    sim::addFile("C:\\BK\\SURVIN.INI", iniFor(hives));
    sim::addDir("C:\\WINDOWS\\system32\\config");
    for (const SavedHive& h : hives) {
        sim::addFile("C:\\BK\\" + h.saved, "saved:" + h.saved);
        sim::addFile(h.hive, "live:" + h.hive);
    }
}

inline const std::vector<SavedHive>& threeGroups() {
    static const std::vector<SavedHive> hives = {
        {"software", "C:\\WINDOWS\\system32\\config\\software", 1},
        {"Users\\1\\NTUSER.DAT", "C:\\DOCUME~1\\Alice\\NTUSER.DAT", 2},
        {"Users\\2\\NTUSER.DAT", "C:\\DOCUME~1\\Bob\\NTUSER.DAT", 4},
    };
    return hives;
}

class DosTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        survin::resetState(sim::state());
    }
};
