#!/usr/bin/env bash
# Builds everything and runs every test: the layering and import checks, the DOS program's
# host tests and a fuzz run, then the Windows tests under Wine on virtual displays in two
# lanes side by side, each in a fresh test prefix of its own: the 32-bit backup program's
# suites (and the DOS program under DOSBox) in one; in the other the 64-bit programs'
# tests (those of the backup program whose behaviour depends on the width, see
# tests/CMakeLists.txt, and the 64-bit restore program's test in a 64-bit-only prefix),
# then the 32-bit restore program's suites. Exits non-zero when any test fails.
# TOLMEN_WINE32_ROUTE (auto, native, qemu) chooses how 32-bit programs run: tools/wine-route.sh.
# Arguments go to every ctest run, e.g. `tools/test.sh -R hive_tests` runs one suite.
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
# comes after those, Wine's output on a failure included. The second lane of tests gets
# a copy of the test prefix (below).
tolmen_wine_env build/wineprefix
prefix_pids=""
tolmen_at_exit 'for pid in $prefix_pids; do kill "$pid" 2>/dev/null; done'
(tolmen_prefix build/wineprefix &&
   started=$EPOCHREALTIME && rm -rf build/wineprefix2 && cp -a build/wineprefix build/wineprefix2 &&
   echo "copied to build/wineprefix2 in $(tolmen_seconds "$started") s") >build/test-prefix.log 2>&1 &
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
# Two lanes of tests, each in a test prefix of its own (so with a Wine server, registry and
# single-instance mutexes of its own) and on a display of its own: the suites of one
# prefix take turns on the programs' single instance and so mostly use one core. The
# first lane runs the 32-bit backup program's suites; the second, in a copy of the
# prefix, the 64-bit programs' tests and then the 32-bit restore program's suites (label
# "restore"). The second lane's report follows the first one's.
tolmen_at_exit "WINEPREFIX='$TOLMEN_ROOT/build/x64/wineprefix64' wineserver -k >/dev/null 2>&1"
tolmen_display
display1=$DISPLAY
tolmen_display --own
display2=$DISPLAY
export DISPLAY=$display1
# Each lane's prefix keeps one Wine server from here to the end, its session started and
# checked now on the lane's display: the suites do not start it again one after the other.
tolmen_at_exit "WINEPREFIX='$TOLMEN_ROOT/build/wineprefix' wineserver -k >/dev/null 2>&1"
tolmen_at_exit "WINEPREFIX='$TOLMEN_ROOT/build/wineprefix2' wineserver -k >/dev/null 2>&1"
started_up=$EPOCHREALTIME
DISPLAY=$display1 tolmen_wine_up build/wineprefix &
up1=$!
DISPLAY=$display2 tolmen_wine_up build/wineprefix2 &
up2=$!
up_status=0
wait $up1 || up_status=1
wait $up2 || up_status=1
[ $up_status -eq 0 ] || exit 1
echo "the Wine sessions of both test prefixes started in $(tolmen_seconds "$started_up") s"

# A suite that runs longer than this has hung: ctest ends it and counts it failed.
suite_limit=600
lane_log=build/test-second-lane.log
(
  export WINEPREFIX="$TOLMEN_ROOT/build/wineprefix2" DISPLAY=$display2
  lane_status=0
  echo "== Windows tests of the 64-bit programs: what depends on the width, and SURVIN64.EXE in a 64-bit-only prefix =="
  (cd build/x64 && ctest --output-on-failure -j2 --timeout $suite_limit "$@") || lane_status=1
  echo "== Windows tests of the 32-bit restore program (32-bit route: $WINE32_ROUTE) =="
  (cd build && ctest --output-on-failure -j2 --timeout $suite_limit -L restore "$@") || lane_status=1
  exit $lane_status
) >"$lane_log" 2>&1 &
lane_pid=$!
tolmen_at_exit '[ -z "$lane_pid" ] || kill "$lane_pid" 2>/dev/null'
echo "== Windows tests, 32-bit programs but the restore program's (32-bit route: $WINE32_ROUTE) =="
(cd build && ctest --output-on-failure -j2 --timeout $suite_limit -LE restore "$@") || status=1
wait "$lane_pid" || status=1
lane_pid=""
cat "$lane_log"
echo "tests took $(tolmen_seconds "$started") s after set-up (32-bit route: $WINE32_ROUTE)"
exit $status
