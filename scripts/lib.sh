# Helpers for the scripts and the shell tests (bash): an X display of their own, the
# tracker emulator's start-up, and stopping at exit whatever they started.
#   source scripts/lib.sh        (installs lib_cleanup as the EXIT trap)
#
#   lib_xvfb [--reuse]   starts Xvfb (1280x1024x24) on a free display and exports
#                        DISPLAY; with --reuse a display that already answers is kept.
#                        lib_xvfb_pid is the server's process, empty when none was started.
#   lib_wait_ready [-t SECONDS] [-p PID] OUT [LOG...]
#                        waits (10 s unless -t) until the emulator has printed its
#                        "ready <pty>" line into OUT; otherwise, or as soon as PID has
#                        ended, says so, shows OUT and the LOGs, and returns 1.
#   lib_track PID        stops PID at exit (TERM, KILL 5 s later); lib_untrack PID forgets it
#   lib_at_exit CMD [ARGS...]   runs CMD at exit
#   lib_cleanup          all of that now, the last registered first (again only what
#                        was registered since)
# Messages start with $lib_who (the script's name unless the caller sets it).
[ -n "${lib_loaded:-}" ] && return 0
lib_loaded=1
lib_who=${lib_who:-${0##*/}}
lib_xvfb_pid=
lib_undo=()  # the clean-up steps as command lines, run from the last
lib_dir=     # the helpers' own files (Xvfb's output)

lib_at_exit() {
  lib_undo+=("$(printf '%q ' "$@")")
}

lib_track() {
  lib_at_exit lib_stop "$1"
}

lib_untrack() {
  local step kept=() gone
  gone=$(printf '%q ' lib_stop "$1")
  for step in "${lib_undo[@]}"; do
    [ "$step" = "$gone" ] || kept+=("$step")
  done
  lib_undo=("${kept[@]}")
}

# Whether PID runs (a zombie does not).
lib_alive() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}

lib_stop() {
  local pid=$1 i
  if kill "$pid" 2>/dev/null; then
    for ((i = 0; i < 50; i++)); do
      lib_alive "$pid" || break
      sleep 0.1
    done
    if lib_alive "$pid"; then kill -KILL "$pid" 2>/dev/null; fi
  fi
  wait "$pid" 2>/dev/null
  return 0
}

lib_cleanup() {
  local i
  for ((i = ${#lib_undo[@]} - 1; i >= 0; i--)); do
    eval "${lib_undo[i]}" || true
  done
  lib_undo=()
  lib_xvfb_pid=
  if [ -n "$lib_dir" ]; then rm -rf "$lib_dir"; fi
  lib_dir=
  return 0
}
# Only in this shell: a child forked for a background command and stopped before
# it starts its program runs the EXIT trap too (and there even $BASHPID may still be
# this shell's), so the process asks the kernel who it is.
read -r lib_shell _ </proc/self/stat
trap 'read -r lib_self _ </proc/self/stat; [ "$lib_self" != "$lib_shell" ] || lib_cleanup' EXIT

lib_display_answers() {
  [ -n "${DISPLAY:-}" ] || return 1
  # Without x11-utils a set DISPLAY is taken as it is.
  command -v xdpyinfo >/dev/null || return 0
  xdpyinfo >/dev/null 2>&1
}

lib_xvfb() {
  local number= fifo
  if [ "${1:-}" = --reuse ] && lib_display_answers; then
    return 0
  fi
  if ! command -v Xvfb >/dev/null; then
    echo "$lib_who: Xvfb is not installed (scripts/install-deps installs it)" >&2
    return 1
  fi
  if [ -z "$lib_dir" ]; then
    lib_dir=$(mktemp -d "${TMPDIR:-/tmp}/zeltra-lib.XXXXXX") || return 1
  fi
  # The server picks a free display and writes its number once it takes connections;
  # -noreset: it would reset (and refuse connections meanwhile) whenever its last
  # client leaves, as a probe such as xdpyinfo does.
  fifo=$lib_dir/displayfd
  rm -f "$fifo"
  mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" >"$lib_dir/xvfb.log" 2>&1 &
  lib_xvfb_pid=$!
  lib_track "$lib_xvfb_pid"
  read -r -t 20 number <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$number" ]; then
    echo "$lib_who: Xvfb did not start:" >&2
    cat "$lib_dir/xvfb.log" >&2
    lib_stop "$lib_xvfb_pid"
    lib_untrack "$lib_xvfb_pid"
    lib_xvfb_pid=
    return 1
  fi
  export DISPLAY=:$number
}

lib_wait_ready() {
  local OPTIND opt seconds=10 pid= why= i f
  while getopts t:p: opt; do
    case $opt in
      t) seconds=$OPTARG ;;
      p) pid=$OPTARG ;;
      *) return 2 ;;
    esac
  done
  shift $((OPTIND - 1))
  if [ $# -lt 1 ] || [[ ! $seconds =~ ^[0-9]+$ ]]; then
    echo "usage: lib_wait_ready [-t SECONDS] [-p PID] OUT [LOG...]" >&2
    return 2
  fi
  for ((i = 0; i < seconds * 20; i++)); do
    grep -q '^ready ' "$1" 2>/dev/null && return 0
    if [ -n "$pid" ] && ! lib_alive "$pid"; then
      grep -q '^ready ' "$1" 2>/dev/null && return 0
      why="it ended without its \"ready\" line"
      break
    fi
    sleep 0.05
  done
  echo "$lib_who: the tracker emulator did not start (${why:-no \"ready\" line within $seconds s}):" >&2
  for f in "$@"; do
    if [ -s "$f" ]; then cat "$f" >&2; fi
  done
  return 1
}
