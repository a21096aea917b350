// The DOS-mode restore program: reads SURVIN.INI beside itself, shows the backup, lets the
// user change the Windows root and the hive groups, and copies the saved hives over the
// live ones through the command interpreter's copy command.
//
// Its modules: ini_file (SURVIN.INI through the shared schema), restore (the run over the
// selected hives), copy_checks (the copy commands and what each must prove), screens (what
// the user sees and answers), console and text (drawing and strings), and the platform
// layer (platform.h; BIOS and DOS through one interrupt call).
#pragma once
#include <stdint.h>

#include "../common/survin_ini.h"

namespace survin {

const int kCchValue = 256;  // OSString, SysRoot, DateTime, hive and saved paths
const int kCchPath = 512;   // paths put together from two values

// SURVIN.INI while it is read: a DOS handle and a read-ahead buffer.
struct TextFile {
    int handle;
    char buffer[256];
    int pos;
    int len;
};

// Everything the program knows and the user chose, one object for the whole run.
struct State {
    int16_t bBackup;      // copy each live hive to its ".bak" before replacing it
    uint32_t dwHives;     // the categories the backup holds, ored
    uint32_t dwHivesSel;  // the categories the user chose to restore
    int16_t nTotHivesSys, nTotHivesUsr, nTotHivesOth;  // Category lines with each bit
    TextFile hfile;                                    // SURVIN.INI while it is read
    char szline[survinini::kCchLine];                  // its current line
    char szOs[kCchValue], szRoot[kCchValue], szTime[kCchValue];
    char szAppDir[kCchValue];  // the program's folder, with its backslash
    uint8_t startAttr;         // the screen's colour before the program started
};

// Puts the state back to its start values.
void resetState(State& state);

// The program; argv[0] is its own path. Ends through the platform's exit, never returns.
int main(State& state, int argc, char** argv);

}  // namespace survin
