// SURVIN.INI as the DOS program reads it: line by line, through the shared schema's line
// classifier. The information pass takes its keys from any section; the restore pass
// walks the hive entries (survinini::LineDataWalk).
#pragma once
#include "survin_dos.h"

namespace survin {

// Opens a text file for readLine; false when it cannot be opened.
bool openText(TextFile& file, const char* path);
// Reads one line without its LF; the part beyond cch - 1 characters is dropped.
// False at the end of the file.
bool readLine(TextFile& file, char* line, int cch);
void closeText(TextFile& file);

// Opens szAppDir + SURVIN.INI into state.hfile, or ends the program saying so.
void openIniOrExit(State& state);

// The lines of the open SURVIN.INI for the schema's walks, each read into state.szline.
struct IniLines {
    State& state;
    char* operator()();
};

using DataWalk = survinini::LineDataWalk<char, IniLines, kCchValue>;

// The information pass: OSString, SysRoot, DateTime and every Category line, wherever
// they stand. Ends the program when the file cannot be opened or holds no category.
void ParseIni_1(State& state);

}  // namespace survin
