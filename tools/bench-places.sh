#!/usr/bin/env bash
# Benchmark of the backup search and a count prune under Wine (not a test), each beside
# the plainest thing the platform does with the same tree, in the same run.
# Usage: tools/bench-places.sh [--rounds N] [--bits 32|64|both] [--only search|prune] [count ...]
#        (default: 5 rounds, both, search and prune, counts 100 1000 10000)
#
# For each count, lays out that many backup folders below one place, spread over nested
# folders (100 per group, 10 per subgroup), each with SURVIN.INI and SURVIN.EXE and a
# distinct SURVIN.INI time, and measures with places_bench (times taken inside the
# process, so that process start does not count):
#   search: the program's search and a minimal walk of the same place (one
#           FindFirstFileExW listing of every folder, nothing else), alternating in one
#           process, each N times; goal: search <= 1.2 x walk
#   prune:  a prune that keeps half of the backups, and, on the same tree laid out
#           again, a minimal walk followed by plain deletions of the same backups (their
#           two files, the folder and its emptied parents), alternating, each N times;
#           goal: prune <= 1.5 x walk + deletions
# TOLMEN_WINE32_ROUTE (auto, native, qemu) chooses how 32-bit programs run: tools/wine-route.sh.
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$(realpath "$0")")/lib.sh"
root=$TOLMEN_ROOT
arguments=("$@")
usage="bench-places.sh [--rounds N] [--bits 32|64|both] [--only search|prune] [count ...]"
tolmen_bench_options "$usage" "$@"
only=""
counts=()
set -- ${bench_rest[@]+"${bench_rest[@]}"}
while [ $# -gt 0 ]; do
  case "$1" in
    --only) [ $# -ge 2 ] || { echo "usage: $usage" >&2; exit 2; }; only=$2; shift 2 ;;
    [0-9]*) counts+=("$1"); shift ;;
    *) echo "usage: $usage" >&2; exit 2 ;;
  esac
done
[ ${#counts[@]} -gt 0 ] || counts=(100 1000 10000)
tolmen_start ${arguments[@]+"${arguments[@]}"}
tolmen_build places_bench
tolmen_wine_env build/bench-places-prefix
tolmen_prefix --keep "$WINEPREFIX"
data="$WINEPREFIX/drive_c/places-bench"
wineserver -p
tolmen_at_exit 'wineserver -k >/dev/null 2>&1; rm -rf "$data"'

# layout <count>: the backup tree, RegOpt.ini naming its place, and oldest.txt listing the
# backups that a prune keeping half deletes.
layout() {
  rm -rf "$data"
  python3 - "$data" "$1" <<'PY'
import os, sys
data, n = sys.argv[1], int(sys.argv[2])
place = os.path.join(data, "place")
base = 1_600_000_000  # Unix seconds; Wine reports the write time as the creation time
oldest = []
for i in range(n):
    parts = ("g%d" % (i // 100), "h%d" % (i // 10 % 10), "b%d" % i)
    folder = os.path.join(place, *parts)
    os.makedirs(folder)
    ini = os.path.join(folder, "SURVIN.INI")
    with open(ini, "w", newline="") as f:
        f.write("[Files]\r\n0=SURVIN.EXE\r\n1=SURVIN.INI\r\n")
    open(os.path.join(folder, "SURVIN.EXE"), "w").close()
    os.utime(ini, (base + i * 60, base + i * 60))
    if i < n - n // 2:
        oldest.append("C:\\places-bench\\place\\%s\\\r\n" % "\\".join(parts))
with open(os.path.join(data, "RegOpt.ini"), "w", newline="") as f:
    f.write("[BackupDirs]\r\n0=C:\\places-bench\\place\\\r\n")
with open(os.path.join(data, "oldest.txt"), "w", newline="") as f:
    f.write("".join(oldest))
PY
}

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END {
  if (NR % 2) printf "%.4f", v[(NR + 1) / 2]; else printf "%.4f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" | head -n 1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
prune_ratio() { awk -v p="$1" -v d="$2" -v w="$3" 'BEGIN { if (w > 0) printf "%.2f", (p - d) / w; else printf "-" }'; }

# search_vs_walk <count> <loader> <places_bench>: prints the rounds; adds to the summary.
search_vs_walk() {
  echo "== N=$1, $width-bit: search and walk, alternating =="
  layout "$1"
  local out found search walk
  out=$("$2" "$3" 'C:\places-bench\' compare 'C:\places-bench\place\' "$rounds")
  echo "$out" | sed 's/^/  /'
  found=$(echo "$out" | sed -n 's/^search found=\([0-9]*\).*/\1/p')
  [ "$found" = "$1" ] || { echo "bench-places: the search found $found of $1 backups" >&2; exit 1; }
  search=$(echo "$out" | grep '^search')
  walk=$(echo "$out" | grep '^walk')
  summary+=("$(printf '%6s %s-bit  search %s s, walk %s s: search / walk = %s (cpu %s)' "$1" "$width" \
    "$(echo "$search" | field median)" "$(echo "$walk" | field median)" \
    "$(ratio "$(echo "$search" | field median)" "$(echo "$walk" | field median)")" \
    "$(ratio "$(echo "$search" | field cpu)" "$(echo "$walk" | field cpu)")")")
}

# prune_vs_deletions <count> <loader> <places_bench>: the prune and the plain walk and
# deletions, each on the tree laid out afresh; adds to the summary.
prune_vs_deletions() {
  echo "== N=$1, $width-bit: prune (keeps half), and walk plus deletions, alternating =="
  local prunes="" walks="" deletions="" prunes_cpu="" walks_cpu="" deletions_cpu="" out left round
  for round in $(seq 1 "$rounds"); do
    layout "$1"
    out=$("$2" "$3" 'C:\places-bench\' prune $(($1 / 2)))
    left=$(echo "$out" | field left)
    [ "$left" = $(($1 / 2)) ] || { echo "bench-places: the prune left $left of $1 backups" >&2; exit 1; }
    prunes="$prunes $(echo "$out" | field time)"
    prunes_cpu="$prunes_cpu $(echo "$out" | field cpu)"
    echo "  round $round: $out"
    layout "$1"
    out=$("$2" "$3" 'C:\places-bench\' delete 'C:\places-bench\place\' 'C:\places-bench\oldest.txt')
    left=$(find "$data/place" -name SURVIN.INI | wc -l)
    [ "$left" = $(($1 / 2)) ] || { echo "bench-places: the plain deletions left $left of $1 backups" >&2; exit 1; }
    walks="$walks $(echo "$out" | grep '^walk' | field time)"
    walks_cpu="$walks_cpu $(echo "$out" | grep '^walk' | field cpu)"
    deletions="$deletions $(echo "$out" | grep '^delete' | field time)"
    deletions_cpu="$deletions_cpu $(echo "$out" | grep '^delete' | field cpu)"
    echo "$out" | sed "s/^/  round $round: /"
  done
  local prune walk deletion
  prune=$(echo "$prunes" | median)
  walk=$(echo "$walks" | median)
  deletion=$(echo "$deletions" | median)
  summary+=("$(printf '%6s %s-bit  prune %s s, walk %s s, deletions %s s: (prune - deletions) / walk = %s (cpu %s)' \
    "$1" "$width" "$prune" "$walk" "$deletion" "$(prune_ratio "$prune" "$deletion" "$walk")" \
    "$(prune_ratio "$(echo "$prunes_cpu" | median)" "$(echo "$deletions_cpu" | median)" \
      "$(echo "$walks_cpu" | median)")")")
}

summary=()
for n in "${counts[@]}"; do
  for width in "${widths[@]}"; do
    loader=wine bench="$root/build/tests/bench/places_bench.exe"
    if [ "$width" = 64 ]; then loader=/usr/lib/wine/wine64; bench="$root/build/x64/tests/bench/places_bench.exe"; fi
    [ "$only" = prune ] || search_vs_walk "$n" "$loader" "$bench"
    [ "$only" = search ] || prune_vs_deletions "$n" "$loader" "$bench"
  done
done

echo
echo "Medians of $rounds rounds (wall clock; in brackets the same from the process's CPU time);" \
     "32-bit route: $WINE32_ROUTE; $(date +%F). Goals: search/walk <= 1.2; (prune - deletions) / walk <= 1.5"
printf '%s\n' "${summary[@]}"
