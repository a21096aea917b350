#!/usr/bin/env bash
# Benchmark of the backup search and a count prune under Wine (not a test).
# Usage: tools/bench-places.sh [build folder] [N ...]   (default: build, 100 1000 10000)
# Builds places_bench in the build folder, makes a Wine prefix there (bench-prefix) unless
# WINEPREFIX is set, then for each N lays out N backup folders below one place, spread
# over nested folders (100 per group, 10 per subgroup), each with SURVIN.INI and
# SURVIN.EXE and a distinct SURVIN.INI time. It prints the program's own timings of a
# search (twice: cold, then warm) and of a prune that keeps half of the backups.
set -euo pipefail
cd "$(dirname "$(realpath "$0")")/.."
build=${1:-build}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(100 1000 10000)

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" >/dev/null 2>&1 ||
    { echo "configure failed" >&2; exit 1; }
fi
cmake --build "$build" -j2 --target places_bench >/dev/null 2>&1 || { echo "build failed" >&2; exit 1; }
bench=$(realpath "$build/tests/places_bench.exe")

export WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$(realpath -m "$build/bench-prefix")"
  [ -d "$WINEPREFIX/drive_c" ] || bash tools/make-prefix.sh "$WINEPREFIX"
fi
data="$WINEPREFIX/drive_c/places-bench"

for n in "${counts[@]}"; do
  rm -rf "$data"
  python3 - "$data" "$n" <<'PY'
import os, sys
data, n = sys.argv[1], int(sys.argv[2])
place = os.path.join(data, "place")
base = 1_600_000_000  # Unix seconds; Wine reports the write time as the creation time
for i in range(n):
    folder = os.path.join(place, "g%d" % (i // 100), "h%d" % (i // 10 % 10), "b%d" % i)
    os.makedirs(folder)
    ini = os.path.join(folder, "SURVIN.INI")
    with open(ini, "w", newline="") as f:
        f.write("[Files]\r\n0=SURVIN.EXE\r\n1=SURVIN.INI\r\n")
    open(os.path.join(folder, "SURVIN.EXE"), "w").close()
    os.utime(ini, (base + i * 60, base + i * 60))
with open(os.path.join(data, "RegOpt.ini"), "w", newline="") as f:
    f.write("[BackupDirs]\r\n0=C:\\places-bench\\place\\\r\n")
PY
  echo "N=$n"
  wine "$bench" 'C:\places-bench\' search | sed 's/^/  cold /'
  wine "$bench" 'C:\places-bench\' search | sed 's/^/  warm /'
  wine "$bench" 'C:\places-bench\' prune $((n / 2)) | sed 's/^/  /'
done
rm -rf "$data"
