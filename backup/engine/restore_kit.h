// The restore kit beside the hives: SURVIN.WRC, SURVIN.EXE, SURVIN64.EXE and the help file.
#pragma once

#include <string>

#include "backup_run.h"
#include "handles.h"

// SURVIN.WRC, the console copy script; called by the restore information writer.
void writeConsoleScript(const BackupRun& backup);
// SURVIN.EXE and SURVIN64.EXE from the run's carried restore programs, and Tolmen.chm from
// the program's folder. True when SURVIN.EXE was written; a missing SURVIN64.EXE or help file
// is not a failure.
bool placeRestoreProgramAndHelp(const BackupRun& backup);

// Whether the restore program, which takes its folder as ANSI text, can name the folder:
// by its path, or else by its short (8.3) form.
bool restoreProgramCanOpen(const std::wstring& folder);

// Makes the SURVIN.EXE of a backup folder the restore program this program carries as the
// resource `restoreProgram` (writing the carried copy in its place when they differ) and returns it opened so that
// it cannot change until the handle is closed. Invalid when that could not be done: then
// the file must not be started.
FileHandle holdCarriedRestoreProgram(const std::wstring& folder, WORD restoreProgram);
