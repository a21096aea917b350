# Sourced by the scripts that run Windows programs: decides how 32-bit programs run under
# Wine on this machine, and puts the calling script on that route.
#
# Debian's Wine starts every 32-bit Windows program through its 32-bit Linux loader. Some
# kernels refuse 32-bit Linux binaries ("Exec format error"); there the scripts run inside a
# private user and mount namespace whose own binfmt_misc instance hands 32-bit Linux
# binaries to a static qemu-i386. The host's binfmt settings are never touched.
#
#   TOLMEN_WINE32_ROUTE=auto    (default) native where the kernel runs 32-bit binaries
#   TOLMEN_WINE32_ROUTE=native  always run 32-bit binaries directly
#   TOLMEN_WINE32_ROUTE=qemu    always go through qemu-i386, also where not needed

# True when this kernel executes a 32-bit Linux binary (Debian's i386 loader).
wine_route_kernel_runs_i386() {
  [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# Prints the route to use: native or qemu.
wine_route_choose() {
  case "${TOLMEN_WINE32_ROUTE:-auto}" in
    native) echo native ;;
    qemu) echo qemu ;;
    auto)
      if wine_route_kernel_runs_i386; then echo native; else echo qemu; fi ;;
    *)
      echo "TOLMEN_WINE32_ROUTE must be auto, native or qemu (not '$TOLMEN_WINE32_ROUTE')" >&2
      return 1 ;;
  esac
}

# The qemu-i386 that the route uses (tools/setup.sh installs a recent one).
wine_route_qemu() {
  local q
  for q in /usr/bin/qemu-i386 /usr/bin/qemu-i386-static; do
    [ -x "$q" ] && { echo "$q"; return 0; }
  done
  return 1
}

# wine_route_enter <script> [arguments]: on the qemu route, runs the script again inside a
# namespace with qemu registered for 32-bit binaries and never returns; on the native
# route, or when already inside, returns at once. Exports WINE32_ROUTE (native or qemu).
wine_route_enter() {
  if [ -n "${TOLMEN_WINE32_INSIDE:-}" ]; then
    export WINE32_ROUTE=qemu
    return 0
  fi
  local route qemu
  route=$(wine_route_choose) || exit 1
  export WINE32_ROUTE=$route
  [ "$route" = qemu ] || return 0
  qemu=$(wine_route_qemu) || {
    echo "32-bit programs need qemu-i386 here, and no static qemu-i386 is installed;" >&2
    echo "run tools/setup.sh as root (it installs qemu-user from bookworm-backports)." >&2
    exit 1
  }
  echo "32-bit Linux binaries run through $qemu ($($qemu --version | head -n 1))" \
       "in a private namespace (TOLMEN_WINE32_ROUTE=${TOLMEN_WINE32_ROUTE:-auto})."
  # The entry's magic and mask select i386 ELF executables and shared objects; the F flag
  # opens qemu now, so the interpreter is found from inside any later mount namespace.
  local entry=":tolmen-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F"
  TOLMEN_WINE32_INSIDE=1 exec unshare --user --map-root-user --mount sh -c '
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || {
      echo "cannot mount a private binfmt_misc (needs Linux 6.7 or later, and user namespaces)" >&2
      exit 1; }
    printf "%s" "$1" > /proc/sys/fs/binfmt_misc/register || {
      echo "cannot register qemu-i386 in the private binfmt_misc" >&2; exit 1; }
    shift
    exec "$@"' sh "$entry" bash "$@"
}
