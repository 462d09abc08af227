#!/usr/bin/env bash
# The scripts' shared helpers (scripts/lib.sh, scripts/with-xvfb) against real
# processes: Xvfb servers, the tracker emulator on a pseudo-terminal, and scripts that
# end normally, with an error or by a signal. Each case is a script of its own.
#   scripts-lib-test.sh BIN_DIR      (BIN_DIR holds zeltra-trackersim)
# Exits 77 (skipped) without Xvfb, xdpyinfo or the emulator.
set -uo pipefail
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
sim=$1/zeltra-trackersim
for tool in Xvfb xdpyinfo ps; do
  command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed (scripts/install-deps)"; exit 77; }
done
[ -x "$sim" ] || { echo "SKIPPED: $sim is not built"; exit 77; }
source "$scripts/lib.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/zeltra-lib-test.XXXXXX")
lib_at_exit rm -rf "$work"

passed=0 failed=0
expect() {  # expect WHAT COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
running() { local s; s=$(ps -o stat= -p "$1" 2>/dev/null) && [[ $s != Z* ]]; }
stopped() { ! running "$1"; }
answers() { DISPLAY=$1 xdpyinfo >/dev/null 2>&1; }
silent() { ! answers "$1"; }
contains() { grep -qF -- "$2" "$1"; }
same() { [ "$1" = "$2" ]; }
differ() { [ "$1" != "$2" ]; }
# run_case BODY: BODY as a script that sources the helpers; its output in $work/out,
# its exit status in $rc (124 when it hangs).
run_case() {
  rm -f "$work/pids" "$work/out"
  printf 'source %q\nlib_who=case\nwork=%q\n%s\n' "$scripts/lib.sh" "$work" "$1" >"$work/case.sh"
  timeout -k 5 60 bash "$work/case.sh" >"$work/out" 2>&1
  rc=$?
}
# Every process a case recorded in $work/pids has been stopped.
all_stopped() {
  local p
  for p in $(cat "$work/pids" 2>/dev/null); do stopped "$p" || return 1; done
  [ -s "$work/pids" ]
}

lib_xvfb || exit 1
outer=$DISPLAY
dead=:4711
silent $dead || { echo "display $dead is in use: cannot test a display that does not answer"; exit 1; }

# ---- lib_xvfb: a display of its own, or the one there is ----
#   case | DISPLAY before | argument | a server of its own
displays=(
  "no display, --reuse||--reuse|yes"
  "an answering display, --reuse|$outer|--reuse|no"
  "a display that does not answer, --reuse|$dead|--reuse|yes"
  "an answering display, no --reuse|$outer||yes"
)
for row in "${displays[@]}"; do
  IFS='|' read -r what before arg own <<<"$row"
  run_case "$(printf 'DISPLAY=%q\nlib_xvfb %s || exit 9\necho "$DISPLAY ${lib_xvfb_pid:-none} $(xdpyinfo >/dev/null 2>&1 && echo answers)"' "$before" "$arg")"
  read -r display pid answered <"$work/out"
  expect "$what: starts (status $rc: $(cat "$work/out"))" same "$rc" 0
  expect "$what: DISPLAY answers" same "$answered" answers
  if [ "$own" = yes ]; then
    expect "$what: a server of its own" differ "$pid" none
    expect "$what: a new display" differ "$display" "$before"
    expect "$what: the server stops at exit" stopped "$pid"
    expect "$what: the display is gone at exit" silent "$display"
  else
    expect "$what: no server of its own" same "$pid" none
    expect "$what: the display kept" same "$display" "$before"
  fi
  expect "$what: the outer display still answers" answers "$outer"
done
# A server that resets whenever its last client leaves refuses the next one now and then.
run_case 'lib_xvfb || exit 9; n=0; for i in $(seq 30); do xdpyinfo >/dev/null 2>&1 && n=$((n + 1)); done; echo $n'
expect "a display of its own answers probe after probe ($(cat "$work/out") of 30)" same "$(cat "$work/out")" 30

# ---- lib_wait_ready: the emulator's "ready <pty>" line ----
#   case | command (stdout OUT, stderr ERR) | options | status | in the message
readies=(
  "the emulator|$(printf '%q' "$sim") --no-register --link $work/pty||0|"
  "ready after a while|sleep 1; echo ready /dev/pts/99; exec sleep 60||0|"
  "nothing printed|exec sleep 60|-t 1|1|case: the tracker emulator did not start (no \"ready\" line within 1 s)"
  "only words with ready in them|echo already up; echo not ready yet; exec sleep 60|-t 1|1|not ready yet"
  "the emulator refuses its options|$(printf '%q' "$sim") --model nosuch --no-register||1|ended without its \"ready\" line"
  "ends at once|echo cannot open a pty >&2; exit 3||1|cannot open a pty"
  "a time-out that is no number|exec sleep 60|-t soon|2|usage: lib_wait_ready"
)
for row in "${readies[@]}"; do
  IFS='|' read -r what command opts status message <<<"$row"
  run_case "$(printf 'bash -c %q >"$work/sim.out" 2>"$work/sim.err" &\np=$!\nlib_track $p\necho $p >"$work/pids"\nlib_wait_ready %s -p $p "$work/sim.out" "$work/sim.err"\necho "status $?"' "$command" "$opts")"
  expect "$what: status $status ($(cat "$work/out"))" contains "$work/out" "status $status"
  [ -z "$message" ] || expect "$what: says '$message'" contains "$work/out" "$message"
  expect "$what: stopped at exit" all_stopped
done

# ---- lib_cleanup: what was started stops, whichever way the script ends ----
#   case | body | exit status | output (its lines joined by spaces)
cleanups=(
  "a normal end|lib_at_exit echo first; sleep 60 & lib_track \$!; echo \$! >\"\$work/pids\"; lib_at_exit echo second|0|second first"
  "an error|sleep 60 & lib_track \$!; echo \$! >\"\$work/pids\"; exit 3|3|"
  "a failing command under set -e|set -e; sleep 60 & lib_track \$!; echo \$! >\"\$work/pids\"; false; echo not here|1|"
  "a process that ignores TERM|bash -c 'trap \"\" TERM; exec sleep 3600' & lib_track \$!; echo \$! >\"\$work/pids\"; sleep 0.5|0|"
  "lib_cleanup twice|lib_at_exit echo once; sleep 60 & lib_track \$!; echo \$! >\"\$work/pids\"; lib_cleanup; lib_cleanup|0|once"
  "arguments with spaces and quotes|lib_at_exit touch \"\$work/a b'c\"; sleep 60 & lib_track \$!; echo \$! >\"\$work/pids\"|0|"
)
for row in "${cleanups[@]}"; do
  IFS='|' read -r what body status output <<<"$row"
  run_case "$body"
  expect "$what: exit status $status, not $rc" same "$rc" "$status"
  expect "$what: the tracked process stopped" all_stopped
  lines=$(tr '\n' ' ' <"$work/out")
  [ -z "$output" ] || expect "$what: output '$output', not '$lines'" same "$lines" "$output "
done
expect "arguments with spaces and quotes: kept" test -f "$work/a b'c"

# Processes stopped as soon as they are started: a child forked for one, stopped before
# it runs its program, must not run the clean-up as well.
run_case 'for i in $(seq 10); do lib_at_exit echo cleanup; sleep 60 & lib_track $!; lib_cleanup; echo $! >>"$work/pids"; done'
expect "stopped at once: the clean-up ran 10 times, not $(grep -c '^cleanup$' "$work/out")" same "$(grep -c '^cleanup$' "$work/out")" 10
expect "stopped at once: the tracked processes stopped" all_stopped

# Ended by a signal while it waits.
printf 'source %q\nsleep 60 & lib_track $!\necho $! >%q\nwait\n' "$scripts/lib.sh" "$work/pids" >"$work/case.sh"
rm -f "$work/pids"
bash "$work/case.sh" &
script=$!
for _ in $(seq 100); do [ -s "$work/pids" ] && break; sleep 0.05; done
kill -TERM $script
wait $script
expect "TERM: exit status 143" same $? 143
expect "TERM: the tracked process stopped" all_stopped

# Forgotten processes run on.
run_case 'sleep 60 & lib_track $!; echo $! >"$work/pids"; lib_untrack $!'
kept=$(cat "$work/pids")
expect "lib_untrack: the process runs on" running "$kept"
kill "$kept"

# ---- scripts/with-xvfb ----
#   case | arguments | exit status
withs=(
  "the command's status|sh -c 'xdpyinfo >/dev/null && exit 7'|7"
  "no command||2"
  "a command that is not there|/nonexistent/program|127"
)
for row in "${withs[@]}"; do
  IFS='|' read -r what args status <<<"$row"
  eval "bash $(printf '%q' "$scripts/with-xvfb") $args" >/dev/null 2>&1
  rc=$?
  expect "with-xvfb, $what: exit status $status, not $rc" same "$rc" "$status"
done
inner=$(bash "$scripts/with-xvfb" sh -c 'echo $DISPLAY')
expect "with-xvfb: a display of its own" differ "$inner" "$outer"
expect "with-xvfb: its display ends with it" silent "$inner"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
