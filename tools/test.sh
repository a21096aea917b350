#!/usr/bin/env bash
# Builds everything and runs every test: host tests, then the Windows tests under Wine
# in a fresh prefix on a virtual display, first against the 32-bit programs, then the
# 64-bit programs' tests: those of the backup program whose behaviour depends on the width
# (tests/CMakeLists.txt) and the 64-bit restore program's test in a second, 64-bit-only
# prefix. Exits non-zero when any test fails.
# TOLMEN_WINE32_ROUTE (auto, native, qemu) chooses how 32-bit programs run: tools/wine-route.sh.
# Arguments go to both ctest runs, e.g. `tools/test.sh -R hive_tests` runs one suite.
# TOLMEN_FUZZ_SECONDS is the length of the fuzz run (60 by default; 0 skips it).
set -uo pipefail
# shellcheck source=lib.sh
. "$(dirname "$(realpath "$0")")/lib.sh"
tolmen_start "$@"
started=$EPOCHREALTIME
tolmen_build --all

status=0
# The test prefixes are made while the checks, the host tests and the fuzz run go on (the
# fuzz run takes its seconds whatever else runs), the two at the same time; what they print
# comes after those, Wine's output on a failure included. The 64-bit programs' tests get
# a copy of the test prefix (below).
tolmen_wine_env build/wineprefix
prefix_pids=""
tolmen_at_exit 'for pid in $prefix_pids; do kill "$pid" 2>/dev/null; done'
(tolmen_prefix build/wineprefix &&
   started=$EPOCHREALTIME && rm -rf build/x64/wineprefix && cp -a build/wineprefix build/x64/wineprefix &&
   echo "copied to build/x64/wineprefix in $(tolmen_seconds "$started") s") >build/test-prefix.log 2>&1 &
prefix_pids="$!"
tolmen_prefix --win64 build/x64/wineprefix64 >build/x64/test-prefix64.log 2>&1 &
prefix_pids="$prefix_pids $!"

# The engines stay apart from the wizards, without include circles.
python3 tools/check-engine-includes.py || status=1
# The shipped programs import only what the oldest Windows they start on exports: the
# 32-bit ones Windows NT 4.0 (Tolmen.exe to show its note there), the 64-bit Tolmen.exe
# the first 64-bit Windows.
python3 tools/check-imports.py --floor NT4 --list tools/imports/win32.txt dist/Tolmen.exe dist/Survin.exe || status=1
python3 tools/check-imports.py --floor 2003 --list tools/imports/win32.txt --list tools/imports/x64.txt \
  dist/x64/Tolmen.exe || status=1
# The 64-bit restore program (SURVIN64.EXE in every backup) only what the Windows PE of
# Windows 7 x64 has, on which the Windows RE of 64-bit Windows 7 and later is built.
python3 tools/check-imports.py --floor 7 --list tools/imports/win32.txt --list tools/imports/x64.txt \
  --dlls tools/imports/winpe3-x64.txt dist/x64/Survin.exe || status=1
# Host-side tests of the DOS program (no Windows needed).
if tolmen_host_build tests/dosrestore/host build/host-dos -DCMAKE_BUILD_TYPE=Release; then
  (cd build/host-dos && ctest --output-on-failure) || status=1
else
  status=1
fi
# A short bounded fuzzing run of the DOS program's SURVIN.INI reader.
if [ "${TOLMEN_FUZZ_SECONDS:-60}" -gt 0 ]; then
  bash tools/fuzz-dos.sh "${TOLMEN_FUZZ_SECONDS:-60}" || status=1
fi

prefix_status=0
for pid in $prefix_pids; do wait "$pid" || prefix_status=1; done
prefix_pids=""
cat build/test-prefix.log build/x64/test-prefix64.log
[ $prefix_status -eq 0 ] || exit 1
tolmen_at_exit "wineserver -k >/dev/null 2>&1"

# The 64-bit programs' tests run beside the 32-bit ones (which mostly take turns on one
# core): in their copy of the test prefix, so with a Wine server, registry and
# single-instance mutexes of their own, and on a display of their own. Their report
# follows the 32-bit one.
tolmen_at_exit "WINEPREFIX='$TOLMEN_ROOT/build/x64/wineprefix' wineserver -k >/dev/null 2>&1"
tolmen_at_exit "WINEPREFIX='$TOLMEN_ROOT/build/x64/wineprefix64' wineserver -k >/dev/null 2>&1"
tolmen_display
display32=$DISPLAY
tolmen_display --own
display64=$DISPLAY
export DISPLAY=$display32

# A suite that runs longer than this has hung: ctest ends it and counts it failed.
suite_limit=600
x64_log=build/x64/ctest.log
(cd build/x64 && WINEPREFIX="$TOLMEN_ROOT/build/x64/wineprefix" DISPLAY=$display64 \
   ctest --output-on-failure -j2 --timeout $suite_limit "$@") >"$x64_log" 2>&1 &
x64_pid=$!
tolmen_at_exit '[ -z "$x64_pid" ] || kill "$x64_pid" 2>/dev/null'
echo "== Windows tests, 32-bit programs (32-bit route: $WINE32_ROUTE) =="
(cd build && ctest --output-on-failure -j2 --timeout $suite_limit "$@") || status=1
wait "$x64_pid" || status=1
x64_pid=""
echo "== Windows tests of the 64-bit programs: what depends on the width, and SURVIN64.EXE in a 64-bit-only prefix =="
cat "$x64_log"
echo "tests took $(tolmen_seconds "$started") s after set-up (32-bit route: $WINE32_ROUTE)"
exit $status
