// The DOS-mode restore program: reads SURVIN.INI beside itself, shows the backup, lets the
// user change the Windows root and the hive groups, and copies the saved hives over the
// live ones through the command interpreter's copy command.
#pragma once
#include <stdint.h>

namespace survin {

// Hive groups, the category bits of SURVIN.INI.
const uint32_t kHiveSystem = 1;
const uint32_t kHiveUser = 2;
const uint32_t kHiveOthers = 4;

const int kCchLine = 512;   // a SURVIN.INI line and its terminator
const int kCchValue = 256;  // OSString, SysRoot, DateTime, hive and saved paths
const int kCchPath = 512;   // paths put together from two values

// Screen colours (background * 16 + foreground).
const uint8_t kAttrTitle = 0x74;
const uint8_t kAttrInfo = 0x1E;
const uint8_t kAttrWork = 0x1F;
const uint8_t kAttrStatus = 0x70;
const uint8_t kAttrStatusKey = 0x74;
const uint8_t kAttrField = 0x70;
const uint8_t kAttrProgress = 0x55;

// SURVIN.INI while it is read: a DOS handle and a read-ahead buffer.
struct TextFile {
    int handle;
    char buffer[256];
    int pos;
    int len;
};

// Program-wide state.
extern int16_t bBackup;
extern uint32_t dwHives;
extern uint32_t dwHivesSel;
extern int16_t nTotHivesSys, nTotHivesUsr, nTotHivesOth;
extern TextFile hfile;
extern char szline[kCchLine];
extern char szOs[kCchValue], szRoot[kCchValue], szTime[kCchValue];
extern char szAppDir[kCchValue];
extern char szTmp[kCchPath];

// Puts the program-wide state back to its start values.
void resetState();

int main(int argc, char** argv);
void ParseIni_1();
void PrintInfo();
void clear();
void ClearMsg();
void PrintStatusBar(const char* text);
int EditBox(char* result, int cchResult, int x, int y, int width, const char* initial);
void SelectOsRoot();
uint32_t SelectHivesFromUser();
int MsgYesNo(const char* question);
void Start();
int Restore(const char* hivePath, const char* savedPath);
void DrawProgress(int done, int total);
bool PathFileExists(const char* path);
bool PathIsDirectory(const char* path);

// Opens a text file for readLine; false when it cannot be opened.
bool openText(TextFile& file, const char* path);
// Reads one line without its CR/LF; the part beyond cch - 1 characters is dropped.
// False at the end of the file.
bool readLine(TextFile& file, char* line, int cch);
void closeText(TextFile& file);

// Runs a command line through the interpreter named by COMSPEC ("/C" and the command).
// Returns 0 when the interpreter ran, else an error number for errorText.
int runCommand(const char* command);
// The runtime's text for an error number of runCommand or of the checks around a copy.
const char* errorText(int error);

const int kErrNotFound = 2;
const int kErrAccess = 5;
const int kErrNoMemory = 8;
const int kErrBadFormat = 11;
const int kErrBadName = 19;  // a name that DOS cannot hold, or one the copy command would misread
const int kErrTooLong = 20;  // the command does not fit a DOS command line
const int kErrSize = 100;    // the copied file does not have the saved file's size or bytes
const int kErrEmpty = 101;   // the saved hive file is empty
const int kErrBrokenHive = 102;  // the saved file begins like a hive, but its base block is damaged
const int kErrDevice = 103;      // the path opens a device, not a file

}  // namespace survin
