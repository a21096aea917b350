#!/usr/bin/env bash
# Installs every Debian package that building and testing need. Safe to run again.
set -euo pipefail
need=(g++-mingw-w64-i686 mingw-w64-tools wine wine32 wine64 xvfb xauth imagemagick
      dosbox fonts-wqy-microhei googletest libgtest-dev fp-utils cmake make g++ python3)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then echo "setup: run as root to install: ${missing[*]}" >&2; exit 1; fi
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
