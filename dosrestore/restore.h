// The restore run of the DOS program: every hive entry of SURVIN.INI whose category is
// selected, judged by its own values, then copied over its live file.
#pragma once
#include "survin_dos.h"

namespace survin {

// The whole run, with its progress on row 20 and each hive on row 10 and the status bar.
void Start(State& state);

// Restores one hive: hivePath is the live file as recorded (its drive letter follows the
// Windows root), savedPath relative to the backup folder. Returns 0 to stop the run, 1 to
// go on.
int Restore(const State& state, const char* hivePath, const char* savedPath);

}  // namespace survin
