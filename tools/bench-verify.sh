#!/usr/bin/env bash
# What the load check of every saved hive costs (not a test): alternating unattended backups
# of the test prefix's whole hivelist (/reg:suo) by the real Tolmen.exe, with VerifyHives=1
# and VerifyHives=0 in its RegOpt.ini. Prints each run's wall and CPU time (the program's and
# the Wine server's; steadier than the wall time on a busy machine), the medians and ratios.
# Usage: tools/bench-verify.sh [--x64] [rounds]   (default 5 rounds of one run each way)
# Builds the programs and runs them in a test prefix (build/verify-bench-prefix, made once and
# kept while its recipe is unchanged). TOLMEN_WINE32_ROUTE chooses how 32-bit programs run
# (tools/wine-route.sh).
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$(realpath "$0")")/lib.sh"
program=dist/Tolmen.exe
rounds=5
for arg in "$@"; do
  case "$arg" in
    --x64) program=dist/x64/Tolmen.exe ;;
    [0-9]*) rounds=$arg ;;
    *) echo "usage: bench-verify.sh [--x64] [rounds]" >&2; exit 2 ;;
  esac
done
tolmen_start "$@"
tolmen_build
tolmen_wine_env build/verify-bench-prefix
tolmen_prefix --keep "$WINEPREFIX"
bench="$WINEPREFIX/drive_c/verify-bench"
rm -rf "$bench"
mkdir -p "$bench"
cp "$program" "$bench/Tolmen.exe"
# A server that stays up: every run pays the same process start, not the server's.
wineserver -p
tolmen_at_exit 'wineserver -k >/dev/null 2>&1; rm -rf "$bench" "${timing:-}" "${errors:-}"'
# The server of this prefix (others may run for other prefixes): loading a hive is largely
# its work, so its CPU time counts with the program's.
server=""
for pid in $(pgrep -x wineserver64 || true) $(pgrep -x wineserver || true); do
  if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; then server=$pid; fi
done
ticks=$(getconf CLK_TCK)
# CPU milliseconds the server has used so far (0 when it was not found).
server_ms() {
  [ -n "$server" ] && [ -r "/proc/$server/stat" ] || { echo 0; return; }
  awk -v t="$ticks" '{ sub(/^.*\) /, ""); print int(($12 + $13) * 1000 / t) }' "/proc/$server/stat"
}
# One run to warm the caches; not counted.
wine 'C:\verify-bench\Tolmen.exe' 'C:\verify-bench\out\warm\' /reg:suo /silent || true

now() { date +%s%N; }
timing=$(mktemp)
errors=$(mktemp)
TIMEFORMAT='%3U %3S'
declare -a on off on_cpu off_cpu
for ((i = 1; i <= rounds; i++)); do
  for mode in 1 0; do
    printf '[Settings]\r\nVerifyHives=%s\r\n' "$mode" >"$bench/RegOpt.ini"
    server0=$(server_ms)
    start=$(now)
    code=0
    { time wine 'C:\verify-bench\Tolmen.exe' "C:\\verify-bench\\out\\$i-$mode\\" /reg:suo /silent 2>"$errors" || code=$?; } 2>"$timing"
    # Wine's own words of a failed run.
    [ "$code" -eq 0 ] || cat "$errors" >&2
    ms=$(( ($(now) - start) / 1000000 ))
    cpu=$(( $(awk '{ print int(($1 + $2) * 1000) }' "$timing") + $(server_ms) - server0 ))
    hives=$(find "$bench/out/$i-$mode" -type f ! -name 'SURVIN.*' ! -name '*.chm' | wc -l)
    echo "round $i VerifyHives=$mode: wall ${ms} ms, cpu ${cpu} ms, exit code $code, $hives hives"
    if [ "$mode" = 1 ]; then on+=("$ms"); on_cpu+=("$cpu"); else off+=("$ms"); off_cpu+=("$cpu"); fi
  done
done

median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
echo "$program, 32-bit route $WINE32_ROUTE, $rounds rounds${server:+, server CPU included}"
report() {
  local what=$1 a b
  a=$(median "${@:2:$rounds}")
  b=$(median "${@:$((rounds + 2))}")
  awk -v w="$what" -v a="$a" -v b="$b" \
    'BEGIN { printf "%s median with the check %.0f ms, without %.0f ms: ratio %.2f (%+.0f ms per backup)\n", w, a, b, a / b, a - b }'
}
report wall "${on[@]}" "${off[@]}"
report cpu "${on_cpu[@]}" "${off_cpu[@]}"
