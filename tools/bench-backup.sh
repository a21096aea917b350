#!/usr/bin/env bash
# Benchmark of the backup itself under Wine (not a test): an unattended backup by
# Tolmen.exe beside the fastest thing the platform does with the same hives, in one run,
# alternating, each repeated. Prints every time, the medians and their ratios.
#
# Usage: tools/bench-backup.sh [--rounds N] [--bits 32|64|both] [--no-held]
#
# The prefix (build/bench-backup-prefix, made once and kept while its recipe is
# unchanged) has a hivelist of 25 hives whose files hold about 210 MiB, written by
# tools/bench-hives.py in Wine's own hive format. Each run loads those files into their
# keys first, so that the keys hold what the files hold.
#
# Each round runs, one after the other:
#   (a) Tolmen.exe <new folder> /silent /reg:suo, RegOpt.ini beside it with VerifyHives=0
#   (b) save_bench save: RegSaveKeyExW of the same keys into a new folder, nothing else
#   (a) the same with VerifyHives=1 (each saved hive loaded once to prove it loads)
#   (c) save_bench copy: CopyFileW of the same hive files into a new folder
#   and, to show where Tolmen.exe's own time goes, Tolmen.exe given the Windows folder,
#   which it refuses after finding the hives: its start, hive discovery and end alone
# Wine does not hold hive files open, so Tolmen.exe copies them, and (c) is the floor of
# what it does there. With --no-held left out, a second part holds every hive file open
# without sharing, as a running Windows does, so that Tolmen.exe saves through the
# registry, and alternates that with (b).
# Every time is the wall time of the whole process, start-up included, for both sides.
# The 32-bit programs are compared with the 32-bit save_bench, the 64-bit with the 64-bit.
# As on Windows, the desktop runs throughout (on a virtual display): Wine would otherwise
# start it again for every run of the GUI program, and never for save_bench.
# After each run the folder is checked: its size, and which files were copied (their
# header is the one bench-hives.py writes) and which the registry saved.
# TOLMEN_WINE32_ROUTE (auto, native, qemu) chooses how 32-bit programs run: tools/wine-route.sh.
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$(realpath "$0")")/lib.sh"
root=$TOLMEN_ROOT
arguments=("$@")
usage="bench-backup.sh [--rounds N] [--bits 32|64|both] [--no-held]"
tolmen_bench_options "$usage" "$@"
held=yes
for option in ${bench_rest[@]+"${bench_rest[@]}"}; do
  [ "$option" = --no-held ] || { echo "usage: $usage" >&2; exit 2; }
  held=no
done
tolmen_start ${arguments[@]+"${arguments[@]}"}
tolmen_build save_bench start_bench
tolmen_wine_env build/bench-backup-prefix
wine64=/usr/lib/wine/wine64
bench32="$root/build/tests/bench/save_bench.exe"
bench64="$root/build/x64/tests/bench/save_bench.exe"
list='C:\bench-hives.txt'
drive_c="$WINEPREFIX/drive_c"

tolmen_prefix --keep "$WINEPREFIX" tools/bench-hives.py
if [ "$TOLMEN_PREFIX_MADE" = yes ]; then
  started=$EPOCHREALTIME
  user=$(sed -n '/ProfileList\\\\S-1-5-21-0-0-0-1000\]/,/^$/s/^"ProfileImagePath"="C:\\\\users\\\\\(.*\)"$/\1/p' \
    "$WINEPREFIX/system.reg" | head -n 1)
  [ -n "$user" ] || user=${USER:-$(id -un)}
  python3 tools/bench-hives.py "$drive_c" "$user" "$drive_c/bench-hives.txt" "$drive_c/bench-hivelist.reg"
  tolmen_wine_checked wine reg delete 'HKLM\SYSTEM\CurrentControlSet\Control\hivelist' /f
  tolmen_wine_checked wine reg import 'C:\bench-hivelist.reg'
  # The files of the keys that Wine has hold those keys' own content.
  "$wine64" "$bench64" store "$list"
  wineserver -w
  tolmen_prefix_stamp "$WINEPREFIX" tools/bench-hives.py
  echo "hives written and loaded in $(tolmen_seconds "$started") s"
fi

hive_count=$(wc -l <"$drive_c/bench-hives.txt")
hive_bytes=0
while IFS=$'\t' read -r _ _ file _; do
  host=$(find "$drive_c" -ipath "$drive_c/$(echo "${file#C:\\}" | tr '\\' '/')" -print -quit)
  hive_bytes=$((hive_bytes + $(stat -c %s "$host")))
done <"$drive_c/bench-hives.txt"
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }

# The loaded keys live as long as this wineserver.
tolmen_display
wineserver -p
holder=""
cleanup() {
  if [ -n "$holder" ]; then "$wine64" "$bench64" release || true; wait "$holder" || true; fi
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$drive_c/bench-out" "$drive_c"/bench-*.ready
}
tolmen_at_exit cleanup
# wait_for <file>: until a helper started in the background says it is ready.
wait_for() {
  for _ in $(seq 1 600); do [ -e "$1" ] && return 0; sleep 0.1; done
  echo "bench-backup: no $(basename "$1") after 60 s" >&2
  exit 1
}
"$wine64" "$root/build/x64/tests/bench/start_bench.exe" --keep-desktop 'C:\bench-desktop.ready' &
wait_for "$drive_c/bench-desktop.ready"
started=$EPOCHREALTIME
"$wine64" "$bench64" load "$list"
echo "$hive_count hives, $(mib "$hive_bytes") MiB of hive files; loaded into their keys in" \
     "$(awk -v s="$started" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.1f", e - s }') s"

mkdir -p "$drive_c/bench/x86" "$drive_c/bench/x64" "$drive_c/bench-out"
cp dist/Tolmen.exe dist/Tolmen.chm "$drive_c/bench/x86/"
cp dist/x64/Tolmen.exe dist/x64/Tolmen.chm "$drive_c/bench/x64/"

declare -A times
run=0
# measure <variant> <bits>: one timed run into a new folder; the folder is checked and removed.
measure() {
  local variant=$1 width=$2 loader=wine bench=$bench32 arch=x86 folder
  if [ "$width" = 64 ]; then loader=$wine64; bench=$bench64; arch=x64; fi
  local program="C:\\bench\\$arch\\Tolmen.exe"
  run=$((run + 1))
  folder="C:\\bench-out\\$run"
  local host="$drive_c/bench-out/$run"
  case "$variant" in
    tolmen0|tolmen1|held)
      local verify=0
      [ "$variant" = tolmen1 ] && verify=1
      printf '[Settings]\r\nVerifyHives=%s\r\n' "$verify" >"$drive_c/bench/$arch/RegOpt.ini"
      ;;
  esac
  local start=$EPOCHREALTIME code=0
  case "$variant" in
    tolmen0|tolmen1|held) "$loader" "$program" "$folder\\" /silent /reg:suo || code=$? ;;
    refused) "$loader" "$program" 'C:\windows\' /silent /reg:suo || code=$? ;;
    save) "$loader" "$bench" save "$list" "$folder" || code=$? ;;
    copy) "$loader" "$bench" copy "$list" "$folder" || code=$? ;;
  esac
  local end=$EPOCHREALTIME
  # The refused run must end with an error code, every other with success.
  if { [ "$variant" = refused ] && [ "$code" = 0 ]; } || { [ "$variant" != refused ] && [ "$code" != 0 ]; }; then
    echo "bench-backup: $variant ($width-bit) exited with $code" >&2
    exit 1
  fi
  local seconds
  seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
  times[$variant.$width]="${times[$variant.$width]:-} $seconds"
  if [ "$variant" = refused ]; then
    [ ! -e "$drive_c/windows/SURVIN.INI" ] || { echo "bench-backup: a backup went into C:\windows" >&2; exit 1; }
    printf '  %-8s %s-bit %7.3f s\n' "$variant" "$width" "$seconds"
    return
  fi
  local written copied
  written=$(du -sb "$host" 2>/dev/null | cut -f1)
  # A copy keeps the header that bench-hives.py wrote; the platform's save writes its own.
  copied=$({ grep -rlF --include='*.DAT' --include='*.dat' --include='*.hiv' 'relative to REGISTRY\\USER' \
    "$host" || true; } | wc -l)
  rm -rf "$host"
  if [ -z "$written" ] || [ "$written" -lt $((hive_bytes * 9 / 10)) ]; then
    echo "bench-backup: $variant ($width-bit) wrote $(mib "${written:-0}") MiB of $(mib "$hive_bytes") MiB" >&2
    exit 1
  fi
  printf '  %-8s %s-bit %7.3f s  %s MiB, %2d of %d hives copied\n' "$variant" "$width" "$seconds" \
    "$(mib "$written")" "$copied" "$hive_count"
}

median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END {
  if (NR % 2) printf "%.3f", v[(NR + 1) / 2]; else printf "%.3f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

for width in "${widths[@]}"; do
  echo "== $width-bit: warm-up (not counted) =="
  for variant in tolmen0 save copy; do measure "$variant" "$width"; done
  times=()
  for round in $(seq 1 "$rounds"); do
    echo "== $width-bit: round $round of $rounds =="
    for variant in tolmen0 save tolmen1 copy refused; do measure "$variant" "$width"; done
  done
  for variant in tolmen0 save tolmen1 copy refused; do
    eval "median_${variant}_$width=$(echo "${times[$variant.$width]}" | median)"
  done
done

if [ "$held" = yes ]; then
  "$wine64" "$bench64" hold "$list" 'C:\bench-held.ready' &
  holder=$!
  wait_for "$drive_c/bench-held.ready"
  for width in "${widths[@]}"; do
    echo "== $width-bit, hive files held open: warm-up (not counted) =="
    measure held "$width"
    measure save "$width"
    times[save.$width]=""
    for round in $(seq 1 "$rounds"); do
      echo "== $width-bit, hive files held open: round $round of $rounds =="
      for variant in held save; do measure "$variant" "$width"; done
    done
    eval "median_held_$width=$(echo "${times[held.$width]}" | median)"
    eval "median_heldsave_$width=$(echo "${times[save.$width]}" | median)"
  done
  "$wine64" "$bench64" release
  wait "$holder"
  holder=""
fi

echo
echo "Backup of $hive_count hives, $(mib "$hive_bytes") MiB; medians of $rounds runs, alternating;" \
     "32-bit route: $WINE32_ROUTE; $(date +%F)"
for width in "${widths[@]}"; do
  eval "a0=\$median_tolmen0_$width a1=\$median_tolmen1_$width b=\$median_save_$width c=\$median_copy_$width"
  eval "r=\$median_refused_$width"
  echo "$width-bit:"
  echo "  (a) Tolmen.exe, hive check off  $a0 s"
  echo "  (a) Tolmen.exe, hive check on   $a1 s"
  echo "  (b) RegSaveKeyExW only          $b s"
  echo "  (c) CopyFileW only              $c s"
  echo "  ratio a/b: $(ratio "$a0" "$b") (check off; goal <= 1.10), $(ratio "$a1" "$b") (check on)"
  echo "  ratio a/c: $(ratio "$a0" "$c") (check off)"
  echo "  Tolmen.exe's start, discovery and end alone (a refused folder): $r s"
  if [ "$held" = yes ]; then
    eval "h=\$median_held_$width hb=\$median_heldsave_$width"
    echo "  hive files held open: Tolmen.exe $h s, RegSaveKeyExW only $hb s, ratio $(ratio "$h" "$hb")"
  fi
done
