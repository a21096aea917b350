#!/usr/bin/env bash
# Creates a fresh Wine prefix shaped like a Windows 7 machine for one test or demo run.
# Usage: make-prefix.sh [--win64] <prefix folder>. The fragments in tools/prefix.d/ add the
# machine's state (hivelist values, hive files, drives) in name order.
# --win64 makes a 64-bit-only prefix instead (WINEARCH=win64, no 32-bit Windows in it, run
# by Wine's 64-bit loader), shaped by the fragments in tools/prefix.d/win64/: the recovery
# system in which the 64-bit restore program runs.
set -euo pipefail
fragments=prefix.d
if [ "${1:-}" = --win64 ]; then
  shift
  fragments=prefix.d/win64
  export WINEARCH=win64
  # The 64-bit loader itself: no 32-bit Linux binary takes part.
  for prefix_wine in /usr/lib/wine/wine64 /usr/lib64/wine/wine64 "$(command -v wine64 || true)"; do
    [ -x "$prefix_wine" ] && break
  done
  [ -x "$prefix_wine" ] || { echo "make-prefix: Wine's 64-bit loader (wine64) is missing" >&2; exit 1; }
  # The fragments and the steps below call it by the usual name.
  wine() { "$prefix_wine" "$@"; }
  wineboot() { "$prefix_wine" wineboot "$@"; }
fi
prefix=$(realpath -m "$1")
# shellcheck source=lib.sh
. "$(dirname "$(realpath "$0")")/lib.sh"
rm -rf "$prefix"
mkdir -p "$prefix"
tolmen_wine_env "$prefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
log="$prefix.log"

# wine_checked <command...>: runs a Wine command with its output kept aside; when it
# fails, says which command failed and prints everything it wrote.
wine_checked() {
  if ! "$@" >"$log" 2>&1; then
    echo "make-prefix: failed: $*" >&2
    cat "$log" >&2
    return 1
  fi
}

# make_prefix: wineboot into the empty folder; the registry reaches its files when the
# server ends. False, with Wine's output printed, when no prefix came of it.
make_prefix() {
  wine_checked wineboot -i || return 1
  wineserver -w
  if [ ! -f "$prefix/system.reg" ]; then
    echo "make-prefix: wineboot made no prefix in $prefix:" >&2
    cat "$log" >&2
    return 1
  fi
}
# Under the qemu route a start of Wine has been seen to fail once ("could not load
# kernel32.dll") and work the next time: one more try from nothing, after saying so.
if ! make_prefix; then
  echo "make-prefix: trying once more from an empty folder" >&2
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix" && mkdir -p "$prefix"
  make_prefix || exit 1
fi
# A crashed program must end and be reported, not wait in a dialog on the test display.
wine_checked wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
here=$TOLMEN_ROOT/tools
for fragment in "$here/$fragments"/*.sh; do
  [ -e "$fragment" ] || continue
  # shellcheck source=/dev/null
  . "$fragment"
done
wineserver -w
rm -f "$log"
