#!/usr/bin/env bash
# Builds everything and runs every test: host tests, then the Windows tests under Wine
# in a fresh prefix on a virtual display, first against the 32-bit programs, then the
# backup program's tests against the 64-bit Tolmen.exe and the 64-bit restore program's
# test in a second, 64-bit-only prefix. Exits non-zero when any test fails.
# TOLMEN_WINE32_ROUTE (auto, native, qemu) chooses how 32-bit programs run: tools/wine-route.sh.
# Arguments go to both ctest runs, e.g. `tools/test.sh -R hive_tests` runs one suite.
set -uo pipefail
cd "$(dirname "$(realpath "$0")")/.."
root=$(pwd)
if [ -z "${TOLMEN_WINE32_INSIDE:-}" ]; then
  bash tools/setup.sh || exit 1
fi
# shellcheck source=wine-route.sh
. tools/wine-route.sh
wine_route_enter "$0" "$@"
started=$(date +%s)
make -s all || exit 1
echo "build took $(( $(date +%s) - started )) s"

status=0
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
# Host-side tests (no Windows needed).
for project in tests/dosrestore/host/; do
  [ -f "$project/CMakeLists.txt" ] || continue
  name=dos
  cmake -S "$project" -B "build/host-$name" -DCMAKE_BUILD_TYPE=Release >/dev/null || { status=1; continue; }
  cmake --build "build/host-$name" -j2 >/dev/null || { echo "host build $name failed"; status=1; continue; }
  (cd "build/host-$name" && ctest --output-on-failure) || status=1
done
# A short bounded fuzzing run of the DOS program's SURVIN.INI reader (TOLMEN_FUZZ_SECONDS,
# 0 skips it).
if [ "${TOLMEN_FUZZ_SECONDS:-60}" -gt 0 ]; then
  bash tools/fuzz-dos.sh "${TOLMEN_FUZZ_SECONDS:-60}" || status=1
fi

export WINEPREFIX="$root/build/wineprefix"
export WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
bash tools/make-prefix.sh "$WINEPREFIX" || exit 1
# The 64-bit-only prefix of the 64-bit restore program's test (tests/CMakeLists.txt).
win64_started=$(date +%s)
WINEPREFIX="$root/build/x64/wineprefix64" bash tools/make-prefix.sh --win64 "$root/build/x64/wineprefix64" || exit 1
echo "64-bit-only prefix took $(( $(date +%s) - win64_started )) s"
# shellcheck source=/dev/null
. tools/xvfb.sh
cleanup() {
  wineserver -k >/dev/null 2>&1
  WINEPREFIX="$root/build/x64/wineprefix64" wineserver -k >/dev/null 2>&1
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" >/dev/null 2>&1
}
trap cleanup EXIT

echo "== Windows tests, 32-bit programs (32-bit route: $WINE32_ROUTE) =="
(cd build && ctest --output-on-failure -j2 --timeout 900 "$@") || status=1
echo "== Windows tests of the 64-bit programs: the backup program, and SURVIN64.EXE in a 64-bit-only prefix =="
(cd build/x64 && ctest --output-on-failure -j2 --timeout 900 "$@") || status=1
echo "tests took $(( $(date +%s) - started )) s after set-up (32-bit route: $WINE32_ROUTE)"
exit $status
