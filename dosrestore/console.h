// The text console the DOS restore program draws with: a current colour, text written at
// the cursor with CR/LF handling, wrapping and scrolling, and keys with their extended
// prefix folded in. Built on the platform layer; the cursor is the platform's, so text
// that a child program writes (the copy command) moves it too.
#pragma once
#include <stdint.h>

namespace con {

// Keys as readKey returns them: plain bytes as they are, extended keys as 0x100 + scan code.
const int kKeyBackspace = 8;
const int kKeyEnter = 13;
const int kKeyEsc = 27;
const int kKeyF2 = 0x100 + 0x3C;
const int kKeyF3 = 0x100 + 0x3D;
const int kKeyLeft = 0x100 + 0x4B;
const int kKeyRight = 0x100 + 0x4D;
const int kKeyDelete = 0x100 + 0x53;

void setAttr(uint8_t attr);
uint8_t attr();
void gotoXY(int x, int y);
int whereX();
int whereY();
// Clears the whole screen in the current colour; cursor to 1,1.
void clearScreen();
// Blanks from the cursor to the end of its row; the cursor stays.
void clearToEol();
void putChar(char c);
void puts(const char* s);
void printf(const char* fmt, ...);
// Normal (underline) or hidden cursor.
void cursorNormal();
void cursorHidden();
char charAt(int x, int y);
int readKey();

}  // namespace con
