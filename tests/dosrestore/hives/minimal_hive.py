#!/usr/bin/env python3
"""Writes the smallest registry hive file that hive tools accept: a 4 KiB base block and
one 4 KiB bin holding the root key and its security cell, the rest of the bin one free
cell. Usage: minimal_hive.py FILE [ROOT-NAME]. Tests grow it with `hivexsh -w`."""
import struct
import sys

PAGE = 4096


def cell(payload):
    """An allocated cell: negative size (header included), padded to 8 bytes."""
    size = (4 + len(payload) + 7) // 8 * 8
    return struct.pack("<i", -size) + payload + bytes(size - 4 - len(payload))


def security_descriptor():
    """Self-relative: owner and group BUILTIN\\Administrators, a DACL that gives
    Everyone full access."""
    admins = struct.pack("<BB6sII", 1, 2, b"\0\0\0\0\0\5", 32, 544)
    everyone = struct.pack("<BB6sI", 1, 1, b"\0\0\0\0\0\1", 0)
    ace = struct.pack("<BBHI", 0, 0, 8 + len(everyone), 0x1F01FF) + everyone
    dacl = struct.pack("<BBHHH", 2, 0, 8 + len(ace), 1, 0) + ace
    header_size = 20
    owner = header_size
    group = owner + len(admins)
    dacl_at = group + len(admins)
    header = struct.pack("<BBHIIII", 1, 0, 0x8004, owner, group, 0, dacl_at)
    return header + admins + admins + dacl


def main():
    path = sys.argv[1]
    name = (sys.argv[2] if len(sys.argv) > 2 else "ROOT").encode("ascii")
    bin_header = 32
    root_at = bin_header                     # offsets count from the first bin
    nk_size = 4 + 76 + len(name)
    nk_size = (nk_size + 7) // 8 * 8
    sk_at = root_at + nk_size

    sd = security_descriptor()
    sk = cell(b"sk" + struct.pack("<HIIII", 0, sk_at, sk_at, 1, len(sd)) + sd)
    nk = cell(b"nk" + struct.pack(
        "<HQIIIIIIIIIIIIIIIHH",
        0x2C,            # root of the hive, not deletable, ASCII name
        0, 0,
        0xFFFFFFFF,      # no parent (hives keep one here; tools ignore it)
        0, 0, 0xFFFFFFFF, 0xFFFFFFFF,
        0, 0xFFFFFFFF,
        sk_at, 0xFFFFFFFF,
        0, 0, 0, 0, 0,
        len(name), 0) + name)
    assert len(nk) == nk_size
    used = bin_header + len(nk) + len(sk)
    free = struct.pack("<i", PAGE - used) + bytes(PAGE - used - 4)
    hbin = b"hbin" + struct.pack("<III", 0, PAGE, 0) + bytes(16)
    bins = hbin + nk + sk + free
    assert len(bins) == PAGE

    base = bytearray(PAGE)
    struct.pack_into("<4sIIQIIIIIII", base, 0, b"regf", 1, 1, 0, 1, 3, 0, 1, root_at, PAGE, 1)
    checksum = 0
    for i in range(0, 508, 4):
        checksum ^= struct.unpack_from("<I", base, i)[0]
    struct.pack_into("<I", base, 508, checksum or 1)
    with open(path, "wb") as out:
        out.write(bytes(base) + bins)


if __name__ == "__main__":
    main()
