// Real-mode implementation of the platform layer: BIOS video and DOS services through
// intcall, the program's start code and the few memory routines the compiler may call.
// The program is one segment: CS = DS = ES = SS = its PSP, code from offset 0x100, stack
// at the top.
#include <stddef.h>
#include <stdint.h>

#include "intcall.h"
#include "platform.h"
#include "survin_dos.h"

extern "C" {
extern char __bss_start[], __bss_end[];
void survin_start();
}

// Entry at PSP:0100: clear the upper half of ESP (the compiler's code addresses the stack
// through it), zero .bss, run the program.
asm(".section .text.start,\"ax\"\n"
    ".globl _start\n"
    "_start:\n"
    "  cld\n"
    "  movzwl %sp, %esp\n"
    "  movw $__bss_start, %di\n"
    "  movw $__bss_end, %cx\n"
    "  subw %di, %cx\n"
    "  xorb %al, %al\n"
    "  rep stosb\n"
    "  calll survin_start\n"
    "  movw $0x4c00, %ax\n"
    "  int $0x21\n"
    ".previous\n");

extern "C" {
void* memset(void* dst, int c, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dst);
    while (n--) *d++ = static_cast<unsigned char>(c);
    return dst;
}
void* memcpy(void* dst, const void* src, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dst);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    while (n--) *d++ = *s++;
    return dst;
}
void* memmove(void* dst, const void* src, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dst);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    if (d < s) {
        while (n--) *d++ = *s++;
    } else {
        while (n--) d[n] = s[n];
    }
    return dst;
}
int memcmp(const void* a, const void* b, size_t n) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (; n; --n, ++x, ++y) {
        if (*x != *y) return *x - *y;
    }
    return 0;
}
}

namespace {

using dosplat::intcall;
using dosplat::offsetOf;
using dosplat::Regs;

const uint8_t kVideo = 0x10;
const uint8_t kDos = 0x21;
const uint16_t kVideoSegment = 0xB800;

// Segment accessors: a byte or word of another segment through FS.
uint8_t peekByte(uint16_t segment, uint16_t offset) {
    uint8_t value;
    asm volatile("movw %1, %%fs\n\tmovb %%fs:(%%bx), %0" : "=q"(value) : "r"(segment), "b"(offset) : "memory");
    return value;
}

uint16_t peekWord(uint16_t segment, uint16_t offset) {
    uint16_t value;
    asm volatile("movw %1, %%fs\n\tmovw %%fs:(%%bx), %0" : "=r"(value) : "r"(segment), "b"(offset) : "memory");
    return value;
}

void pokeWord(uint16_t segment, uint16_t offset, uint16_t value) {
    asm volatile("movw %0, %%fs\n\tmovw %2, %%fs:(%%bx)" : : "r"(segment), "b"(offset), "r"(value) : "memory");
}

uint16_t dataSegment() {
    uint16_t ds;
    asm volatile("movw %%ds, %0" : "=r"(ds));
    return ds;
}

uint16_t cellOffset(int x, int y) { return uint16_t(((y - 1) * dosplat::kScreenCols + (x - 1)) * 2); }

// One BIOS or DOS service; the registers it left are in the returned block. Kept out of
// line: each service is then a call with its few values.
__attribute__((noinline)) Regs call(uint8_t vector, uint16_t ax, uint16_t bx = 0, uint16_t cx = 0, uint16_t dx = 0) {
    Regs regs = {};
    regs.ax = ax;
    regs.bx = bx;
    regs.cx = cx;
    regs.dx = dx;
    intcall(vector, &regs, &regs);
    return regs;
}

// A DOS service that fails with the carry flag and the error in AX: AX, or -1.
int dosResult(const Regs& regs) { return regs.carry() ? -1 : int(regs.ax); }

// The DTA of directory searches.
struct FindData {
    uint8_t reserved[21];
    uint8_t attr;
    uint16_t time, date;
    uint32_t size;
    char name[13];
} __attribute__((packed));

FindData g_find;
bool g_memoryShrunk = false;

}  // namespace

namespace dosplat {

void putCell(int x, int y, char ch, uint8_t attr) {
    pokeWord(kVideoSegment, cellOffset(x, y), uint16_t(uint8_t(ch) | (attr << 8)));
}

char cellChar(int x, int y) { return char(peekByte(kVideoSegment, cellOffset(x, y))); }

uint8_t cellAttr(int x, int y) { return peekByte(kVideoSegment, cellOffset(x, y) + 1); }

void scrollUp(uint8_t attr) {
    call(kVideo, 0x0601, uint16_t(attr << 8), 0x0000, uint16_t(((kScreenRows - 1) << 8) | (kScreenCols - 1)));
}

void setCursor(int x, int y) { call(kVideo, 0x0200, 0, 0, uint16_t(((y - 1) << 8) | (x - 1))); }

void getCursor(int* x, int* y) {
    Regs regs = call(kVideo, 0x0300);
    *x = (regs.dx & 0xFF) + 1;
    *y = (regs.dx >> 8) + 1;
}

void showCursor(bool visible) { call(kVideo, 0x0100, 0, visible ? 0x0607 : 0x2000); }

int readKeyByte() { return call(kDos, 0x0700).ax & 0xFF; }

int openFile(const char* path) { return dosResult(call(kDos, 0x3D00, 0, 0, offsetOf(path))); }

int readFile(int handle, char* buffer, int cb) {
    return dosResult(call(kDos, 0x3F00, uint16_t(handle), uint16_t(cb), offsetOf(buffer)));
}

void closeFile(int handle) { call(kDos, 0x3E00, uint16_t(handle)); }

bool isDevice(const char* path) {
    int handle = openFile(path);
    if (handle < 0) return false;
    // IOCTL get device information: bit 7 of DX is set for a character device.
    Regs regs = call(kDos, 0x4400, uint16_t(handle));
    closeFile(handle);
    return !regs.carry() && (regs.dx & 0x80);
}

bool findEntry(const char* path, uint8_t attrMask, uint32_t* size) {
    call(kDos, 0x1A00, 0, 0, offsetOf(&g_find));
    if (call(kDos, 0x4E00, 0, attrMask, offsetOf(path)).carry()) return false;
    *size = g_find.size;
    return true;
}

bool getEnv(const char* name, char* out, int cch) {
    // The environment's segment is in the PSP, which starts at DS:0.
    uint16_t env = peekWord(dataSegment(), 0x2C);
    uint16_t off = 0;
    while (peekByte(env, off)) {
        uint16_t i = 0;
        while (name[i] && peekByte(env, uint16_t(off + i)) == uint8_t(name[i])) ++i;
        bool match = !name[i] && peekByte(env, uint16_t(off + i)) == '=';
        if (match) {
            off = uint16_t(off + i + 1);
            int n = 0;
            for (uint8_t c; (c = peekByte(env, off)) != 0; ++off) {
                if (n >= cch - 1) return false;
                out[n++] = char(c);
            }
            out[n] = 0;
            return true;
        }
        while (peekByte(env, off)) ++off;
        ++off;
    }
    return false;
}

int execProgram(const char* program, const char* tail) {
    if (!g_memoryShrunk) {
        // Give back everything above our 64 KiB so the interpreter has room to load.
        g_memoryShrunk = !call(kDos, 0x4A00, 0x1000).carry();
    }
    static char commandTail[128];
    int n = 0;
    while (tail[n] && n < 126) {
        commandTail[n + 1] = tail[n];
        ++n;
    }
    if (tail[n]) return kErrTooLong;
    commandTail[0] = char(n);
    commandTail[n + 1] = '\r';

    // The parameter block: our environment, the tail, the PSP's two FCBs.
    uint16_t ds = dataSegment();
    static uint16_t block[7];
    block[0] = 0;
    block[1] = offsetOf(commandTail);
    block[2] = ds;
    block[3] = 0x5C;
    block[4] = ds;
    block[5] = 0x6C;
    block[6] = ds;
    Regs regs = call(kDos, 0x4B00, offsetOf(block), 0, offsetOf(program));
    return regs.carry() ? int(regs.ax) : 0;
}

void exitProgram(int code) {
    call(kDos, uint16_t(0x4C00 | (code & 0xFF)));
    __builtin_unreachable();
}

}  // namespace dosplat

extern "C" void survin_start() {
    // Argument 0 is the program's path, stored after the environment's closing NUL.
    static char path[128];
    static survin::State state;
    uint16_t env = peekWord(dataSegment(), 0x2C);
    uint16_t off = 0;
    while (peekByte(env, off)) {  // each NAME=value string, then the empty one
        while (peekByte(env, off)) ++off;
        ++off;
    }
    ++off;
    int n = 0;
    if (peekWord(env, off) >= 1) {
        off = uint16_t(off + 2);
        for (uint8_t c; n < int(sizeof path) - 1 && (c = peekByte(env, off)) != 0; ++off) {
            path[n++] = char(c);
        }
    }
    path[n] = 0;
    char* argv[2] = {path, nullptr};
    survin::main(state, 1, argv);
    dosplat::exitProgram(0);
}
