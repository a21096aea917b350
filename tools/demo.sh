#!/usr/bin/env bash
# The main job: builds the programs, makes a Windows 7-like Wine prefix and runs one
# unattended backup into it, then shows what was written.
# Usage: demo.sh [--wizard]   (--wizard opens the backup wizard instead, needs a display)
set -euo pipefail
cd "$(dirname "$(realpath "$0")")/.."
root=$(pwd)
bash tools/setup.sh
echo "Building the programs (log: build/demo-build.log) ..."
mkdir -p build
make -s programs >build/demo-build.log 2>&1 || { tail -40 build/demo-build.log; exit 1; }

export WINEPREFIX="$root/build/demo-prefix"
export WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
echo "Making a Windows 7-shaped Wine prefix in $WINEPREFIX ..."
bash tools/make-prefix.sh "$WINEPREFIX" 2>/dev/null
cp dist/Tolmen.exe "$WINEPREFIX/drive_c/Tolmen.exe"
[ -f dist/Tolmen.chm ] && cp dist/Tolmen.chm "$WINEPREFIX/drive_c/Tolmen.chm"

if [ "${1:-}" = "--wizard" ]; then
  wine 'C:\Tolmen.exe'
  wineserver -w
  exit 0
fi

echo "Running: Tolmen.exe \"C:\\TolmenDemo\\<date>\\\" /silent"
wine 'C:\Tolmen.exe' 'C:\TolmenDemo\<date>\' /silent
wineserver -w
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
