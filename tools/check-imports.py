#!/usr/bin/env python3
"""Checks that every function a Windows program imports exists on the oldest Windows it
must start on, and that its header asks for no later system.

The system loader refuses a program with an import that the system's DLLs lack before any
of the program's code runs, so no message of the program's own can ever say why. Wine
exports everything whatever version it reports, so no test under Wine can show it either:
this check reads the programs' import tables instead.

    tools/check-imports.py --floor NT4 --list tools/imports/win32.txt dist/Tolmen.exe dist/Survin.exe

Each list line is "DLL function system" (or "DLL #ordinal system" for an import by
number), system being the first Windows that exports it: NT3.1, NT3.5, NT3.51, NT4, 2000,
XP, 2003, Vista, 7, 8, 8.1, 10. A line that starts with "#", and a "#" after the three
fields with what follows, are comments. Several lists may be given. The check fails on
an import that no list names (look it up and add it) and on one whose system is later
than the floor. Delay-load imports are named too: the programs have none, and one would
fail at its first call instead of at the start. The loader also refuses a program whose
header names a later subsystem version than the system's own (the linker's default for
64-bit programs is 5.2), so that is checked too.

A system that carries only some of Windows' DLLs (Windows PE) is described by --dlls, a
list of the DLLs it has, one a line: an import from any other DLL fails the check as well.

    tools/check-imports.py --floor 7 --list tools/imports/win32.txt --list tools/imports/x64.txt \
        --dlls tools/imports/winpe3-x64.txt dist/x64/Survin.exe
"""
import argparse
import struct
import sys

SYSTEMS = ["NT3.1", "NT3.5", "NT3.51", "NT4", "2000", "XP", "2003", "Vista", "7", "8", "8.1", "10"]
# The version each system reports, which the subsystem version in a program's header must
# not exceed.
VERSIONS = [(3, 10), (3, 50), (3, 51), (4, 0), (5, 0), (5, 1), (5, 2), (6, 0), (6, 1), (6, 2), (6, 3), (10, 0)]


class PeError(Exception):
    pass


def _c_string(data, offset):
    end = data.find(b"\0", offset)
    if end < 0:
        raise PeError("unterminated name at file offset %#x" % offset)
    return data[offset:end].decode("ascii", "replace")


def read_imports(path):
    """((major, minor) subsystem version, [(dll, name or "#ordinal", delay-loaded)] in
    table order) of a PE file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"MZ" or len(data) < 0x40:
        raise PeError("not an MZ file")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE header")
    sections, optional_size = struct.unpack_from("<HxxxxxxxxxxxxH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    if magic == 0x10B:
        directories, thunk_size, ordinal_flag = optional + 96, 4, 1 << 31
    elif magic == 0x20B:
        directories, thunk_size, ordinal_flag = optional + 112, 8, 1 << 63
    else:
        raise PeError("unknown optional header %#x" % magic)
    subsystem = struct.unpack_from("<HH", data, optional + 48)
    ranges = []
    for i in range(sections):
        entry = optional + optional_size + 40 * i
        virtual_size, address, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
        ranges.append((address, max(virtual_size, raw_size), raw_offset))

    def at(rva):
        for address, size, raw in ranges:
            if address <= rva < address + size:
                return rva - address + raw
        raise PeError("address %#x lies in no section" % rva)

    def thunks(table):
        offset = at(table)
        while True:
            value = struct.unpack_from("<I" if thunk_size == 4 else "<Q", data, offset)[0]
            if value == 0:
                return
            if value & ordinal_flag:
                yield "#%d" % (value & 0xFFFF)
            else:
                yield _c_string(data, at(value & 0x7FFFFFFF) + 2)  # past the hint
            offset += thunk_size

    found = []
    # Ordinary imports (directory 1): descriptors of 20 bytes, name at +12.
    table, _ = struct.unpack_from("<II", data, directories + 8)
    if table:
        offset = at(table)
        while True:
            lookup, _, _, name, address = struct.unpack_from("<IIIII", data, offset)
            if name == 0:
                break
            dll = _c_string(data, at(name))
            found += [(dll, function, False) for function in thunks(lookup or address)]
            offset += 20
    # Delay-load imports (directory 13): descriptors of 32 bytes, relative addresses.
    table, _ = struct.unpack_from("<II", data, directories + 13 * 8)
    if table:
        offset = at(table)
        while True:
            attributes, name, _, _, lookup = struct.unpack_from("<IIIII", data, offset)
            if name == 0:
                break
            if not attributes & 1:
                raise PeError("delay-load table of the old form")
            dll = _c_string(data, at(name))
            found += [(dll, function, True) for function in thunks(lookup)]
            offset += 32
    return subsystem, found


def read_list(path, entries, problems):
    """Adds {(dll lower case, function): (system, where)} from one list file."""
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            where = "%s:%d" % (path, number)
            fields = line.split()
            if not fields or fields[0].startswith("#"):
                continue
            if len(fields) > 3 and fields[3].startswith("#"):
                fields = fields[:3]
            if len(fields) != 3 or fields[2] not in SYSTEMS:
                problems.append("%s: expected 'DLL function system' with a system of %s: %s"
                                % (where, ", ".join(SYSTEMS), line.rstrip()))
                continue
            key = (fields[0].lower(), fields[1])
            if key in entries:
                problems.append("%s: %s %s is listed already at %s" % (where, fields[0], fields[1], entries[key][1]))
                continue
            entries[key] = (fields[2], where)


def read_dlls(path, problems):
    """The DLL names (lower case) of a --dlls list."""
    dlls = set()
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            fields = line.split("#", 1)[0].split()
            if not fields:
                continue
            if len(fields) != 1:
                problems.append("%s:%d: expected one DLL name: %s" % (path, number, line.rstrip()))
                continue
            dlls.add(fields[0].lower())
    return dlls


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--floor", required=True, choices=SYSTEMS,
                        help="the oldest Windows the programs must start on")
    parser.add_argument("--list", action="append", required=True,
                        help="a list of functions with the Windows that introduced them")
    parser.add_argument("--dlls", help="the only DLLs the system has (a list, one a line)")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()

    problems = []
    entries = {}
    for path in args.list:
        read_list(path, entries, problems)
    present = read_dlls(args.dlls, problems) if args.dlls else None
    floor = SYSTEMS.index(args.floor)
    for program in args.programs:
        try:
            subsystem, imports = read_imports(program)
        except (OSError, PeError, struct.error) as e:
            problems.append("%s: cannot read its imports: %s" % (program, e))
            continue
        if tuple(subsystem) > VERSIONS[floor]:
            problems.append("%s: its header asks for subsystem version %d.%d, later than %s (%d.%d): "
                            "link with --major-subsystem-version and --minor-subsystem-version"
                            % ((program,) + tuple(subsystem) + (args.floor,) + VERSIONS[floor]))
        dlls = set()
        for dll, function, delayed in imports:
            kind = "delay-load import" if delayed else "import"
            if present is not None and dll.lower() not in present and dll.lower() not in dlls:
                problems.append("%s: %s %s %s: %s is not part of the system (%s): look it up at run time "
                                "and do without it" % (program, kind, dll, function, dll, args.dlls))
            dlls.add(dll.lower())
            entry = entries.get((dll.lower(), function))
            if entry is None:
                problems.append("%s: %s %s %s is on no list: look up the first Windows that exports it and add it"
                                % (program, kind, dll, function))
            elif SYSTEMS.index(entry[0]) > floor:
                problems.append("%s: %s %s %s needs Windows %s (%s), later than %s: look it up by name at run time"
                                % (program, kind, dll, function, entry[0], entry[1], args.floor))
        print("check-imports: %s: %d imports from %d DLLs checked against %s"
              % (program, len(imports), len(dlls), args.floor))
    for problem in problems:
        print("check-imports: " + problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
