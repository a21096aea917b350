# Shared start of the benchmark scripts (sourced, not run): set-up once, the 32-bit route,
# the widths asked for and the build of the benchmark drivers. Not a test.

# bench_widths 32|64|both: sets the array widths, or ends the script with a usage error.
bench_widths() {
  case "$1" in
    32) widths=(32) ;;
    64) widths=(64) ;;
    both) widths=(32 64) ;;
    *) echo "--bits takes 32, 64 or both" >&2; exit 2 ;;
  esac
}

# bench_enter SCRIPT [ARGUMENT...]: installs what is missing (outside the namespace only)
# and re-enters SCRIPT on the route that runs 32-bit programs (tools/wine-route.sh).
bench_enter() {
  if [ -z "${TOLMEN_WINE32_INSIDE:-}" ]; then
    bash tools/setup.sh
  fi
  # shellcheck source=wine-route.sh
  . tools/wine-route.sh
  wine_route_enter "$@"
}

# bench_build TARGET...: the programs, then TARGET... for both widths; the log is shown
# only when the build fails.
bench_build() {
  echo "Building (log: build/bench-build.log) ..."
  mkdir -p build
  { make -s programs && cmake --build build -j2 --target "$@" &&
    cmake --build build/x64 -j2 --target "$@"; } >build/bench-build.log 2>&1 ||
    { tail -40 build/bench-build.log; exit 1; }
}
