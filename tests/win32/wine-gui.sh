#!/usr/bin/env bash
# An X display and a Wine prefix of their own for the window tests under Wine.
#   source wine-gui.sh; gui_start PREFIX WINE_RUN
#       starts Xvfb (DISPLAY) and creates PREFIX on first use (WINEPREFIX); the
#       prefix's wineserver and the display stop at exit (lib_cleanup of scripts/lib.sh)
#   wine-gui.sh PREFIX WINE_RUN PROGRAM [ARGS...]
#       runs PROGRAM under Wine (through WINE_RUN) on its own display and prefix
# The prefix is not the build's shared one: its wineserver is stopped at the end,
# and one display serves all of its windows.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

gui_start() {
  local prefix=$1 winerun=$2
  export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all}
  # The display comes first: a prefix booted without one can never open a window.
  lib_xvfb || return 1
  lib_at_exit gui_stop_wine "$prefix"
  # A prefix of its own, created once (10 to 20 s), and no server left from before.
  wineserver -k >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/.zeltra-gui" ]; then
    # Without a window manager, Wine waits 2 s for one at every hidden or closed
    # window unless it manages its windows itself.
    "$winerun" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 &&
      touch "$WINEPREFIX/.zeltra-gui"
  fi
}

# A wineserver that gets SIGHUP prints its object table: its output goes away.
gui_stop_wine() {
  WINEPREFIX=$1 wineserver -k >/dev/null 2>&1
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  [ $# -ge 3 ] || { echo "usage: wine-gui.sh PREFIX WINE_RUN PROGRAM [ARGS...]" >&2; exit 2; }
  prefix=$1 winerun=$2
  shift 2
  gui_start "$prefix" "$winerun" || exit 1
  "$winerun" "$@"
fi
