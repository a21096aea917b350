#!/usr/bin/env bash
# The main job: builds the programs, makes a Windows 7-like Wine prefix and runs one
# unattended backup into it, then shows what was written.
# Usage: demo.sh [--wizard] [--x64]
#   --wizard opens the backup wizard instead (needs a display); --x64 runs the 64-bit
#   Tolmen.exe instead of the 32-bit one.
# TOLMEN_WINE32_ROUTE (auto, native, qemu) chooses how 32-bit programs run: tools/wine-route.sh.
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$(realpath "$0")")/lib.sh"
wizard=no
program=dist/Tolmen.exe
for arg in "$@"; do
  case "$arg" in
    --wizard) wizard=yes ;;
    --x64) program=dist/x64/Tolmen.exe ;;
    *) echo "usage: demo.sh [--wizard] [--x64]" >&2; exit 2 ;;
  esac
done
tolmen_start "$@"
tolmen_build

tolmen_wine_env build/demo-prefix
tolmen_prefix "$WINEPREFIX"
cp "$program" "$WINEPREFIX/drive_c/Tolmen.exe"
[ -f dist/Tolmen.chm ] && cp dist/Tolmen.chm "$WINEPREFIX/drive_c/Tolmen.chm"

if [ "$wizard" = yes ]; then
  wine 'C:\Tolmen.exe'
  wineserver -w
  exit 0
fi

echo "Running ($program, 32-bit route: $WINE32_ROUTE): Tolmen.exe \"C:\\TolmenDemo\\<date>\\\" /silent"
code=0
wine 'C:\Tolmen.exe' 'C:\TolmenDemo\<date>\' /silent || code=$?
wineserver -w
echo "Tolmen.exe exit code: $code"
out="$WINEPREFIX/drive_c/TolmenDemo"
echo
echo "Backup written to $out (C:\\TolmenDemo in the prefix):"
if [ -d "$out" ]; then
  (cd "$out" && find . -type f -printf '%10s  %p\n' | sort -k2)
  for folder in "$out"/*/; do
    for name in SURVIN.INI SURVIN.WRC; do
      [ -f "$folder$name" ] || continue
      echo
      echo "== $folder$name (GBK, shown as UTF-8) =="
      iconv -f GBK -t UTF-8 "$folder$name" | tr -d '\r'
    done
  done
else
  echo "(nothing was written)"
fi
