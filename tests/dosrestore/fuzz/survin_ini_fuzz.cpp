// Fuzz target: the DOS restore program reads an arbitrary SURVIN.INI and runs a restore on
// the simulated machine of the host tests, answering every question with yes. Besides the
// sanitizers' faults, a crash is any copy command that writes where a restore never may:
// every target must be a file that some Type lets receive a hive (a file directly inside a
// config folder, an NTUSER.DAT or a UsrClass.dat) on the Windows root's drive (or its
// ".bak" beside it), every source a file inside the backup folder (or the live hive itself,
// for its ".bak"), never a saved file whose base block is damaged; no path holds
// characters an interpreter expands or names a device; and nothing is read from a device.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../../../common/hive_path.h"
#include "../../../common/survin_ini.h"
#include "sim_platform.h"
#include "survin_dos.h"

namespace {

const char kFolder[] = "C:\\BK\\";
const char kDevice[] = "HIVEDRV";  // an installed driver's name
const char kDamaged[] = "damaged";  // a saved file that begins like a hive, its base block cut off

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

// True when some Type lets the file at hive receive a saved hive.
bool isSomeHiveTarget(const std::string& hive) {
    std::string file = hive.substr(hive.rfind('\\') + 1);
    for (const std::string& type : {"MACHINE\\" + file, std::string("USERS\\.DEFAULT"), std::string("USERS\\S-1-5-21-1"),
                                    std::string("USERS\\S-1-5-21-1_Classes")}) {
        if (hivepath::isHiveTargetOfType(hive.c_str(), type.c_str())) return true;
    }
    return false;
}

bool namesDevice(const std::string& path) {
    std::string name = upper(path.substr(path.rfind('\\') + 1));
    return name.substr(0, name.find('.')) == kDevice;
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
    if (!isSomeHiveTarget(hive)) fail("target that no Type allows", command);
    if (root.empty() || upper(hive.substr(0, 1)) != upper(root.substr(0, 1))) fail("target on another drive", command);
    if (command.find_first_of("%^&") != std::string::npos) fail("characters an interpreter expands", command);
    if (namesDevice(from) || namesDevice(to)) fail("a device in a copy command", command);
    if (!bak) {
        if (!startsWith(upper(from), kFolder)) fail("source outside the backup folder", command);
        if (!survinini::isInsideBackupFolder(from.c_str() + sizeof kFolder - 1)) fail("source leaves the folder", command);
        if (upper(from) == upper(std::string(kFolder) + kDamaged)) fail("a damaged saved hive copied", command);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::reset();
    survin::resetState(sim::state());
    // The first byte picks the answers: keep or skip the .bak copies, and whether the
    // Windows root is changed to another drive first.
    uint8_t mode = size ? data[0] : 0;
    std::string ini(reinterpret_cast<const char*>(data) + (size ? 1 : 0), size ? size - 1 : 0);

    sim::addFile("C:\\BK\\SURVIN.INI", ini);
    for (const char* saved : {"software", "system", "Users\\1\\NTUSER.DAT", "sam"})
        sim::addFile(std::string(kFolder) + saved, std::string("saved ") + saved);
    sim::addFile("C:\\BK\\empty", "");
    sim::addFile(std::string(kFolder) + kDamaged, "regf" + std::string(600, '\x01'));
    sim::machine().devices.insert(kDevice);
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
    try {
        sim::runSurvin();
    } catch (const sim::ReadFromDevice&) {
        fail("read from a device", "");
    }

    if (sim::fileBytes("C:\\DOCS\\THESIS.DOC") != "my thesis") fail("the thesis changed", "");
    if (sim::fileBytes("C:\\AUTOEXEC.BAT") != "rem") fail("AUTOEXEC.BAT changed", "");
    std::string root = sim::state().szRoot;
    while (root.size() > 3 && root.back() == '\\') root.pop_back();
    for (const std::string& command : sim::commands()) checkCommand(command, root);
    return 0;
}
