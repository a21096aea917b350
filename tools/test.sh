#!/usr/bin/env bash
# Builds everything and runs every test: host tests, then the Windows tests under Wine
# in a fresh prefix on a virtual display. Exits non-zero when any test fails.
set -uo pipefail
cd "$(dirname "$(realpath "$0")")/.."
root=$(pwd)
bash tools/setup.sh || exit 1
make -s all || exit 1

status=0
# Host-side tests (no Windows needed).
for project in tests/host/*/; do
  [ -f "$project/CMakeLists.txt" ] || continue
  name=$(basename "$project")
  cmake -S "$project" -B "build/host-$name" -DCMAKE_BUILD_TYPE=Release >/dev/null || { status=1; continue; }
  cmake --build "build/host-$name" -j2 >/dev/null || { echo "host build $name failed"; status=1; continue; }
  (cd "build/host-$name" && ctest --output-on-failure) || status=1
done

export WINEPREFIX="$root/build/wineprefix"
export WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
bash tools/make-prefix.sh "$WINEPREFIX" || exit 1
# shellcheck source=/dev/null
. tools/xvfb.sh
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" >/dev/null 2>&1
}
trap cleanup EXIT

(cd build && ctest --output-on-failure -j2 --timeout 900) || status=1
exit $status
