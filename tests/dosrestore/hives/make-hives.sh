#!/usr/bin/env bash
# Writes real registry hive files for the DOS restore program's tests into a folder:
# SYSTEM, SOFTWARE, SAM, DEFAULT and NTUSER.DAT, each grown by hivexsh (Debian's
# libhivex-bin, an implementation of the hive format of its own) from a minimal hive, with
# keys and values of its own so that no two files are alike.
# Usage: make-hives.sh <folder>
set -euo pipefail
out=$1
here=$(dirname "$(realpath "$0")")
command -v hivexsh >/dev/null || { echo "make-hives: hivexsh is missing; as root, run: bash tools/setup.sh" >&2; exit 1; }
mkdir -p "$out"
python3 "$here/minimal_hive.py" "$out/minimal.new"
for name in SYSTEM SOFTWARE SAM DEFAULT NTUSER.DAT; do
  file="$out/$name"
  cp "$out/minimal.new" "$file.new"
  # Enough keys and values to need a second bin.
  {
    for i in $(seq 1 40); do
      echo "cd \\"
      echo "add Key$i-$name"
      echo "cd Key$i-$name"
      echo "setval 2"
      echo "Name"
      echo "string:$name key $i"
      echo "Number"
      echo "dword:$((i * 7))"
    done
    echo "commit"
  } | hivexsh -w "$file.new" >/dev/null
  mv "$file.new" "$file"
done
rm -f "$out/minimal.new"
