// The restore kit beside the hives: SURVIN.WRC, SURVIN.EXE and the help file.
#pragma once

#include "backup_run.h"

// SURVIN.WRC, the console copy script; called by the restore information writer.
void writeConsoleScript(const BackupRun& backup);
// SURVIN.EXE from the embedded restore program, and Tolmen.chm from the program's
// folder. Failures are silent.
void placeRestoreProgramAndHelp(const BackupRun& backup);
