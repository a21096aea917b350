#!/usr/bin/env bash
# Fuzzes the DOS restore program's SURVIN.INI reader and copy-command building for a
# bounded time (libFuzzer through clang, with the address and undefined-behaviour
# sanitizers) on the host, starting from the seeds in tests/dosrestore/fuzz/seeds/. The
# target is the CMake project tests/dosrestore/fuzz, built into build/fuzz-dos/.
# Usage: tools/fuzz-dos.sh [seconds] (default 60). Exits non-zero on a crash, with the
# input that caused it in build/fuzz-dos/.
set -uo pipefail
# shellcheck source=lib.sh
. "$(dirname "$(realpath "$0")")/lib.sh"
seconds=${1:-60}
out=build/fuzz-dos
tolmen_setup
tolmen_host_build tests/dosrestore/fuzz "$out" || exit 1
mkdir -p "$out/corpus"
cp -n tests/dosrestore/fuzz/seeds/* "$out/corpus/"

log="$out/run.log"
(cd "$out" && ./survin_ini_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
   -print_final_stats=1 corpus) >"$log" 2>&1
status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
if [ $status -ne 0 ]; then
  tail -n 40 "$log" >&2
  echo "fuzz-dos: FAILED after ${runs:-?} executions (log: $log; crashing input: $out/crash-*)" >&2
  exit 1
fi
echo "fuzz-dos: ${runs:-?} executions in ${seconds} s, no crash ($(ls "$out/corpus" | wc -l) inputs in the corpus)"
