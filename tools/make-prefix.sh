#!/usr/bin/env bash
# Creates a fresh Wine prefix shaped like a Windows 7 machine for one test or demo run.
# Usage: make-prefix.sh <prefix folder>. The fragments in tools/prefix.d/ add the
# machine's state (hivelist values, hive files, drives) in name order.
set -euo pipefail
prefix=$(realpath -m "$1")
rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wineboot -i >/dev/null 2>&1
wineserver -w
here=$(dirname "$(realpath "$0")")
for fragment in "$here"/prefix.d/*.sh; do
  [ -e "$fragment" ] || continue
  # shellcheck source=/dev/null
  . "$fragment"
done
wineserver -w
