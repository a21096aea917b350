// The copies of a DOS restore and what each must prove: a copy command runs only with
// paths that the interpreter cannot misread and that name no device, only for a saved
// file that can be a hive, and counts only when the target ends up with the source's
// size and bytes, since the interpreter does not tell whether it copied.
#pragma once
#include "platform.h"

namespace survin {

const int kErrNotFound = 2;
const int kErrAccess = 5;
const int kErrNoMemory = 8;
const int kErrBadFormat = 11;
const int kErrBadName = 19;  // a name that DOS cannot hold, or one the copy command would misread
const int kErrTooLong = dosplat::kErrTooLong;  // the command does not fit a DOS command line
const int kErrSize = 100;        // the copied file does not have the saved file's size or bytes
const int kErrEmpty = 101;       // the saved hive file is empty
const int kErrBrokenHive = 102;  // the saved file begins like a hive, but its base block is damaged
const int kErrDevice = 103;      // the path opens a device, not a file

// The runtime's text for an error number of the checks and commands here.
const char* errorText(int error);

// True when a directory search finds path as a file with normal attributes (a hidden or
// system file counts as missing).
bool PathFileExists(const char* path);
// The same search with the directory attribute: an existing folder or file, never a bare
// drive root.
bool PathIsDirectory(const char* path);

// Runs a command line through the interpreter named by COMSPEC ("/C" and the command).
// Returns 0 when the interpreter ran, else an error number.
int runCommand(const char* command);

// 0 when path may stand in a copy command, else why not.
int checkCopyPath(const char* path);
// 0 when the saved file can be put in place of a hive: it is not empty, and when it
// begins like a Windows hive its base block is whole and sound. The live file is never
// judged: a damaged or emptied live hive is the usual reason to restore.
int checkSavedFile(const char* saved);
// Copies from over to through the interpreter and checks the result; 0 or an error number.
int runCopy(const char* from, const char* to);

}  // namespace survin
