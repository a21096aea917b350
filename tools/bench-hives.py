#!/usr/bin/env python3
"""Writes the hive files of the backup benchmark (tools/bench-backup.sh).

Usage: bench-hives.py <drive_c folder> <current user> <list file> <reg file>

Under Wine a hive file is a text file in Wine's own registry format, the format that
RegSaveKeyExW writes and RegLoadKeyW reads there. The files written here are in exactly
that form, so the benchmark can load each into its key and the platform's save of that
key writes the same bytes again that the program copies. They are shaped like real
hives: many keys a few levels deep, each with a handful of string, number and binary
values.

Writes, besides the files:
- the list file that tools/bench-backup.sh and save_bench read: one line per hive that
  a backup saves, "root<TAB>key<TAB>file<TAB>origin". Origin "load": a file written
  here, which the benchmark loads into its key; "wine": a key that Wine has already (the
  machine keys, .DEFAULT and the current user's), whose file save_bench saves from the
  key, so that it holds the key's own content;
- a .reg file with the hivelist values, for `wine reg import`.
"""
import os
import random
import sys

VOLUME = r"\Device\HarddiskVolume1"
MIB = 1 << 20
KEY_TIME = "[%s] 1796744495\n#time=1dd872a9b8d80e8\n"
USERS = 8  # other users with a loaded profile, as on a shared machine

# Each entry: hive name below \REGISTRY\, file below C:\, size in MiB (None: a key that
# Wine has, saved from it), root and key for the list.
def hive_table(user):
    machine = r"Windows\System32\config"
    table = [
        (r"MACHINE\HARDWARE", "", None, None, None),  # no file: never saved
        (r"MACHINE\SYSTEM", machine + r"\SYSTEM", None, "HKLM", "SYSTEM"),
        (r"MACHINE\SOFTWARE", machine + r"\SOFTWARE", None, "HKLM", "SOFTWARE"),
        (r"MACHINE\SAM", machine + r"\SAM", None, "HKLM", "SAM"),
        (r"MACHINE\SECURITY", machine + r"\SECURITY", None, "HKLM", "SECURITY"),
        (r"MACHINE\BCD00000000", r"Boot\BCD", None, None, None),  # never saved
        (r"USER\.DEFAULT", machine + r"\DEFAULT", None, "HKU", ".DEFAULT"),
        (r"USER\S-1-5-19", r"Windows\ServiceProfiles\LocalService\NTUSER.DAT", 0.25, "HKU", "S-1-5-19"),
        (r"USER\S-1-5-20", r"Windows\ServiceProfiles\NetworkService\NTUSER.DAT", 0.25, "HKU", "S-1-5-20"),
        (r"USER\S-1-5-21-0-0-0-1000", r"Users\%s\NTUSER.DAT" % user, None, "HKU", "S-1-5-21-0-0-0-1000"),
        (r"USER\S-1-5-21-0-0-0-1000_Classes",
         r"Users\%s\AppData\Local\Microsoft\Windows\UsrClass.dat" % user, 6, "HKU", "S-1-5-21-0-0-0-1000_Classes"),
    ]
    # Profiles of different ages: 25 MiB for each user on average.
    sizes = [(12, 6), (20, 9), (9, 4), (24, 10), (16, 8), (14, 6), (22, 11), (17, 12)]
    for n in range(USERS):
        sid = "S-1-5-21-0-0-0-%d" % (1001 + n)
        folder = r"Users\bench%d" % (n + 1)
        ntuser, classes = sizes[n]
        table.append((r"USER\%s" % sid, folder + r"\NTUSER.DAT", ntuser, "HKU", sid))
        table.append((r"USER\%s_Classes" % sid, folder + r"\AppData\Local\Microsoft\Windows\UsrClass.dat",
                      classes, "HKU", sid + "_Classes"))
    return table


def hex_value(name, data):
    """A binary value as Wine writes it: hex bytes, lines broken after 76 columns."""
    prefix = '"%s"=hex:' % name
    out = [prefix]
    column = len(prefix)
    last = len(data) - 1
    for i, byte in enumerate(data):
        out.append("%02x" % byte)
        column += 2
        if i < last:
            out.append(",")
            column += 1
            if column > 76:
                out.append("\\\n  ")
                column = 2
    out.append("\n")
    return "".join(out)


WORDS = ("Settings Display Network Shell Policies Explorer Session Recent Classes Control Profile "
         "Print Devices Input Layout Cache Options Windows Search Install Components Services "
         "Update Security Audio Video Fonts Mouse Keyboard Desktop Accessibility Startup").split()


def value_bodies(rng, count):
    """Sets of values for keys to carry, a mix of short and long ones."""
    bodies = []
    for _ in range(count):
        lines = []
        for v in range(rng.randint(2, 6)):
            kind = rng.random()
            name = "%s%d" % (rng.choice(WORDS), v)
            if kind < 0.45:
                text = " ".join(rng.choice(WORDS) for _ in range(rng.randint(2, 14)))
                lines.append('"%s"="%s"\n' % (name, text))
            elif kind < 0.55:
                path = "C:\\\\Program Files\\\\" + "\\\\".join(rng.choice(WORDS) for _ in range(rng.randint(1, 4)))
                lines.append('"%s"="%s.dll"\n' % (name, path))
            elif kind < 0.8:
                lines.append('"%s"=dword:%08x\n' % (name, rng.getrandbits(32)))
            else:
                size = rng.choice((8, 16, 24, 64, 120, 260, 600, 1400))
                lines.append(hex_value(name, bytes(rng.getrandbits(8) for _ in range(size))))
        lines.sort(key=lambda line: line.split('"')[1].lower())
        bodies.append("".join(lines))
    return bodies


def write_hive(path, relative_to, size, seed):
    """Keys in Wine's save order (sorted, parents before children) until size bytes."""
    rng = random.Random(seed)
    bodies = value_bodies(rng, 256)
    head = ("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\%s\n\n#arch=win64\n\n"
            % relative_to.replace("\\", "\\\\"))
    chunks = [head]
    written = len(head)
    top = 0
    while written < size:
        top += 1
        for second in range(rng.randint(4, 40)):
            base = "%s%03d\\\\%s%02d" % (rng.choice(WORDS), top, rng.choice(WORDS), second)
            for third in range(rng.randint(1, 30)):
                key = base if third == 0 else "%s\\\\Item%03d" % (base, third)
                text = KEY_TIME % key + rng.choice(bodies) + "\n"
                chunks.append(text)
                written += len(text)
                if written >= size:
                    break
            if written >= size:
                break
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="\n") as f:
        f.write("".join(chunks))


def host_path(drive_c, file):
    """The file's path on the host: Windows names match folders in any case."""
    path = drive_c
    parts = file.split("\\")
    for i, part in enumerate(parts):
        if os.path.isdir(path) and i < len(parts) - 1:
            match = [name for name in os.listdir(path) if name.lower() == part.lower()]
            part = match[0] if match else part
        path = os.path.join(path, part)
    return path


def main(argv):
    if len(argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    drive_c, user, list_path, reg_path = argv[1:]
    table = hive_table(user)
    lines = []
    reg = ["REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\hivelist]\r\n"]
    for seed, (name, file, mib, root, key) in enumerate(table):
        device = (VOLUME + "\\" + file) if file else ""
        reg.append('"\\\\REGISTRY\\\\%s"="%s"\r\n' % (name.replace("\\", "\\\\"), device.replace("\\", "\\\\")))
        if not file:
            continue
        host = host_path(drive_c, file)
        if mib is not None:
            write_hive(host, name, int(mib * MIB), seed)
        elif not root:
            os.makedirs(os.path.dirname(host), exist_ok=True)
            with open(host, "w") as f:
                f.write("boot configuration\n")
        if root:
            lines.append("%s\t%s\tC:\\%s\t%s\n" % (root, key, file, "load" if mib is not None else "wine"))
    with open(list_path, "w", newline="\n") as f:
        f.write("".join(lines))
    with open(reg_path, "w", newline="") as f:
        f.write("".join(reg))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
