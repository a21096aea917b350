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
      make g++ python3 clang libclang-rt-14-dev locales libhivex-bin)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

as_root() {
  if [ "$(id -u)" -ne 0 ]; then echo "setup: run as root to install: $*" >&2; exit 1; fi
}

export DEBIAN_FRONTEND=noninteractive

# A mirror that is syncing makes `apt-get update` fail on one index for a while. Try a few
# times, then go on with the indexes apt has: only a failed install stops the set-up.
apt_update() {
  local try
  for try in 1 2 3; do
    apt-get update -qq && return 0
    echo "setup: apt-get update failed (try $try of 3)" >&2
    sleep $((try * 10))
  done
  echo "setup: going on with the package indexes apt has" >&2
  return 0
}

# apt_install <packages...>: installs; where that fails because one index was missing (the
# 32-bit packages then disagree with the 64-bit ones that a security update brought),
# tries once more from package lists made without the security suites, kept apart from
# apt's own lists. apt's own words are printed when both fail.
apt_install() {
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
  echo "setup: install failed; trying again without the security suites" >&2
  local alt
  alt=$(mktemp -d)
  chmod 755 "$alt"  # apt fetches as its own user
  mkdir -p "$alt/parts" "$alt/lists/partial"
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -v -- '-security' "$f" >>"$alt/sources.list"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 stanzas are separated by blank lines; drop those of a security suite.
    awk 'BEGIN { RS=""; ORS="\n\n" } !/Suites:[^\n]*-security/' "$f" >"$alt/parts/$(basename "$f")"
  done
  local opts=(-o "Dir::Etc::SourceList=$alt/sources.list" -o "Dir::Etc::SourceParts=$alt/parts"
              -o "Dir::State::Lists=$alt/lists")
  apt-get "${opts[@]}" update -qq || true
  local rc=0
  apt-get "${opts[@]}" install -y -qq --no-install-recommends "$@" >/dev/null || rc=$?
  rm -rf "$alt"
  return $rc
}

if [ ${#missing[@]} -gt 0 ]; then
  as_root "${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt_update
  apt_install "${missing[@]}"
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
    apt_update
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
  fi
fi
