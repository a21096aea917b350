// intcall for gcc -m16: called with calll, arguments as 32-bit stack slots, EBX, ESI, EDI
// and EBP kept. The interrupt number is written into the INT instruction itself; the jump
// after the write makes a processor that fetched the old byte ahead fetch it anew.
// DOS EXEC keeps only CS:IP, and some BIOSes do not keep BP: after the interrupt the
// segment registers and the stack come back from CS, BP from the stack, without an
// instruction that changes the flags the service left.
#include "intcall.h"

asm(".text\n"
    ".globl intcall\n"
    ".type intcall, @function\n"
    "intcall:\n"
    "  pushl %ebp\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl %ebx\n"
    "  movb 20(%esp), %al\n"          // vector
    "  movb %al, intcall_vector\n"
    "  jmp 1f\n"
    "1:\n"
    "  movl 24(%esp), %ebp\n"         // in
    "  movw 2(%ebp), %bx\n"
    "  movw 4(%ebp), %cx\n"
    "  movw 6(%ebp), %dx\n"
    "  movw 8(%ebp), %si\n"
    "  movw 10(%ebp), %di\n"
    "  movw 0(%ebp), %ax\n"
    "  movw %sp, %cs:intcall_sp\n"
    "  .byte 0xcd\n"                  // INT
    "intcall_vector:\n"
    "  .byte 0\n"
    "  movw %ax, %cs:intcall_ax\n"
    "  movw %cs, %ax\n"
    "  movw %ax, %ss\n"
    "  movw %cs:intcall_sp, %sp\n"
    "  movw %ax, %ds\n"
    "  movw %ax, %es\n"
    "  pushfw\n"
    "  movzwl %sp, %esp\n"
    "  movl 30(%esp), %ebp\n"         // out, above the flags
    "  popw 12(%ebp)\n"
    "  movw intcall_ax, %ax\n"
    "  movw %ax, 0(%ebp)\n"
    "  movw %bx, 2(%ebp)\n"
    "  movw %cx, 4(%ebp)\n"
    "  movw %dx, 6(%ebp)\n"
    "  movw %si, 8(%ebp)\n"
    "  movw %di, 10(%ebp)\n"
    "  cld\n"
    "  popl %ebx\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  retl\n"
    ".size intcall, .-intcall\n"
    ".lcomm intcall_sp, 2\n"
    ".lcomm intcall_ax, 2\n");

#include <stddef.h>

static_assert(offsetof(dosplat::Regs, bx) == 2 && offsetof(dosplat::Regs, di) == 10 &&
                  offsetof(dosplat::Regs, flags) == 12,
              "intcall reads and writes the register block at these offsets");
