# shellcheck shell=bash
# The one start of every script that builds or runs the programs (sourced, never run):
# the test command, the demo, the benchmarks and the fuzz run. Sourcing it moves to the top
# of the work tree (TOLMEN_ROOT) and brings the Wine route of tools/wine-route.sh.
#
#   tolmen_setup                   installs what is missing (tools/setup.sh), outside the
#                                  namespace only
#   tolmen_start [ARG...]          set-up, then the 32-bit route: on the qemu route the
#                                  script runs again with ARGs inside the namespace
#   tolmen_build [--all] [TARGET...]
#                                  the programs (make programs; --all: make all), then the
#                                  CMake TARGETs of both widths; the output goes to a log
#                                  that is shown when the build fails
#   tolmen_host_build SOURCE BUILD [CMAKE-ARG...]
#                                  a host CMake project (the DOS program's host tests, the
#                                  fuzz target), its output shown when it fails
#   tolmen_wine_env PREFIX         the environment of every Wine run: WINEPREFIX, WINEDEBUG,
#                                  LANG and LC_ALL zh_CN.UTF-8 (the ANSI code page 936)
#   tolmen_prefix [--win64] [--keep] PREFIX [FILE...]
#                                  a test prefix (tools/make-prefix.sh); --keep makes it only
#                                  when it is missing or its recipe changed (the builder,
#                                  its fragments and the FILEs of the caller's own steps,
#                                  which then stamps it: tolmen_prefix_stamp PREFIX FILE...);
#                                  TOLMEN_PREFIX_MADE says yes or no
#   tolmen_widths 32|64|both       the array widths of a benchmark's --bits
#   tolmen_bench_options USAGE ARG...
#                                  a benchmark's common options: --rounds N (rounds, 5) and
#                                  --bits 32|64|both (widths, both); the others are left in
#                                  bench_rest; a bad one prints "usage: USAGE" and exits 2
#   tolmen_wine_up PREFIX          a Wine server for the prefix that stays (the caller ends
#                                  it: wineserver -k), with its session (services, desktop)
#                                  started by one short program within 3 minutes; once more
#                                  from a new server when that fails
#   tolmen_display [--own]         a virtual display (Xvfb) unless DISPLAY is usable;
#                                  --own: a new one in any case (for a second set of
#                                  Windows programs whose windows must not meet the first)
#   tolmen_wine_checked COMMAND... a Wine step: its output is kept aside and printed, with
#                                  the command, when it fails
#   tolmen_at_exit COMMAND         run when the script ends (last added, first run)
#   tolmen_seconds START           seconds since START (an $EPOCHREALTIME), one decimal

# The script that sourced this, by its full path (it runs again on the qemu route).
TOLMEN_SCRIPT=$(realpath "$0")
TOLMEN_ROOT=$(realpath "$(dirname "${BASH_SOURCE[0]}")/..")
cd "$TOLMEN_ROOT" || exit 1
# shellcheck source=wine-route.sh
. "$TOLMEN_ROOT/tools/wine-route.sh"

tolmen_exit_commands=()
tolmen_run_exit_commands() {
  local i
  for ((i = ${#tolmen_exit_commands[@]} - 1; i >= 0; i--)); do
    eval "${tolmen_exit_commands[$i]}" || true
  done
}
trap tolmen_run_exit_commands EXIT

tolmen_at_exit() { tolmen_exit_commands+=("$1"); }

tolmen_seconds() { awk -v s="$1" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.1f", e - s }'; }

tolmen_setup() {
  [ -n "${TOLMEN_WINE32_INSIDE:-}" ] && return 0
  bash "$TOLMEN_ROOT/tools/setup.sh" || exit 1
}

tolmen_start() {
  tolmen_setup
  wine_route_enter "$TOLMEN_SCRIPT" "$@"
}

# The log of this script's builds: build/<script>-build.log.
tolmen_build_log() { echo "$TOLMEN_ROOT/build/$(basename "${0%.sh}")-build.log"; }

tolmen_build() {
  local goal=programs
  if [ "${1:-}" = --all ]; then goal=all; shift; fi
  local log started=$EPOCHREALTIME
  log=$(tolmen_build_log)
  mkdir -p "$TOLMEN_ROOT/build"
  echo "Building (make $goal${1:+, then $*}; log: ${log#"$TOLMEN_ROOT"/}) ..."
  if ! {
    make -s -C "$TOLMEN_ROOT" "$goal" &&
      if [ $# -gt 0 ]; then
        cmake --build "$TOLMEN_ROOT/build" -j2 --target "$@" &&
          cmake --build "$TOLMEN_ROOT/build/x64" -j2 --target "$@"
      fi
  } >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "the build failed (log: $log)" >&2
    exit 1
  fi
  echo "built in $(tolmen_seconds "$started") s"
}

tolmen_host_build() {
  local source=$1 build=$2
  shift 2
  mkdir -p "$build"
  if ! { cmake -S "$source" -B "$build" "$@" &&
         cmake --build "$build" -j2; } >"$build/build.log" 2>&1; then
    tail -n 40 "$build/build.log" >&2
    echo "the build of $source failed (log: $build/build.log)" >&2
    return 1
  fi
}

tolmen_wine_env() {
  export WINEPREFIX
  WINEPREFIX=$(realpath -m "$1")
  export WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
}

tolmen_wine_checked() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    echo "failed: $*" >&2
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

# What a kept prefix is made from: the prefix builder, its fragments and any further
# files a caller names (its own steps after the prefix).
tolmen_prefix_recipe() {
  cat "$TOLMEN_ROOT/tools/make-prefix.sh" "$TOLMEN_ROOT"/tools/prefix.d/*.sh "$@" | sha1sum | cut -d' ' -f1
}
# tolmen_prefix_current PREFIX [FILE...]: true when the prefix was made by this recipe.
tolmen_prefix_current() {
  local prefix=$1
  shift
  [ "$(cat "$prefix/.tolmen-recipe" 2>/dev/null)" = "$(tolmen_prefix_recipe "$@")" ]
}
# tolmen_prefix_stamp PREFIX [FILE...]: records that the prefix is made by this recipe.
tolmen_prefix_stamp() {
  local prefix=$1
  shift
  tolmen_prefix_recipe "$@" >"$prefix/.tolmen-recipe"
}

tolmen_prefix() {
  local win64=() keep=no
  while [ $# -gt 1 ]; do
    case "$1" in
      --win64) win64=(--win64) ;;
      --keep) keep=yes ;;
      *) break ;;
    esac
    shift
  done
  local prefix started=$EPOCHREALTIME
  prefix=$(realpath -m "$1")
  shift
  TOLMEN_PREFIX_MADE=no
  if [ "$keep" = yes ] && tolmen_prefix_current "$prefix" "$@"; then return 0; fi
  echo "Making a Wine prefix in ${prefix#"$TOLMEN_ROOT"/}${win64:+ (64-bit only)} ..."
  bash "$TOLMEN_ROOT/tools/make-prefix.sh" ${win64[@]+"${win64[@]}"} "$prefix" || exit 1
  TOLMEN_PREFIX_MADE=yes
  [ "$keep" = yes ] && [ $# -eq 0 ] && tolmen_prefix_stamp "$prefix"
  echo "prefix ${prefix#"$TOLMEN_ROOT"/} made in $(tolmen_seconds "$started") s"
}

tolmen_wine_up() {
  local prefix try
  prefix=$(realpath -m "$1")
  for try in 1 2; do
    # A start of Wine under heavy load has been seen to crash in its session start-up, and
    # the program then waits five minutes for it: the bound ends that wait early.
    if WINEPREFIX=$prefix wineserver -p &&
       WINEPREFIX=$prefix tolmen_wine_checked timeout 180 wine reg query 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog; then
      return 0
    fi
    echo "the Wine session of ${prefix#"$TOLMEN_ROOT"/} did not start (try $try of 2)" >&2
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  done
  return 1
}

tolmen_widths() {
  case "$1" in
    32) widths=(32) ;;
    64) widths=(64) ;;
    both) widths=(32 64) ;;
    *) echo "--bits takes 32, 64 or both" >&2; exit 2 ;;
  esac
}

tolmen_bench_options() {
  local usage=$1
  shift
  rounds=5
  bench_rest=()
  local bits=both
  while [ $# -gt 0 ]; do
    case "$1" in
      --rounds|--bits)
        [ $# -ge 2 ] || { echo "usage: $usage" >&2; exit 2; }
        if [ "$1" = --rounds ]; then rounds=$2; else bits=$2; fi
        shift 2 ;;
      *) bench_rest+=("$1"); shift ;;
    esac
  done
  tolmen_widths "$bits"
}

tolmen_display() {
  if [ "${1:-}" != --own ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n _ pid
  for n in $(seq 90 120); do
    if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then continue; fi
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do
      # Another script may have taken the number meanwhile: this Xvfb then ends.
      kill -0 "$pid" 2>/dev/null || continue 2
      if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
        tolmen_at_exit "kill $pid 2>/dev/null"
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
    echo "Xvfb did not start on display :$n within 10 s" >&2
    exit 1
  done
  echo "no free display number between :90 and :120 for Xvfb" >&2
  exit 1
}
