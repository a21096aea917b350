// The one way into the BIOS and DOS: intcall loads the registers from a block, raises the
// interrupt and stores what the service left in them, the flags included, in another
// block (it may be the same one). Segment registers are the program's own on both sides:
// every pointer a service takes is an offset in the program's one segment.
#pragma once
#include <stdint.h>

namespace dosplat {

struct Regs {
    uint16_t ax, bx, cx, dx, si, di;
    uint16_t flags;  // after the call

    bool carry() const { return flags & 1; }
};

extern "C" void intcall(uint8_t vector, const Regs* in, Regs* out);

// The offset of an object of the program in its segment, as services take it in DX or BX.
inline uint16_t offsetOf(const void* p) { return uint16_t(reinterpret_cast<uintptr_t>(p)); }

}  // namespace dosplat
