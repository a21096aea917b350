#!/usr/bin/env bash
# Installs every Debian package that building and testing need. Safe to run again.
# Where this kernel cannot run 32-bit Linux binaries (or TOLMEN_WINE32_ROUTE=qemu), it also
# installs qemu-user from bookworm-backports for the route in tools/wine-route.sh.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
# shellcheck source=wine-route.sh
. "$here/wine-route.sh"

need=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine32 wine64 xvfb xauth
      x11-utils imagemagick dosbox fonts-wqy-microhei googletest libgtest-dev fp-utils cmake
      make g++ python3 clang libclang-rt-14-dev locales)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

as_root() {
  if [ "$(id -u)" -ne 0 ]; then echo "setup: run as root to install: $*" >&2; exit 1; fi
}

export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  as_root "${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests run Wine under zh_CN.UTF-8: without that locale on the host, Wine cannot store
# file names outside ASCII (a backup folder such as C:\Bk\Jörg).
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  as_root "the zh_CN.UTF-8 locale"
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# The qemu route wants a recent qemu-i386: bookworm's 7.2 crashed in some Wine runs.
route=$(wine_route_choose)
if [ "$route" = qemu ]; then
  version=$( { /usr/bin/qemu-i386 --version 2>/dev/null || true; } | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
  if [ -z "$version" ] || [ "$version" -lt 10 ]; then
    as_root "qemu-user (from bookworm-backports)"
    list=/etc/apt/sources.list.d/bookworm-backports.sources
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$list"
    fi
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
  fi
fi
