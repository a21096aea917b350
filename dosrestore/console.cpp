#include "console.h"

#include "platform.h"
#include "text.h"

namespace con {

namespace {
uint8_t g_attr = 0x07;

// Writes one character at the cursor and returns the new cursor position.
void putAt(char c, int& x, int& y) {
    if (c == '\r') {
        x = 1;
        return;
    }
    if (c == '\n') {
        ++y;
    } else if (c == '\a') {
        return;
    } else {
        dosplat::putCell(x, y, c, g_attr);
        if (++x > dosplat::kScreenCols) {
            x = 1;
            ++y;
        }
    }
    if (y > dosplat::kScreenRows) {
        dosplat::scrollUp(g_attr);
        y = dosplat::kScreenRows;
    }
}
}  // namespace

void setAttr(uint8_t attr) { g_attr = attr; }
uint8_t attr() { return g_attr; }

void gotoXY(int x, int y) {
    if (x < 1) x = 1;
    if (x > dosplat::kScreenCols) x = dosplat::kScreenCols;
    if (y < 1) y = 1;
    if (y > dosplat::kScreenRows) y = dosplat::kScreenRows;
    dosplat::setCursor(x, y);
}

int whereX() {
    int x, y;
    dosplat::getCursor(&x, &y);
    return x;
}

int whereY() {
    int x, y;
    dosplat::getCursor(&x, &y);
    return y;
}

void clearScreen() {
    for (int y = 1; y <= dosplat::kScreenRows; ++y) {
        for (int x = 1; x <= dosplat::kScreenCols; ++x) dosplat::putCell(x, y, ' ', g_attr);
    }
    dosplat::setCursor(1, 1);
}

void clearToEol() {
    int x, y;
    dosplat::getCursor(&x, &y);
    for (int i = x; i <= dosplat::kScreenCols; ++i) dosplat::putCell(i, y, ' ', g_attr);
}

void putChar(char c) {
    int x, y;
    dosplat::getCursor(&x, &y);
    putAt(c, x, y);
    dosplat::setCursor(x, y);
}

void puts(const char* s) {
    int x, y;
    dosplat::getCursor(&x, &y);
    for (; *s; ++s) putAt(*s, x, y);
    dosplat::setCursor(x, y);
}

void printf(const char* fmt, ...) {
    char buffer[640];
    va_list args;
    va_start(args, fmt);
    text::formatV(buffer, sizeof buffer, fmt, args);
    va_end(args);
    puts(buffer);
}

// Cursor shapes of the colour text mode: scan lines 6-7, or the "off" bit.
void cursorNormal() { dosplat::showCursor(true); }
void cursorHidden() { dosplat::showCursor(false); }

char charAt(int x, int y) { return dosplat::cellChar(x, y); }

int readKey() {
    int c = dosplat::readKeyByte();
    if (c == 0) return 0x100 + dosplat::readKeyByte();
    return c;
}

}  // namespace con
