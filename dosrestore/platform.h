// The few machine services the DOS restore program needs. platform_dos.cpp provides them
// through BIOS and DOS calls, each through intcall (intcall.h); the host tests provide a
// simulated screen, keyboard, disk and command interpreter. Nothing above this layer
// touches the hardware.
#pragma once
#include <stdint.h>

namespace dosplat {

const int kScreenCols = 80;
const int kScreenRows = 25;

// Text screen, 1-based columns and rows. A cell is a character and an attribute byte.
void putCell(int x, int y, char ch, uint8_t attr);
char cellChar(int x, int y);
uint8_t cellAttr(int x, int y);
// Moves every row up by one and blanks the last row in attr.
void scrollUp(uint8_t attr);
void setCursor(int x, int y);
void getCursor(int* x, int* y);
void showCursor(bool visible);

// One byte of keyboard input as DOS gives it: an extended key arrives as 0, then its
// scan code on the next call.
int readKeyByte();

// Files, read only. open returns a handle >= 0 or -1.
int openFile(const char* path);
// Bytes read, 0 at the end, -1 on error.
int readFile(int handle, char* buffer, int cb);
void closeFile(int handle);
// True when path opens a character device rather than a file: DOS opens the device of an
// installed driver for its name in any folder and with any extension (CON, a driver's
// own name ...), and a copy to or from it would write to the device or wait on it.
bool isDevice(const char* path);

// Directory search for one path with the given DOS attribute mask. True when an entry is
// found; its size goes to *size.
const uint8_t kAttrHidden = 0x02;
const uint8_t kAttrSystem = 0x04;
const uint8_t kAttrDirectory = 0x10;
bool findEntry(const char* path, uint8_t attrMask, uint32_t* size);

// Copies the value of an environment variable; false when it is not set or does not fit.
bool getEnv(const char* name, char* out, int cch);

// Runs program with the DOS command tail (without the length byte and the CR) and waits.
// Returns 0 when the program ran, else a DOS error number (2 not found, 8 no memory ...)
// or kErrTooLong for a tail longer than a DOS command line.
const int kErrTooLong = 20;
int execProgram(const char* program, const char* tail);

[[noreturn]] void exitProgram(int code);

}  // namespace dosplat
