#!/usr/bin/env bash
# Runs the Win32 serial port test under Wine against the native tracker emulator:
# starts zeltra-trackersim on a pseudo-terminal, maps a free COM port of the Wine
# prefix to it, runs the test program through scripts/wine-run, and cleans up.
#   wine-comport.sh NATIVE_TRACKERSIM TEST_EXE WINE_RUN [gtest options]
# Exits 77 (skipped) when the native emulator has not been built.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
sim=$1 exe=$2 winerun=$3
shift 3
if [ ! -x "$sim" ]; then
  echo "SKIPPED: the native emulator $sim is not built (build the native tree," \
       "or configure with -DZELTRA_NATIVE_BIN_DIR=<native build>/bin)"
  exit 77
fi
prefix=${WINEPREFIX:-$("$winerun" --print-prefix "$exe")}
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all}
work=$(mktemp -d "${TMPDIR:-/tmp}/zeltra-wine-com.XXXXXX")
lib_at_exit rm -rf "$work"
link=

"$sim" --own-session --no-register --link "$work/port" --control "$work/control" --log "$work/log" \
  >"$work/out" 2>"$work/err" &
simpid=$!
lib_track $simpid
lib_wait_ready -p $simpid "$work/out" "$work/err" || exit 1
touch "$work/log"

# The prefix must exist before a COM port can be mapped in it.
if [ ! -d "$prefix/dosdevices" ]; then
  "$winerun" "$exe" --gtest_list_tests >/dev/null 2>&1 || true
fi
# A free COM number: ln fails if another test took it first.
for n in $(seq 20 250); do
  if ln -s "$work/port" "$prefix/dosdevices/com$n" 2>/dev/null; then
    link="$prefix/dosdevices/com$n"
    lib_at_exit rm -f "$link"
    break
  fi
done
[ -n "$link" ] || { echo "no free COM port in $prefix/dosdevices"; exit 1; }

export ZELTRA_TEST_COM="COM$n"
export ZELTRA_TEST_DIR="Z:${work//\//\\}"
"$winerun" "$exe" --gtest_color=no "$@"
