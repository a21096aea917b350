#include "survin_dos.h"

#include "../common/hive_path.h"
#include "../common/regf.h"
#include "console.h"
#include "platform.h"
#include "text.h"

namespace survin {

int16_t bBackup;
uint32_t dwHives;
uint32_t dwHivesSel;
int16_t nTotHivesSys, nTotHivesUsr, nTotHivesOth;
TextFile hfile;
char szline[kCchLine];
char szOs[kCchValue], szRoot[kCchValue], szTime[kCchValue];
char szAppDir[kCchValue];
char szTmp[kCchPath];

namespace {

const char kIniName[] = "SURVIN.INI";
const char kCopyFormat[] = "copy \"%s\" \"%s\" /Y";
// A DOS command tail holds 126 characters after its length byte, before the CR.
const int kCchCommandTail = 127;

const char kNextHiveQuestion[] = "Do you want to continue with the next hive? (Y/N):";

// The colour the screen had when the program started; put back at every end.
uint8_t g_startAttr = 0x07;

// Ends the program at once, leaving its last text on the screen to be read, but in the
// colour the screen had before, with the normal cursor below that text and the status bar
// (whose keys no longer work) blanked.
[[noreturn]] void quitAtOnce() {
    int y = con::whereX() > 1 ? con::whereY() + 1 : con::whereY();
    if (y > dosplat::kScreenRows - 1) y = dosplat::kScreenRows - 1;
    for (int row = 1; row <= dosplat::kScreenRows; ++row) {
        for (int x = 1; x <= dosplat::kScreenCols; ++x) {
            dosplat::putCell(x, row, row == dosplat::kScreenRows ? ' ' : dosplat::cellChar(x, row), g_startAttr);
        }
    }
    con::setAttr(g_startAttr);
    con::cursorNormal();
    con::gotoXY(1, y);
    dosplat::exitProgram(0);
}

// The value of a "key=value" line: one character past the key. A line that ends
// inside that gives an empty value rather than a read past its end.
const char* valueAfter(const char* line, const char* key) {
    int n = text::length(key);
    return text::length(line) > n ? line + n + 1 : "";
}

void cutAtLineEnd(char* line) {
    for (char* p = line; *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            *p = 0;
            return;
        }
    }
}

void openIniOrExit() {
    text::copy(szTmp, szAppDir, sizeof szTmp);
    text::append(szTmp, kIniName, sizeof szTmp);
    if (!openText(hfile, szTmp)) {
        con::printf("Error opening %s file\r\n", szTmp);
        quitAtOnce();
    }
}

// Blanks rows first..last in the current colour; the cursor goes to column 1 of first.
void blankRows(int first, int last) {
    for (int y = first; y <= last; ++y) {
        con::gotoXY(1, y);
        con::clearToEol();
    }
    con::gotoXY(1, first);
}

void showErrorLine(const char* what, int error) {
    con::printf("%s: %s\r\n", what, errorText(error));
}

bool fileSize(const char* path, uint32_t* size) {
    // Hidden and system files too: the copy may have gone over such a file.
    return dosplat::findEntry(path, 0x02 | 0x04, size);
}

// True when path holds a character that an interpreter reads as syntax even inside quotes
// (a quote, redirection, a pipe; "%" variables, "^" escapes and "&" command separators in
// the interpreters that have them), that copy reads as joining files ("+"), or a
// wildcard. Each would make the copy command do something else than copy this one file.
bool hasCommandSyntax(const char* path) {
    for (const char* p = path; *p; ++p) {
        char c = *p;
        if (c == '"' || c == '<' || c == '>' || c == '|' || c == '+' || c == '*' || c == '?' || c == '%' ||
            c == '^' || c == '&') {
            return true;
        }
    }
    return false;
}

// 0 when path may stand in a copy command, else why not.
int checkCopyPath(const char* path) {
    if (hasCommandSyntax(path)) return kErrBadName;
    if (dosplat::isDevice(path)) return kErrDevice;
    return 0;
}

// Buffers of the content comparison, kept out of the small stack.
char g_bufferA[512], g_bufferB[512];

// Reads up to cb bytes, as many as the file has; -1 on a read error.
int readFully(int handle, char* buffer, int cb) {
    int total = 0;
    while (total < cb) {
        int n = dosplat::readFile(handle, buffer + total, cb - total);
        if (n < 0) return -1;
        if (n == 0) break;
        total += n;
    }
    return total;
}

// True when both files can be read and hold the same bytes.
bool sameContents(const char* pathA, const char* pathB) {
    int a = dosplat::openFile(pathA);
    if (a < 0) return false;
    int b = dosplat::openFile(pathB);
    if (b < 0) {
        dosplat::closeFile(a);
        return false;
    }
    bool same = true;
    for (;;) {
        int na = readFully(a, g_bufferA, sizeof g_bufferA);
        int nb = readFully(b, g_bufferB, sizeof g_bufferB);
        if (na < 0 || nb < 0 || na != nb) {
            same = false;
            break;
        }
        if (na == 0) break;
        for (int i = 0; i < na; ++i) {
            if (g_bufferA[i] != g_bufferB[i]) same = false;
        }
        if (!same) break;
    }
    dosplat::closeFile(b);
    dosplat::closeFile(a);
    return same;
}

// Runs one copy command and requires the target to end up with the source's size and
// bytes, since the interpreter does not tell whether the copy worked, and a copy whose
// data the disk garbled would pass for a restore.
int runCopy(const char* from, const char* to) {
    if (int error = checkCopyPath(from)) return error;
    if (int error = checkCopyPath(to)) return error;
    char command[kCchPath * 2];
    // Paths that do not fit a command line are refused rather than cut.
    if (text::length(from) + text::length(to) + 12 >= int(sizeof command)) return kErrTooLong;
    text::format(command, sizeof command, kCopyFormat, from, to);
    int error = runCommand(command);
    if (error) return error;
    uint32_t sizeFrom = 0, sizeTo = 0;
    if (!fileSize(from, &sizeFrom) || !fileSize(to, &sizeTo) || sizeFrom != sizeTo ||
        !sameContents(from, to)) {
        return kErrSize;
    }
    return 0;
}

// DOS cannot load a hive to see whether it is one; what it can see is the saved file alone.
// It is never empty, and when it begins like a Windows hive ("regf"), its base block must
// be whole and sound. The live file is not judged: a damaged or emptied live hive is the
// usual reason to restore.
int checkSavedFile(const char* saved) {
    uint32_t size = 0;
    if (!fileSize(saved, &size) || size == 0) return kErrEmpty;
    int handle = dosplat::openFile(saved);
    if (handle < 0) return kErrNotFound;
    int n = readFully(handle, g_bufferA, regf::kCbHead);
    dosplat::closeFile(handle);
    if (n < 0) return kErrAccess;
    if (regf::checkBaseBlock(reinterpret_cast<const unsigned char*>(g_bufferA), n, size) == regf::Verdict::Broken)
        return kErrBrokenHive;
    return 0;
}

// Reads SURVIN.INI (open in hfile) on to the next hive the run restores: a Type, a Saved
// value, then a Hive, then a Category with a bit of dwHivesSel. The buffers hold kCchValue
// characters. False at the end of the file.
bool nextSelectedHive(char* type, char* saved, char* hive) {
    type[0] = saved[0] = hive[0] = 0;
    while (readLine(hfile, szline, sizeof szline)) {
        cutAtLineEnd(szline);
        if (text::startsWithNoCase(szline, "[DATA")) {
            type[0] = saved[0] = hive[0] = 0;
        } else if (text::startsWithNoCase(szline, "Type")) {
            text::copy(type, valueAfter(szline, "Type"), kCchValue);
        } else if (text::startsWithNoCase(szline, "Hive")) {
            text::copy(hive, valueAfter(szline, "Hive"), kCchValue);
        } else if (text::startsWithNoCase(szline, "Saved")) {
            text::copy(saved, valueAfter(szline, "Saved"), kCchValue);
            hive[0] = 0;
        } else if (text::startsWithNoCase(szline, "Category")) {
            uint32_t category = uint32_t(text::toNumber(valueAfter(szline, "Category")));
            if ((category & dwHivesSel) && hive[0] && saved[0]) return true;
        }
    }
    return false;
}

// A backup folder can come from anywhere, so an entry's own values decide whether it may
// be restored at all: its saved file must lie inside the backup folder, and its live path
// (after the drive-letter rule) must name a file of the kind its Type says. Returns the
// value that refuses the entry, or nullptr.
const char* refusedValue(const char* type, const char* hive, const char* saved) {
    if (!hivepath::isInsideBackupFolder(saved)) return saved;
    if (type[0] && hivepath::hiveKindOfType(type) == hivepath::HiveKind::Invalid) return type;
    if (!hivepath::isHiveTargetOfType(hive, type)) return hive;
    return nullptr;
}

// True when the last part of path is a DOS file name: 1-8 characters, optionally a dot
// and 1-3 more. A ".bak" appended to a name with an extension is none, and DOS would
// refuse it or cut it back to the live file's own name.
bool hasDosFileName(const char* path) {
    const char* name = path + text::lastIndexOf(path, '\\') + 1;
    int base = 0, ext = -1;
    for (const char* p = name; *p; ++p) {
        if (*p == '.') {
            if (ext >= 0) return false;
            ext = 0;
        } else if (ext >= 0) {
            ++ext;
        } else {
            ++base;
        }
    }
    return base >= 1 && base <= 8 && ext != 0 && ext <= 3;
}

}  // namespace

void resetState() {
    bBackup = 1;
    dwHives = dwHivesSel = 0;
    nTotHivesSys = nTotHivesUsr = nTotHivesOth = 0;
    hfile.handle = -1;
    hfile.pos = hfile.len = 0;
    szline[0] = szOs[0] = szRoot[0] = szTime[0] = szAppDir[0] = szTmp[0] = 0;
}

bool openText(TextFile& file, const char* path) {
    file.handle = dosplat::openFile(path);
    file.pos = file.len = 0;
    return file.handle >= 0;
}

bool readLine(TextFile& file, char* line, int cch) {
    int n = 0;
    bool any = false;
    for (;;) {
        if (file.pos >= file.len) {
            file.len = file.handle >= 0 ? dosplat::readFile(file.handle, file.buffer,
                                                            sizeof file.buffer)
                                        : 0;
            file.pos = 0;
            if (file.len <= 0) {
                file.len = 0;
                break;
            }
        }
        char c = file.buffer[file.pos++];
        any = true;
        if (c == '\n') break;
        if (n < cch - 1) line[n++] = c;
    }
    line[n] = 0;
    return any;
}

void closeText(TextFile& file) {
    if (file.handle >= 0) dosplat::closeFile(file.handle);
    file.handle = -1;
    file.pos = file.len = 0;
}

int runCommand(const char* command) {
    char comspec[kCchValue];
    if (!dosplat::getEnv("COMSPEC", comspec, sizeof comspec)) return kErrNotFound;
    char tail[kCchCommandTail + 1];
    if (text::length(command) + 3 > kCchCommandTail - 1) return kErrTooLong;
    text::copy(tail, "/C ", sizeof tail);
    text::append(tail, command, sizeof tail);
    return dosplat::execProgram(comspec, tail);
}

const char* errorText(int error) {
    switch (error) {
    case kErrNotFound:
    case 3:
        return "No such file or directory";
    case kErrAccess:
        return "Permission denied";
    case kErrNoMemory:
        return "Not enough memory";
    case kErrBadFormat:
        return "Exec format error";
    case kErrTooLong:
        return "Arg list too big";
    case kErrBadName:
        return "Invalid file name";
    case kErrSize:
        return "Copied file does not match its source";
    case kErrEmpty:
        return "Saved hive is empty";
    case kErrBrokenHive:
        return "Saved hive is damaged";
    case kErrDevice:
        return "File name is a device";
    default:
        return "Unknown error";
    }
}

bool PathFileExists(const char* path) {
    uint32_t size;
    return dosplat::findEntry(path, 0, &size);
}

bool PathIsDirectory(const char* path) {
    uint32_t size;
    return dosplat::findEntry(path, 0x10, &size);
}

void clear() {
    con::setAttr(kAttrWork);
    blankRows(10, 24);
}

void ClearMsg() { blankRows(13, 16); }

void PrintStatusBar(const char* text) {
    uint8_t attr = con::attr();
    con::setAttr(kAttrStatus);
    con::gotoXY(1, 25);
    con::clearToEol();
    con::gotoXY(2, 25);
    if (text) {
        // Kept within the row: a character in its last cell would scroll the screen.
        char cut[dosplat::kScreenCols - 1];
        text::copy(cut, text, sizeof cut);
        con::puts(cut);
    } else {
        static const char* const kPairs[][2] = {
            {"F2", "Change Root"},
            {"F3", "Change Hives"},
            {"Esc", "Quit"},
            {"Enter", "Start Restoration"},
        };
        for (const auto& pair : kPairs) {
            con::setAttr(kAttrStatusKey);
            con::printf("%s ", pair[0]);
            con::setAttr(kAttrStatus);
            con::printf("%s  ", pair[1]);
        }
    }
    con::setAttr(attr);
    con::gotoXY(1, 10);
}

void PrintInfo() {
    con::setAttr(kAttrInfo);
    blankRows(2, 9);
    con::puts("\r\nTolmen Info:\r\n\r\n");
    con::printf("%20s = %s\r\n", "OS", szOs);
    con::printf("%20s = %s\r\n", "Windows Root", szRoot);
    con::printf("%20s = %s\r\n", "Date & Time", szTime);
    con::printf("%20s = ", "Hives Selected");
    char names[32] = "";
    if (dwHivesSel & kHiveSystem) text::append(names, "System, ", sizeof names);
    if (dwHivesSel & kHiveUser) text::append(names, "User, ", sizeof names);
    if (dwHivesSel & kHiveOthers) text::append(names, "Others, ", sizeof names);
    int n = text::length(names);
    if (n >= 2) names[n - 2] = 0;
    con::printf("%s\r\n", names);
    con::gotoXY(1, 10);
}

int EditBox(char* result, int cchResult, int x, int y, int width, const char* initial) {
    int savedX = con::whereX(), savedY = con::whereY();
    uint8_t attr = con::attr();
    con::cursorNormal();
    PrintStatusBar("Press Enter key to finish the string input");

    con::setAttr(kAttrField);
    con::gotoXY(x, y);
    for (int i = 0; i < width; ++i) con::putChar(' ');
    con::gotoXY(x, y);
    for (const char* p = initial; *p; ++p) con::putChar(*p);

    const int lastColumn = x + width - 1;
    int key;
    for (;;) {
        key = con::readKey();
        if (key == con::kKeyEnter || key == con::kKeyEsc) break;
        if (key == con::kKeyBackspace || key == con::kKeyLeft) {
            int cx = con::whereX(), cy = con::whereY();
            if (cx > x) {
                con::gotoXY(cx - 1, cy);
                con::putChar(' ');
                con::gotoXY(cx - 1, cy);
            }
        } else if (key >= 32 && key <= 126) {
            if (con::whereX() < lastColumn) con::putChar(char(key));
        }
    }

    if (key == con::kKeyEnter) {
        // What the field shows, up to the first blank, without its last cell.
        int n = 0;
        for (int cx = x; cx < lastColumn && cx <= dosplat::kScreenCols && n < cchResult - 1;
             ++cx) {
            char c = con::charAt(cx, y);
            if (c == ' ') break;
            result[n++] = c;
        }
        result[n] = 0;
    } else {
        text::copy(result, initial, cchResult);
    }

    PrintStatusBar(nullptr);
    con::setAttr(attr);
    con::gotoXY(savedX, savedY);
    return 1;
}

void SelectOsRoot() {
    int x = con::whereX(), y = con::whereY();
    clear();
    for (;;) {
        con::gotoXY(x, y);
        con::puts("Enter Windows root :");
        char input[kCchValue];
        EditBox(input, sizeof input, con::whereX(), con::whereY(), 20, szRoot);
        con::setAttr(kAttrWork);
        if (input[0] && PathIsDirectory(input)) {
            text::copy(szRoot, input, sizeof szRoot);
            con::gotoXY(x, y);
            return;
        }
        con::gotoXY(x, y + 1);
        con::clearToEol();
        con::puts("Path does not exist or invalid.");
    }
}

uint32_t SelectHivesFromUser() {
    int x = con::whereX(), y = con::whereY();
    con::cursorNormal();
    clear();
    for (;;) {
        con::puts("Enter the hives to restore :");
        if (dwHives & kHiveSystem) con::puts("(S)ystem ");
        if (dwHives & kHiveUser) con::puts("(U)ser ");
        if (dwHives & kHiveOthers) con::puts("(O)thers ");

        char initial[4] = "";
        if (dwHivesSel & kHiveSystem) text::append(initial, "S", sizeof initial);
        if (dwHivesSel & kHiveUser) text::append(initial, "U", sizeof initial);
        if (dwHivesSel & kHiveOthers) text::append(initial, "O", sizeof initial);
        char input[kCchValue];
        EditBox(input, sizeof input, con::whereX() + 2, con::whereY(), 20, initial);

        uint32_t mask = 0;
        for (const char* p = input; *p; ++p) {
            char c = text::toLower(*p);
            if (c == 's' && (dwHives & kHiveSystem)) mask |= kHiveSystem;
            if (c == 'u' && (dwHives & kHiveUser)) mask |= kHiveUser;
            if (c == 'o' && (dwHives & kHiveOthers)) mask |= kHiveOthers;
        }
        if (mask) {
            con::gotoXY(x, y);
            return mask;
        }
        con::puts("\r\nNo hives selected. Do you want to exit (Y/N)?");
        int key = con::readKey();
        if (key == 'y' || key == 'Y' || key == con::kKeyEsc) quitAtOnce();
        clear();
        con::puts("\r\nPlease selected at least one hive\r\n");
    }
}

int MsgYesNo(const char* question) {
    int x = con::whereX(), y = con::whereY();
    con::setAttr(kAttrInfo);
    blankRows(17, 18);
    con::puts(question);
    con::cursorNormal();
    int answer = -1;
    while (answer < 0) {
        int key = con::readKey();
        if (key == 'n' || key == 'N' || key == con::kKeyEsc) answer = 0;
        if (key == 'y' || key == 'Y' || key == con::kKeyEnter) answer = 1;
    }
    con::cursorHidden();
    con::setAttr(kAttrWork);
    blankRows(17, 18);
    con::gotoXY(x, y);
    return answer;
}

void DrawProgress(int done, int total) {
    int x = con::whereX(), y = con::whereY();
    // A backup whose categories carry no known group bit gives total 0.
    int32_t n = total > 0 ? int32_t(done) * 60 / total : 0;
    if (n > 60) n = 60;
    if (n < 0) n = 0;
    con::gotoXY(10, 20);
    con::setAttr(kAttrProgress);
    for (int i = 0; i < n; ++i) con::putChar(' ');
    con::setAttr(kAttrWork);
    for (int i = n; i < 60; ++i) con::putChar(char(0xB1));
    con::gotoXY(x, y);
}

int Restore(const char* hivePath, const char* savedPath) {
    con::setAttr(kAttrWork);
    text::copy(szTmp, szAppDir, sizeof szTmp);
    text::append(szTmp, savedPath, sizeof szTmp);
    ClearMsg();

    // A saved path cut by the buffer would name another file: count it as missing.
    if (text::length(szAppDir) + text::length(savedPath) >= int(sizeof szTmp) ||
        !PathFileExists(szTmp)) {
        ClearMsg();
        con::printf("Can't find backup hive: %s", savedPath);
        return MsgYesNo(kNextHiveQuestion);
    }

    char hive[kCchValue];
    text::copy(hive, hivePath, sizeof hive);
    if (szRoot[0]) hive[0] = szRoot[0];

    // Judged before anything is read or copied: a path the copy command would misread or
    // that opens a device (reading one may wait for ever), then a saved file that cannot
    // be a hive. Nothing of the live hive is touched for such an entry.
    int error = checkCopyPath(szTmp);
    if (!error) error = checkCopyPath(hive);
    if (!error) error = checkSavedFile(szTmp);
    if (error) {
        showErrorLine("Unable to restore hive", error);
        return MsgYesNo(kNextHiveQuestion);
    }

    bool backUp = bBackup != 0;
    if (!PathFileExists(hive)) {
        ClearMsg();
        con::printf("Hive to replace not found: %s", hive);
        if (!MsgYesNo("Do you want to continue? (Y/N):")) return 0;
        backUp = false;
    }

    if (backUp) {
        char bak[kCchValue + 4];
        text::copy(bak, hive, sizeof bak);
        text::append(bak, ".bak", sizeof bak);
        ClearMsg();
        // Checked like the restore copy: a backup that was not made must not pass for one.
        error = hasDosFileName(bak) ? runCopy(hive, bak) : kErrBadName;
        if (error) {
            showErrorLine("Unable to backup hive", error);
            if (!MsgYesNo("Do you want to continue? (Y/N):")) return 0;
        }
    }

    error = runCopy(szTmp, hive);
    if (error) {
        showErrorLine("Unable to restore hive", error);
        if (!MsgYesNo(kNextHiveQuestion)) return 0;
    }
    return 1;
}

void Start() {
    openIniOrExit();
    int total = 0;
    if (dwHivesSel & kHiveSystem) total += nTotHivesSys;
    if (dwHivesSel & kHiveUser) total += nTotHivesUsr;
    if (dwHivesSel & kHiveOthers) total += nTotHivesOth;
    int done = 0;
    char type[kCchValue] = "";
    char saved[kCchValue] = "";
    char hive[kCchValue] = "";

    con::gotoXY(1, 10);
    con::puts("Restoring\r\n");
    con::puts("Please wait...");
    DrawProgress(0, total);

    while (nextSelectedHive(type, saved, hive)) {
        text::format(szTmp, sizeof szTmp, "Restoring %s (%d of %d)", saved, done + 1, total);
        PrintStatusBar(szTmp);
        con::setAttr(kAttrWork);
        con::gotoXY(1, 10);
        con::clearToEol();
        con::puts(szTmp);
        // Only the drive letter follows the Windows root; the entry is judged as it would
        // be written.
        if (szRoot[0]) hive[0] = szRoot[0];
        int goOn;
        if (const char* refused = refusedValue(type, hive, saved)) {
            ClearMsg();
            con::printf("Hive information invalid: %s", refused);
            goOn = MsgYesNo(kNextHiveQuestion);
        } else {
            goOn = Restore(hive, saved);
        }
        if (!goOn) break;
        ++done;
        DrawProgress(done, total);
    }
    closeText(hfile);
}

void ParseIni_1() {
    openIniOrExit();
    while (readLine(hfile, szline, sizeof szline)) {
        cutAtLineEnd(szline);
        if (text::startsWithNoCase(szline, "OSString")) {
            text::copy(szOs, valueAfter(szline, "OSString"), sizeof szOs);
        } else if (text::startsWithNoCase(szline, "SysRoot")) {
            text::copy(szRoot, valueAfter(szline, "SysRoot"), sizeof szRoot);
        } else if (text::startsWithNoCase(szline, "DateTime")) {
            text::copy(szTime, valueAfter(szline, "DateTime"), sizeof szTime);
        } else if (text::startsWithNoCase(szline, "Category")) {
            uint32_t category = uint32_t(text::toNumber(valueAfter(szline, "Category")));
            dwHives |= category;
            if (category & kHiveSystem) ++nTotHivesSys;
            if (category & kHiveUser) ++nTotHivesUsr;
            if (category & kHiveOthers) ++nTotHivesOth;
        }
    }
    closeText(hfile);
    if (!dwHives) {
        con::puts("Err getting info. No hives found\r\n");
        quitAtOnce();
    }
    dwHivesSel = dwHives;
}

int main(int argc, char** argv) {
    resetState();
    if (argc > 0 && argv[0]) {
        int cut = text::lastIndexOf(argv[0], '\\');
        if (cut >= 0 && cut + 2 <= int(sizeof szAppDir)) text::copy(szAppDir, argv[0], cut + 2);
    }

    int x, y;
    dosplat::getCursor(&x, &y);
    g_startAttr = dosplat::cellAttr(x, y);
    con::clearScreen();
    con::setAttr(kAttrTitle);
    con::puts("Program to restore registry from backup to your Windows folder");
    con::clearToEol();
    PrintStatusBar(nullptr);
    con::setAttr(kAttrWork);

    ParseIni_1();

    for (bool started = false; !started;) {
        PrintInfo();
        clear();
        con::puts("Press key(s) shown in the statusbar to modify options or\r\n");
        con::puts("Press the Enter key to start restoration\r\n");
        con::cursorHidden();
        for (bool redraw = false; !redraw;) {
            int key = con::readKey();
            if (key == con::kKeyEnter) {
                started = redraw = true;
            } else if (key == con::kKeyEsc) {
                quitAtOnce();
            } else if (key == con::kKeyF3) {
                clear();
                dwHivesSel = SelectHivesFromUser();
                redraw = true;
            } else if (key == con::kKeyF2) {
                clear();
                SelectOsRoot();
                redraw = true;
            }
        }
    }

    clear();
    PrintStatusBar("Press Esc if you want to abort");
    con::cursorNormal();
    con::puts("\r\nDo you want to backup existing hives (Y/N)?");
    for (bool answered = false; !answered;) {
        int key = con::readKey();
        if (key == 'n' || key == 'N') {
            bBackup = 0;
            answered = true;
        } else if (key == con::kKeyEsc) {
            quitAtOnce();
        } else if (key == 'y' || key == 'Y' || key == con::kKeyEnter) {
            answered = true;
        }
    }

    clear();
    con::cursorHidden();
    if (!PathIsDirectory(szRoot)) {
        con::puts("Windows root does not exist or invalid.");
        quitAtOnce();
    }

    Start();

    clear();
    con::puts("Finsihed restoring registry.\r\nPress any key to exit.");
    PrintStatusBar("Finished");
    con::readKey();
    con::setAttr(g_startAttr);
    con::cursorNormal();
    con::clearScreen();
    dosplat::exitProgram(0);
}

}  // namespace survin
