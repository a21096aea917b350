#include "copy_checks.h"

#include "../common/regf.h"
#include "survin_dos.h"
#include "text.h"

namespace survin {

namespace {

const char kCopyFormat[] = "copy \"%s\" \"%s\" /Y";
// A DOS command tail holds 126 characters after its length byte, before the CR.
const int kCchCommandTail = 127;
// Bytes compared at a time; two such buffers stand on the stack.
const int kCbCompare = 512;

bool fileSize(const char* path, uint32_t* size) {
    // Hidden and system files too: the copy may have gone over such a file.
    return dosplat::findEntry(path, dosplat::kAttrHidden | dosplat::kAttrSystem, size);
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
    char bufferA[kCbCompare], bufferB[kCbCompare];
    bool same = true;
    for (;;) {
        int na = readFully(a, bufferA, sizeof bufferA);
        int nb = readFully(b, bufferB, sizeof bufferB);
        if (na < 0 || nb < 0 || na != nb) {
            same = false;
            break;
        }
        if (na == 0) break;
        for (int i = 0; i < na; ++i) {
            if (bufferA[i] != bufferB[i]) same = false;
        }
        if (!same) break;
    }
    dosplat::closeFile(b);
    dosplat::closeFile(a);
    return same;
}

}  // namespace

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
    return dosplat::findEntry(path, dosplat::kAttrDirectory, &size);
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

int checkCopyPath(const char* path) {
    if (hasCommandSyntax(path)) return kErrBadName;
    if (dosplat::isDevice(path)) return kErrDevice;
    return 0;
}

// DOS cannot load a hive to see whether it is one; what it can see is the saved file alone.
int checkSavedFile(const char* saved) {
    uint32_t size = 0;
    if (!fileSize(saved, &size) || size == 0) return kErrEmpty;
    int handle = dosplat::openFile(saved);
    if (handle < 0) return kErrNotFound;
    unsigned char head[regf::kCbHead];
    int n = readFully(handle, reinterpret_cast<char*>(head), sizeof head);
    dosplat::closeFile(handle);
    if (n < 0) return kErrAccess;
    if (regf::checkBaseBlock(head, n, size) == regf::Verdict::Broken) return kErrBrokenHive;
    return 0;
}

// A copy whose data the disk garbled would pass for a restore: the target must end up
// with the source's size and bytes.
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
    if (!fileSize(from, &sizeFrom) || !fileSize(to, &sizeTo) || sizeFrom != sizeTo || !sameContents(from, to)) {
        return kErrSize;
    }
    return 0;
}

}  // namespace survin
