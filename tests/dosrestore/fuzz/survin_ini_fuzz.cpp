// Fuzz target: the DOS restore program reads an arbitrary SURVIN.INI and runs a restore on
// the simulated machine of the host tests, answering every question with yes. Besides the
// sanitizers' faults, a crash is any copy command that writes where a restore never may:
// every target must be a hive file of the installation at the Windows root (or its ".bak"
// beside it), every source a file inside the backup folder (or the live hive itself, for
// its ".bak").
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../../../common/hive_path.h"
#include "sim_platform.h"
#include "survin_dos.h"

namespace {

const char kFolder[] = "C:\\BK\\";

void fail(const char* what, const std::string& command) {
    std::fprintf(stderr, "fuzz: %s: %s\n", what, command.c_str());
    std::abort();
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string upper(std::string s) {
    for (char& c : s) c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    return s;
}

// Checks one `copy "A" "B" /Y` that the program ran.
void checkCommand(const std::string& command, const std::string& root) {
    const std::string head = "copy \"";
    if (!startsWith(command, head)) fail("not a copy command", command);
    size_t endFrom = command.find('"', head.size());
    size_t startTo = command.find('"', endFrom + 1);
    size_t endTo = command.find('"', startTo + 1);
    if (endTo == std::string::npos || command.substr(endTo) != "\" /Y" || command.substr(endFrom, 3) != "\" \"")
        fail("copy command of another shape", command);
    std::string from = command.substr(head.size(), endFrom - head.size());
    std::string to = command.substr(startTo + 1, endTo - startTo - 1);

    // A ".bak" copy goes from a live hive to its name with ".bak"; any other copy puts a
    // saved file over a live hive, whose own name may end in ".bak" too.
    const bool bakName = to.size() > 4 && upper(to.substr(to.size() - 4)) == ".BAK";
    const bool bak = bakName && upper(from) == upper(to.substr(0, to.size() - 4));
    std::string hive = bak ? to.substr(0, to.size() - 4) : to;
    if (!hivepath::isHiveOfInstallation(hive.c_str(), root.c_str())) fail("target outside the installation", command);
    if (!bak) {
        if (!startsWith(upper(from), kFolder)) fail("source outside the backup folder", command);
        if (!hivepath::isInsideBackupFolder(from.c_str() + sizeof kFolder - 1)) fail("source leaves the folder", command);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::reset();
    survin::resetState();
    // The first byte picks the answers: keep or skip the .bak copies, and whether the
    // Windows root is changed to another drive first.
    uint8_t mode = size ? data[0] : 0;
    std::string ini(reinterpret_cast<const char*>(data) + (size ? 1 : 0), size ? size - 1 : 0);

    sim::addFile("C:\\BK\\SURVIN.INI", ini);
    for (const char* saved : {"software", "system", "Users\\1\\NTUSER.DAT", "sam"})
        sim::addFile(std::string(kFolder) + saved, std::string("regf saved ") + saved);
    sim::addFile("C:\\BK\\empty", "");
    for (const char* drive : {"C", "D"}) {
        for (const char* live : {"\\WINDOWS\\system32\\config\\software", "\\WINDOWS\\system32\\config\\system",
                                 "\\DOCUME~1\\Alice\\NTUSER.DAT", "\\Users\\Bob\\NTUSER.DAT"})
            sim::addFile(std::string(drive) + ":" + live, std::string("regf live ") + live);
    }
    sim::addFile("C:\\DOCS\\THESIS.DOC", "my thesis");
    sim::addFile("C:\\AUTOEXEC.BAT", "rem");

    if (mode & 2) {
        sim::pressExtended(0x3C);  // F2: the root on D:
        sim::typeText(std::string(20, '\b') + "D:\\WINDOWS\r");
    }
    sim::typeText("\r");
    sim::typeText((mode & 1) ? "n" : "y");
    sim::typeText(std::string(64, 'y'));
    sim::runSurvin();

    if (sim::fileBytes("C:\\DOCS\\THESIS.DOC") != "my thesis") fail("the thesis changed", "");
    if (sim::fileBytes("C:\\AUTOEXEC.BAT") != "rem") fail("AUTOEXEC.BAT changed", "");
    std::string root = survin::szRoot;
    while (root.size() > 3 && root.back() == '\\') root.pop_back();
    for (const std::string& command : sim::commands()) checkCommand(command, root);
    return 0;
}
