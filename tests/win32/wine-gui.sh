#!/usr/bin/env bash
# An X display and a Wine prefix of their own for the window tests under Wine.
#   source wine-gui.sh; gui_start PREFIX WINE_RUN; ...; gui_stop
#       starts Xvfb (DISPLAY), creates PREFIX on first use (WINEPREFIX) and stops
#       both again; gui_stop runs on exit when gui_start installed the trap
#   wine-gui.sh PREFIX WINE_RUN PROGRAM [ARGS...]
#       runs PROGRAM under Wine (through WINE_RUN) on its own display and prefix
# The prefix is not the build's shared one: its wineserver is stopped at the end,
# and one display serves all of its windows.
gui_xvfb_pid=

gui_start() {
  local prefix=$1 winerun=$2 fifo
  export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all}
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/zeltra-xvfb.XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  gui_xvfb_pid=$!
  local display
  read -r -t 20 display <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$display" ]; then
    echo "wine-gui: Xvfb did not start"
    return 1
  fi
  export DISPLAY=:$display
  # A prefix of its own, created once (10 to 20 s), and no server left from before.
  wineserver -k >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/.zeltra-gui" ]; then
    # Without a window manager, Wine waits 2 s for one at every hidden or closed
    # window unless it manages its windows itself.
    "$winerun" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 &&
      touch "$WINEPREFIX/.zeltra-gui"
  fi
}

gui_stop() {
  # A wineserver that gets SIGHUP prints its object table: its output goes away.
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
  if [ -n "$gui_xvfb_pid" ]; then
    kill "$gui_xvfb_pid" 2>/dev/null
    wait "$gui_xvfb_pid" 2>/dev/null
    gui_xvfb_pid=
  fi
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  [ $# -ge 3 ] || { echo "usage: wine-gui.sh PREFIX WINE_RUN PROGRAM [ARGS...]" >&2; exit 2; }
  prefix=$1 winerun=$2
  shift 2
  trap gui_stop EXIT
  gui_start "$prefix" "$winerun" || exit 1
  "$winerun" "$@"
fi
