#!/usr/bin/env python3
"""Makes one executable that is a Windows program and a DOS program at once.

Usage: mzjoin.py <windows.exe> <dos-image.bin> <out.exe>

The Windows program is shipped without its debugging symbols (stripped with the mingw
strip tool, MZJOIN_STRIP or i686-w64-mingw32-strip): the DOS image must begin within the
first MiB of the file, which an unstripped static build soon passes.

The flat DOS image (code at offset 0x100 of one segment, like a .COM file) is appended to
the Windows program at a 16-byte boundary, and the MZ header's load fields are rewritten
so that DOS loads the image from there: the header ends where the image begins, CS:IP is
FFF0:0100 and SS:SP FFF0:FFFE (both the PSP segment), no relocations, and room for the
whole 64 KiB segment. e_magic and e_lfanew stay, so Windows still finds and runs the PE.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SEGMENT = 0x10000        # the DOS program's one segment, PSP included
PSP_SIZE = 0x100
MAX_HEADER = 0xFFFF * 16  # e_cparhdr is a 16-bit count of paragraphs


def join(pe: bytes, image: bytes) -> bytes:
    if len(pe) < 0x40 or pe[:2] != b"MZ":
        raise ValueError("the Windows program has no MZ header")
    if not image:
        raise ValueError("the DOS image is empty")
    if PSP_SIZE + len(image) > SEGMENT - 0x1000:
        raise ValueError("the DOS image leaves no room for its stack in one segment")
    offset = (len(pe) + 15) // 16 * 16
    if offset > MAX_HEADER:
        raise ValueError("the Windows program is %d bytes; the DOS image must start below %d"
                         % (len(pe), MAX_HEADER))
    out = bytearray(pe)
    out += b"\0" * (offset - len(pe))
    out += image
    total = len(out)

    pages = (total + 511) // 512
    last_page = total % 512
    # Paragraphs beyond the loaded image up to the end of the segment.
    extra = (SEGMENT - PSP_SIZE - len(image) + 15) // 16
    struct.pack_into("<HHHHHHHHHHH", out, 2,
                     last_page,      # e_cblp
                     pages,          # e_cp
                     0,              # e_crlc
                     offset // 16,   # e_cparhdr
                     extra,          # e_minalloc
                     0xFFFF,         # e_maxalloc
                     0xFFF0,         # e_ss
                     0xFFFE,         # e_sp
                     0,              # e_csum
                     0x0100,         # e_ip
                     0xFFF0)         # e_cs
    return bytes(out)


def stripped(path: str) -> bytes:
    """The program's bytes without symbols, or unchanged when no strip tool exists."""
    tool = os.environ.get("MZJOIN_STRIP") or shutil.which("i686-w64-mingw32-strip")
    with open(path, "rb") as f:
        original = f.read()
    if not tool:
        return original
    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, "pe.exe")
        result = subprocess.run([tool, "-o", copy, path], capture_output=True)
        if result.returncode != 0:
            sys.stderr.write("mzjoin: strip failed, joining the program as it is\n")
            return original
        with open(copy, "rb") as f:
            return f.read()


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    pe = stripped(argv[1])
    with open(argv[2], "rb") as f:
        image = f.read()
    try:
        joined = join(pe, image)
    except ValueError as error:
        sys.stderr.write("mzjoin: %s\n" % error)
        return 1
    with open(argv[3], "wb") as f:
        f.write(joined)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
