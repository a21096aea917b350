#!/usr/bin/env bash
# Sizes of what ships (not a test): Tolmen.exe (32- and 64-bit) and SURVIN.EXE with its
# DOS part, against their limits, and where SURVIN.EXE's bytes go, from the link map of
# its Windows part (build/Survin_pe.map) and the sections of the shipped file.
# Usage: tools/bench-size.sh
# Nothing runs under Wine: set-up and the build only.
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$(realpath "$0")")/lib.sh"
tolmen_setup
tolmen_build

python3 - dist/Tolmen.exe dist/x64/Tolmen.exe dist/Survin.exe build/Survin_pe.map <<'PY'
import collections
import re
import struct
import sys

tolmen32, tolmen64, survin, survin_map = sys.argv[1:]
KIB = 1024


def sections(path):
    """(name, raw size) of each section of a PE file, and its number of symbols."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    symbol_table, symbols = struct.unpack_from("<II", data, pe + 12)
    optional = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional
    strings = symbol_table + 18 * symbols
    out = []
    for i in range(count):
        raw = data[table + 40 * i: table + 40 * i + 40]
        name = raw[:8].rstrip(b"\0").decode("ascii", "replace")
        if name.startswith("/"):  # a long name, kept in the string table behind the symbols
            start = strings + int(name[1:])
            name = data[start:data.index(b"\0", start)].decode("ascii", "replace")
        out.append((name, struct.unpack_from("<I", raw, 16)[0]))
    return data, out, symbols


def report_program(label, path):
    data, secs, symbols = sections(path)
    debug = sum(size for name, size in secs if name.startswith(".debug"))
    state = ("%d symbols, %d bytes of debugging sections" % (symbols, debug)) if symbols or debug else "no symbols"
    print("%-22s %9d bytes  %s" % (label, len(data), state))


report_program("Tolmen.exe (32-bit)", tolmen32)
report_program("Tolmen.exe (64-bit)", tolmen64)

data, secs, _ = sections(survin)
dos_start = struct.unpack_from("<H", data, 8)[0] * 16
dos_size = len(data) - dos_start
print("%-22s %9d bytes  (%.1f KiB; limit 400 KiB: %s)" % (
    "SURVIN.EXE", len(data), len(data) / KIB, "within" if len(data) <= 400 * KIB else "OVER"))
print("  its DOS part         %9d bytes  at offset %d (%.1f KiB; limit 32 KiB: %s; starts in the first MiB: %s)" % (
    dos_size, dos_start, dos_size / KIB, "within" if dos_size <= 32 * KIB else "OVER",
    "yes" if dos_start < 1 << 20 else "NO"))
print("  its Windows part by section:", ", ".join("%s %d" % s for s in secs))

# Contributions to the loaded sections, by the archive (or object) they come from.
by_section = collections.defaultdict(collections.Counter)
line_re = re.compile(r"^ (\.\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
pending = None
for line in open(survin_map, errors="replace"):
    line = line.rstrip("\n")
    only_name = re.match(r"^ (\.\S+)$", line)
    if only_name:
        pending = only_name.group(1)
        continue
    m = line_re.match(line)
    if m and (m.group(1) or pending):
        section = (m.group(1) or pending).split("$")[0]
        origin = re.sub(r"\(.*\)$", "", m.group(4).strip())
        origin = origin.split("/")[-1]
        if section in (".text", ".rdata", ".eh_frame", ".data"):
            by_section[section][origin] += int(m.group(3), 16)
    pending = None
total = collections.Counter()
for counter in by_section.values():
    total.update(counter)
print("  code and data of the Windows part by origin (bytes of .text, .rdata, .eh_frame, .data):")
for origin, size in total.most_common(12):
    print("    %8d  %s" % (size, origin))
PY
