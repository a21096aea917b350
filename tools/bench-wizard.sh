#!/usr/bin/env bash
# Benchmark of the wizard's start under Wine on a virtual display (not a test): the time
# from starting Tolmen.exe without arguments to its welcome page being visible, beside
# the time a minimal wizard sheet of one empty page (sheet_bench) needs, alternating in
# one run. Prints every time, the medians and their ratio (goal: <= 1.5).
# Usage: tools/bench-wizard.sh [--rounds N] [--bits 32|64|both]   (default: 5, both)
#
# start_bench (64-bit) starts each program and polls for a visible sheet with a visible
# page ("visible"), then waits until the program waits for input ("idle"), then closes
# it. The 32-bit Tolmen.exe is compared with the 32-bit sheet, the 64-bit with the
# 64-bit. As on Windows, the desktop runs throughout.
# TOLMEN_WINE32_ROUTE (auto, native, qemu) chooses how 32-bit programs run: tools/wine-route.sh.
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$(realpath "$0")")/lib.sh"
root=$TOLMEN_ROOT
arguments=("$@")
usage="bench-wizard.sh [--rounds N] [--bits 32|64|both]"
tolmen_bench_options "$usage" "$@"
[ ${#bench_rest[@]} -eq 0 ] || { echo "usage: $usage" >&2; exit 2; }
tolmen_start ${arguments[@]+"${arguments[@]}"}
tolmen_build sheet_bench start_bench
tolmen_wine_env build/bench-wizard-prefix
tolmen_prefix --keep "$WINEPREFIX"
drive_c="$WINEPREFIX/drive_c"
wine64=/usr/lib/wine/wine64
driver="$root/build/x64/tests/bench/start_bench.exe"

tolmen_display
wineserver -p
tolmen_at_exit 'wineserver -k >/dev/null 2>&1; rm -f "$drive_c/bench-desktop.ready"'
rm -f "$drive_c/bench-desktop.ready"
"$wine64" "$driver" --keep-desktop 'C:\bench-desktop.ready' &
for _ in $(seq 1 600); do [ -e "$drive_c/bench-desktop.ready" ] && break; sleep 0.1; done
[ -e "$drive_c/bench-desktop.ready" ] || { echo "bench-wizard: the desktop did not start" >&2; exit 1; }

# A program folder without RegOpt.ini: the wizard starts with the default settings.
for arch in x86 x64; do
  rm -rf "$drive_c/bench-wizard/$arch"
  mkdir -p "$drive_c/bench-wizard/$arch"
done
cp dist/Tolmen.exe dist/Tolmen.chm "$drive_c/bench-wizard/x86/"
cp dist/x64/Tolmen.exe dist/x64/Tolmen.chm "$drive_c/bench-wizard/x64/"
cp build/tests/bench/sheet_bench.exe "$drive_c/bench-wizard/x86/"
cp build/x64/tests/bench/sheet_bench.exe "$drive_c/bench-wizard/x64/"

declare -A visible idle
# measure <tolmen|sheet> <arch>
measure() {
  local program=Tolmen.exe out
  [ "$1" = sheet ] && program=sheet_bench.exe
  out=$("$wine64" "$driver" "C:\\bench-wizard\\$2\\$program") ||
    { echo "bench-wizard: start_bench for $program ($2) exited with $?" >&2; exit 1; }
  local v i
  v=$(echo "$out" | sed -n 's/^visible //p')
  i=$(echo "$out" | sed -n 's/^idle //p')
  [ -n "$v" ] || { echo "bench-wizard: no time for $program ($2)" >&2; exit 1; }
  visible[$1.$2]="${visible[$1.$2]:-} $v"
  idle[$1.$2]="${idle[$1.$2]:-} $i"
  printf '  %-6s %s  visible %s s  idle %s s\n' "$1" "$2" "$v" "$i"
}
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END {
  if (NR % 2) printf "%.3f", v[(NR + 1) / 2]; else printf "%.3f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

for width in "${widths[@]}"; do
  arch=x86
  [ "$width" = 64 ] && arch=x64
  echo "== $width-bit: warm-up (not counted) =="
  measure tolmen "$arch"
  measure sheet "$arch"
  visible=() idle=()
  for round in $(seq 1 "$rounds"); do
    echo "== $width-bit: round $round of $rounds =="
    measure tolmen "$arch"
    measure sheet "$arch"
  done
  eval "tv_$width=$(echo "${visible[tolmen.$arch]}" | median) ti_$width=$(echo "${idle[tolmen.$arch]}" | median)"
  eval "sv_$width=$(echo "${visible[sheet.$arch]}" | median) si_$width=$(echo "${idle[sheet.$arch]}" | median)"
done

echo
echo "Wizard start, medians of $rounds runs, alternating; 32-bit route: $WINE32_ROUTE; $(date +%F)"
for width in "${widths[@]}"; do
  eval "tv=\$tv_$width ti=\$ti_$width sv=\$sv_$width si=\$si_$width"
  echo "$width-bit: Tolmen.exe visible $tv s (idle $ti s), minimal sheet visible $sv s (idle $si s);" \
       "ratio $(ratio "$tv" "$sv") (goal <= 1.5), idle $(ratio "$ti" "$si")"
done
