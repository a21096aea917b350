#!/usr/bin/env bash
# What the load check of every saved hive costs (not a test): alternating unattended backups
# of the test prefix's whole hivelist (/reg:suo) by the real Tolmen.exe, with VerifyHives=1
# and VerifyHives=0 in its RegOpt.ini. Prints each run's wall time, the medians and their ratio.
# Usage: tools/bench-verify.sh [--x64] [rounds]   (default 5 rounds of one run each way)
# Uses dist/ as built by make; makes a Wine prefix in build/verify-bench-prefix unless
# WINEPREFIX is set. TOLMEN_WINE32_ROUTE chooses how 32-bit programs run (tools/wine-route.sh).
set -euo pipefail
cd "$(dirname "$(realpath "$0")")/.."
# shellcheck source=wine-route.sh
. tools/wine-route.sh
wine_route_enter "$0" "$@"
program=dist/Tolmen.exe
rounds=5
for arg in "$@"; do
  case "$arg" in
    --x64) program=dist/x64/Tolmen.exe ;;
    [0-9]*) rounds=$arg ;;
    *) echo "usage: bench-verify.sh [--x64] [rounds]" >&2; exit 2 ;;
  esac
done
[ -f "$program" ] || { echo "$program is missing: run make first" >&2; exit 1; }

export WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$(realpath -m build/verify-bench-prefix)"
  [ -d "$WINEPREFIX/drive_c" ] || bash tools/make-prefix.sh "$WINEPREFIX"
fi
bench="$WINEPREFIX/drive_c/verify-bench"
rm -rf "$bench"
mkdir -p "$bench"
cp "$program" "$bench/Tolmen.exe"
# A server that stays up: every run pays the same process start, not the server's.
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$bench"' EXIT
# One run to warm the caches; not counted.
wine 'C:\verify-bench\Tolmen.exe' 'C:\verify-bench\out\warm\' /reg:suo /silent || true

now() { date +%s%N; }
declare -a on off
for ((i = 1; i <= rounds; i++)); do
  for mode in 1 0; do
    printf '[Settings]\r\nVerifyHives=%s\r\n' "$mode" >"$bench/RegOpt.ini"
    start=$(now)
    code=0
    wine 'C:\verify-bench\Tolmen.exe' "C:\\verify-bench\\out\\$i-$mode\\" /reg:suo /silent || code=$?
    ms=$(( ($(now) - start) / 1000000 ))
    hives=$(find "$bench/out/$i-$mode" -type f ! -name 'SURVIN.*' ! -name '*.chm' | wc -l)
    echo "round $i VerifyHives=$mode: ${ms} ms, exit code $code, $hives hives"
    if [ "$mode" = 1 ]; then on+=("$ms"); else off+=("$ms"); fi
  done
done

median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
m_on=$(median "${on[@]}")
m_off=$(median "${off[@]}")
echo "$program, 32-bit route $WINE32_ROUTE, $rounds rounds"
echo "median with the check: $m_on ms, without: $m_off ms"
awk -v a="$m_on" -v b="$m_off" 'BEGIN { printf "ratio with/without: %.2f (the check adds %.0f ms per backup)\n", a / b, a - b }'
