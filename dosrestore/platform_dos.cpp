// Real-mode implementation of the platform layer: BIOS video and DOS services, the
// program's start code and the few memory routines the compiler may call. The program is
// one segment: CS = DS = ES = SS = its PSP, code from offset 0x100, stack at the top.
#include <stddef.h>
#include <stdint.h>

#include "platform.h"
#include "survin_dos.h"

extern "C" {
extern char __bss_start[], __bss_end[];
// SP across EXEC, reached through CS because DOS may change every other register.
uint16_t survin_saved_sp;
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

const uint16_t kVideoSegment = 0xB800;

uint8_t peekByte(uint16_t segment, uint16_t offset) {
    uint8_t value;
    asm volatile("movw %1, %%fs\n\tmovb %%fs:(%%bx), %0"
                 : "=q"(value)
                 : "r"(segment), "b"(offset)
                 : "memory");
    return value;
}

uint16_t peekWord(uint16_t segment, uint16_t offset) {
    uint16_t value;
    asm volatile("movw %1, %%fs\n\tmovw %%fs:(%%bx), %0"
                 : "=r"(value)
                 : "r"(segment), "b"(offset)
                 : "memory");
    return value;
}

void pokeWord(uint16_t segment, uint16_t offset, uint16_t value) {
    asm volatile("movw %0, %%fs\n\tmovw %2, %%fs:(%%bx)"
                 :
                 : "r"(segment), "b"(offset), "r"(value)
                 : "memory");
}

uint16_t dataSegment() {
    uint16_t ds;
    asm volatile("movw %%ds, %0" : "=r"(ds));
    return ds;
}

uint16_t cellOffset(int x, int y) {
    return uint16_t(((y - 1) * dosplat::kScreenCols + (x - 1)) * 2);
}

// BIOS video call; the registers that some BIOSes do not preserve are clobbered.
void video(uint16_t ax, uint16_t bx, uint16_t cx, uint16_t dx) {
    asm volatile("pushl %%ebp\n\tint $0x10\n\tpopl %%ebp"
                 : "+a"(ax), "+b"(bx), "+c"(cx), "+d"(dx)
                 :
                 : "esi", "edi", "memory", "cc");
}

// DOS call with DS:DX; returns false with AX = error when the carry flag is set.
bool dos(uint16_t& ax, uint16_t bx, uint16_t cx, const void* dx) {
    bool carry;
    uint32_t edx = uint32_t(reinterpret_cast<uintptr_t>(dx));
    asm volatile("int $0x21"
                 : "=@ccc"(carry), "+a"(ax), "+b"(bx), "+c"(cx), "+d"(edx)
                 :
                 : "memory");
    return !carry;
}

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
    video(0x0601, uint16_t(attr << 8), 0x0000, uint16_t(((kScreenRows - 1) << 8) | (kScreenCols - 1)));
}

void setCursor(int x, int y) { video(0x0200, 0, 0, uint16_t(((y - 1) << 8) | (x - 1))); }

void getCursor(int* x, int* y) {
    uint16_t ax = 0x0300, bx = 0, cx = 0, dx = 0;
    asm volatile("pushl %%ebp\n\tint $0x10\n\tpopl %%ebp"
                 : "+a"(ax), "+b"(bx), "+c"(cx), "+d"(dx)
                 :
                 : "esi", "edi", "memory", "cc");
    *x = (dx & 0xFF) + 1;
    *y = (dx >> 8) + 1;
}

void showCursor(bool visible) { video(0x0100, 0, visible ? 0x0607 : 0x2000, 0); }

int readKeyByte() {
    uint16_t ax = 0x0700;
    dos(ax, 0, 0, nullptr);
    return ax & 0xFF;
}

int openFile(const char* path) {
    uint16_t ax = 0x3D00;
    return dos(ax, 0, 0, path) ? int(ax) : -1;
}

int readFile(int handle, char* buffer, int cb) {
    uint16_t ax = 0x3F00;
    return dos(ax, uint16_t(handle), uint16_t(cb), buffer) ? int(ax) : -1;
}

void closeFile(int handle) {
    uint16_t ax = 0x3E00;
    dos(ax, uint16_t(handle), 0, nullptr);
}

bool isDevice(const char* path) {
    int handle = openFile(path);
    if (handle < 0) return false;
    // IOCTL get device information: bit 7 of DX is set for a character device.
    uint16_t ax = 0x4400;
    uint16_t bx = uint16_t(handle);
    uint16_t dx = 0;
    bool carry;
    asm volatile("int $0x21" : "=@ccc"(carry), "+a"(ax), "+b"(bx), "=d"(dx) : : "memory");
    closeFile(handle);
    return !carry && (dx & 0x80);
}

bool findEntry(const char* path, uint8_t attrMask, uint32_t* size) {
    uint16_t ax = 0x1A00;
    dos(ax, 0, 0, &g_find);
    ax = 0x4E00;
    if (!dos(ax, 0, attrMask, path)) return false;
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
        uint16_t ax = 0x4A00;
        g_memoryShrunk = dos(ax, 0x1000, 0, nullptr);
    }
    static char commandTail[128];
    int n = 0;
    while (tail[n] && n < 126) {
        commandTail[n + 1] = tail[n];
        ++n;
    }
    if (tail[n]) return survin::kErrTooLong;
    commandTail[0] = char(n);
    commandTail[n + 1] = '\r';

    uint16_t ds = dataSegment();
    static uint16_t block[7];
    block[0] = 0;  // a copy of our environment
    block[1] = uint16_t(reinterpret_cast<uintptr_t>(commandTail));
    block[2] = ds;
    block[3] = 0x5C;
    block[4] = ds;
    block[5] = 0x6C;
    block[6] = ds;

    uint16_t ax = 0x4B00;
    uint32_t dx = uint32_t(reinterpret_cast<uintptr_t>(program));
    uint32_t bx = uint32_t(reinterpret_cast<uintptr_t>(block));
    uint8_t failed;
    // DOS keeps only CS:IP across EXEC: save SP where CS reaches it, then rebuild the
    // segment registers and the stack.
    asm volatile(
        "pushl %%ebp\n\t"
        "pushl %%esi\n\t"
        "pushl %%edi\n\t"
        "pushl %%ebx\n\t"
        "movw %%sp, %%cs:survin_saved_sp\n\t"
        "int $0x21\n\t"
        "setc %%dl\n\t"
        "movw %%cs, %%bx\n\t"
        "movw %%bx, %%ds\n\t"
        "movw %%bx, %%es\n\t"
        "movw %%bx, %%ss\n\t"
        "movzwl %%cs:survin_saved_sp, %%esp\n\t"
        "popl %%ebx\n\t"
        "popl %%edi\n\t"
        "popl %%esi\n\t"
        "popl %%ebp\n\t"
        "cld"
        : "+a"(ax), "+d"(dx), "+b"(bx)
        :
        : "ecx", "memory", "cc");
    failed = uint8_t(dx);
    return failed ? int(ax) : 0;
}

void exitProgram(int code) {
    uint16_t ax = uint16_t(0x4C00 | (code & 0xFF));
    asm volatile("int $0x21" : : "a"(ax));
    __builtin_unreachable();
}

}  // namespace dosplat

extern "C" void survin_start() {
    // Argument 0 is the program's path, stored after the environment's closing NUL.
    static char path[128];
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
    survin::main(1, argv);
    dosplat::exitProgram(0);
}
