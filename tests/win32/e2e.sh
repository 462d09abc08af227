#!/usr/bin/env bash
# Whole registrations with zeltra.exe as an operator runs them, under Wine on an X
# display of its own: the native tracker emulator on a pseudo-terminal mapped to a
# COM port of the prefix, the settings in the prefix's registry, zeltra-cursor.exe
# in the same prefix as the viewer, real X key events (xdotool) to the window, and
# zeltra-wininspect.exe to read the window back.
#   e2e.sh BIN_DIR NATIVE_BIN_DIR WINE_RUN PREFIX SCREENSHOT_DIR
# Exits 77 (skipped) when the native emulator and zeltra-fit have not been built.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$1 native=$2 winerun=$3 prefix=$4 shots=$5
sim=$native/zeltra-trackersim
fit=$native/zeltra-fit
if [ ! -x "$sim" ] || [ ! -x "$fit" ]; then
  echo "SKIPPED: the native emulator and zeltra-fit are not built in $native (build the native tree," \
       "or configure with -DZELTRA_NATIVE_BIN_DIR=<native build>/bin)"
  exit 77
fi
for tool in xdotool Xvfb import; do
  command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed (scripts/install-deps)"; exit 77; }
done
source "$here/wine-gui.sh"

com=COM42  # the prefix is the window tests' own: a fixed port number is free
work=$(mktemp -d "${TMPDIR:-/tmp}/zeltra-win32-e2e.XXXXXX")
winwork="Z:${work//\//\\}"
export ZELTRA_VIEWER_TAG=-win32-e2e-$$
lib_at_exit rm -rf "$work"
simpid= zeltrapid=
started=$(date +%s%N)

elapsed() { echo $(( ($(date +%s%N) - started) / 1000000 )); }
step() { printf '%6d ms  %s\n' "$(elapsed)" "$*"; }
fail() {
  echo "FAIL: $*"
  mkdir -p "$shots" && import -window root "$shots/win32-failure.png" 2>/dev/null &&
    echo "(the screen: $shots/win32-failure.png)"
  echo "--- emulator"; tail -5 "$work/out"; cat "$work/err"
  exit 1
}
wine_() { "$winerun" "$@"; }
inspect() { "$winerun" "$bin/zeltra-wininspect.exe" "$@"; }
viewer() { "$winerun" "$bin/zeltra-cursor.exe" "$@" | tr -d '\r'; }
# One control line to the emulator, and its acknowledgement.
emulator() {
  local acks
  acks=$(grep -c "^ok $1\$" "$work/out")
  echo "$1" >"$work/control"
  for _ in $(seq 100); do
    [ "$(grep -c "^ok $1\$" "$work/out")" -gt "$acks" ] && return 0
    sleep 0.05
  done
  fail "the emulator did not acknowledge '$1'"
}
# Real key events to the main window (or to WID).
keys() {
  xdotool windowfocus --sync "${wid:?}" && xdotool key --delay 30 "$@"
}
# The X window of a Wine window with this title (waits up to 10 s).
xwindow() {
  for _ in $(seq 100); do
    local w
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
# A file dialog: types the file name and presses Enter.
in_dialog() {
  local dialog
  dialog=$(xwindow "$1") || fail "no '$1' dialog"
  xdotool windowfocus --sync "$dialog" && xdotool type --delay 10 "$2" && xdotool key Return
}
shot() {
  mkdir -p "$shots"
  import -window "$2" "$shots/win32-$1.png" || fail "screenshot $1"
}
start_zeltra() {
  wine_ "$bin/zeltra.exe" >"$work/zeltra.log" 2>&1 &
  zeltrapid=$!
  lib_track $zeltrapid
  # Started from the stored settings: the caption names the tracker model.
  inspect wait -t 20000 caption "6DFOB     " || fail "the window did not start the tracker"
  wid=$(xwindow '^6DFOB') || fail "no X window for zeltra.exe"
  if inspect box 300 >"$work/box" 2>/dev/null; then fail "a message at start-up: $(cat "$work/box")"; fi
}
stop_zeltra() {
  keys alt+F4
  for _ in $(seq 100); do kill -0 "$zeltrapid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$zeltrapid" 2>/dev/null && fail "zeltra.exe did not end"
  wait "$zeltrapid" 2>/dev/null
  lib_untrack $zeltrapid
  zeltrapid=
}
# The voxel of a tracker position through the fit of a report (its 8-decimal
# estimates are exact enough for whole voxels), halves to the even neighbour.
mapped() {
  awk -v x="$1" -v y="$2" -v z="$3" '
    /^MRI[xyz]  = / { axis++ }
    /^b[0-3] / { b[axis, substr($0, 2, 1)] = substr($0, 3, 17) + 0 }
    END {
      for (a = 1; a <= 3; a++) {
        v = ((x * b[a, 1] + b[a, 0]) + y * b[a, 2]) + z * b[a, 3]
        r = int(v + 0.5); if (v + 0.5 < 0 && r != v + 0.5) r--
        if (r - v == 0.5 && r % 2 != 0) r--
        printf "%s%d", (a > 1 ? " " : ""), r
      }
      print ""
    }' "$work/report.win"
}

# The landmarks follow MRI = b0 + b1*x + b2*y + b3*z per axis, rounded to whole
# voxels; sensor positions in Flock units, not in one plane.
landmarks=("4000 2000 -1000" "-4000 2400 800" "1200 -5200 1600" "-2800 -3600 -2400"
           "6000 400 3200" "-400 6400 -3600" "2000 1200 5600" "-6400 -800 -4800")
voxel_of() {
  awk -v x="$1" -v y="$2" -v z="$3" 'function r(v) { return v < 0 ? -int(-v + 0.5) : int(v + 0.5) }
    BEGIN { printf "%d %d %d\n", r(128 + 0.0100*x + 0.0010*y - 0.0005*z),
            r(140 - 0.0008*x + 0.0110*y + 0.0012*z), r(60 + 0.0006*x - 0.0009*y + 0.0095*z) }'
}
label_of() { awk -v x="$1" -v y="$2" -v z="$3" 'BEGIN { printf " x%7.1f y%7.1f z%7.1f d*", x/1000, y/1000, z/1000 }'; }

# ---------------------------------------------------------------------------
step "display, prefix, emulator, COM port, settings, viewer"
gui_start "$prefix" "$winerun" || exit 1
"$sim" --own-session --no-register --link "$work/port" --control "$work/control" --stream-rate 100 \
  >"$work/out" 2>"$work/err" &
simpid=$!
lib_track $simpid
lib_wait_ready -p $simpid "$work/out" || fail "the emulator did not start"
# The port the way Wine maps one: HKLM\Software\Wine\Ports, read at the server's
# start, makes dosdevices\com42 and the SERIALCOMM entry that discovery lists.
# No OpenIGTLink server (port 0): another program on the machine may hold its port.
wine_ reg add 'HKLM\Software\Wine\Ports' /v $com /t REG_SZ /d "$work/port" /f >/dev/null
for value in "PortName REG_SZ $com" "BPS REG_DWORD 115200" "IsFastrak REG_DWORD 0" "IsStreaming REG_DWORD 1" \
             "IGTLPort REG_DWORD 0"; do
  set -- $value
  wine_ reg add 'HKCU\Software\Zeltra' /v "$1" /t "$2" /d "$3" /f >/dev/null || fail "settings"
done
wineserver -k >/dev/null 2>&1; wineserver -w
# The viewer holds the block from before Zeltra starts until the end (and so the
# prefix's server through Zeltra's restart).
wine_ "$bin/zeltra-cursor.exe" set 1 1 1 --keep 600 >"$work/viewer.out" 2>&1 &
lib_track $!
for _ in $(seq 100); do grep -q set "$work/viewer.out" && break; sleep 0.1; done
wine_ reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' | grep -q "$com" || fail "$com is not listed in SERIALCOMM"

step "start-up from the registry settings"
start_zeltra
emulator "pos 1000 2000 -3000"
inspect wait dxFOBlabel " x    1.0 y    2.0 z   -3.0 d    3.7" || fail "the tracker label does not follow"

step "eight landmarks: viewer set, sensor pos, F1"
n=0
for fob in "${landmarks[@]}"; do
  read -r mx my mz <<<"$(voxel_of $fob)"
  viewer set $mx $my $mz
  inspect wait XEdit $mx YEdit $my ZEdit $mz || fail "the window does not follow the viewer to $mx $my $mz"
  emulator "pos $fob"
  inspect wait dxFOBlabel "$(label_of $fob)" || fail "no reading of $fob"
  keys F1
  n=$((n + 1))
  want="$mx:$my:$mz|${fob// /:}"
  for _ in $(seq 50); do
    inspect grid | tr -d '\r' >"$work/grid"
    [ "$(sed -n "$((n + 1))p" "$work/grid")" = "$want" ] && break
    sleep 0.05
  done
  [ "$(sed -n "$((n + 1))p" "$work/grid")" = "$want" ] || fail "row $n is '$(sed -n "$((n + 1))p" "$work/grid")', not '$want'"
done
[ "$(wc -l <"$work/grid")" -eq 9 ] || fail "the grid has $(($(wc -l <"$work/grid") - 1)) rows, not 8"
cp "$work/grid" "$work/grid.saved"
inspect text StatusLine | grep -q "^$com, 115200 bps, Flock of Birds (stream): [0-9]* readings/s" ||
  fail "the status line does not show the live link: $(inspect text StatusLine)"
shot calibrate "$wid"

step "the sensor goes quiet: the status line says since when, then the readings again"
emulator "stream off"
for _ in $(seq 60); do inspect text StatusLine | grep -q "no tracker reading for" && break; sleep 0.05; done
inspect text StatusLine | grep -q "^$com, 115200 bps, Flock of Birds (stream): no tracker reading for [0-9.]* s (F6 reconnects)" ||
  fail "the status line does not show the quiet link: $(inspect text StatusLine)"
shot status-stale "$wid"
emulator "stream on"
for _ in $(seq 60); do inspect text StatusLine | grep -q "readings/s" && break; sleep 0.05; done
inspect text StatusLine | grep -q "readings/s" || fail "the status line stays stale: $(inspect text StatusLine)"
shot status-live "$wid"

step "F5: the fit, the report, Track view"
keys F5
for _ in $(seq 50); do [ "$(inspect visible TrackPanel)" = 1 ] && break; sleep 0.05; done
[ "$(inspect visible TrackPanel)" = 1 ] || fail "no Track view after F5"
inspect text CoregMemo >"$work/report.win"
inspect text FormulaLabel >"$work/formula.win"
[ "$(head -1 "$work/report.win")" = "Number of observations =     8" ] || fail "report: $(head -1 "$work/report.win")"

step "Track view: the block's cursor follows the sensor to the mapped voxel"
for fob in "1500 -2500 700" "-3000 1200 2400"; do
  emulator "pos $fob"
  read -r vx vy vz <<<"$(mapped $fob)"
  inspect wait XEdit $vx YEdit $vy ZEdit $vz || fail "the window does not map $fob to $vx $vy $vz"
  [ "$(viewer get)" = "$vx $vy $vz" ] || fail "the block's cursor is $(viewer get), not $vx $vy $vz"
  read -r tx ty tz <<<"$(voxel_of $fob)"
  for d in $((vx - tx)) $((vy - ty)) $((vz - tz)); do
    [ "${d#-}" -le 1 ] || fail "$vx $vy $vz is far from the landmarks' map ($tx $ty $tz)"
  done
done
inspect settext desirex $((vx + 3)) && inspect settext desirey $((vy - 4)) && inspect settext desirez $vz
inspect wait DistanceLabel 5.0 || fail "the distance to the desired voxel"
shot track "$wid"

step "the Transforms window from the Track view's button"
read -r bx by bw bh <<<"$(inspect rect SpeedButton1)"
xdotool mousemove $((bx + bw / 2)) $((by + bh / 2)) click 1
transforms=$(xwindow '^Transforms$') || fail "the Transforms window did not open"
sleep 0.3
shot transforms "$transforms"
wid_main=$wid; wid=$transforms
keys Escape
wid=$wid_main
for _ in $(seq 50); do [ "$(inspect visible Transforms)" = 0 ] && break; sleep 0.05; done
[ "$(inspect visible Transforms)" = 0 ] || fail "Escape did not close the Transforms window"

step "F5 back, Ctrl+S through the save dialog"
keys F5
for _ in $(seq 50); do [ "$(inspect visible RegGrid)" = 1 ] && break; sleep 0.05; done
keys ctrl+s
in_dialog '^Save As$' "$winwork\\session"
for _ in $(seq 100); do [ -s "$work/session.txt" ] && break; sleep 0.05; done
[ -s "$work/session.txt" ] || fail "nothing saved as session.txt (the default extension)"

step "the report is the native program's for the same rows, byte for byte"
"$fit" "$work/session.txt" >"$work/fit.out" || fail "zeltra-fit failed"
head -n -3 "$work/fit.out" >"$work/report.native"
tail -n 3 "$work/fit.out" >"$work/formula.native"
cmp "$work/report.win" "$work/report.native" || { diff "$work/report.win" "$work/report.native" | head; fail "report"; }
cmp "$work/formula.win" "$work/formula.native" || fail "formula: $(cat "$work/formula.win")"

step "restart from the stored settings, Ctrl+O"
stop_zeltra
wine_ reg query 'HKCU\Software\Zeltra' /v PortName | grep -q "$com" || fail "the port was not stored at exit"
start_zeltra
keys ctrl+o
in_dialog '^Open$' "$winwork\\session.txt"
for _ in $(seq 100); do inspect grid | tr -d '\r' >"$work/grid"; cmp -s "$work/grid" "$work/grid.saved" && break; sleep 0.05; done
cmp "$work/grid" "$work/grid.saved" || { diff "$work/grid" "$work/grid.saved"; fail "the opened rows"; }
[ "$(viewer get)" = "$(voxel_of ${landmarks[0]})" ] || fail "the viewer is not at row 1's landmark"
keys F5
for _ in $(seq 50); do [ "$(inspect visible TrackPanel)" = 1 ] && break; sleep 0.05; done
inspect text CoregMemo >"$work/report.again"
cmp "$work/report.again" "$work/report.win" || fail "the report after opening the file"

step "saving over it asks first"
inspect settext desirex 11 && inspect settext desirey 22 && inspect settext desirez 33
keys F5
keys ctrl+s
in_dialog '^Save As$' "$winwork\\session"
# "... already exists. Do you want to replace it?" over the dialog (Wine titles the box
# "Error", Windows "Confirm Save As"), nothing written yet.
question=$(xwindow '^(Error|Confirm Save As)$') || fail "no question before saving over the file"
tail -1 "$work/session.txt" | grep -q '^11 22 33' && fail "saved over the file before the answer"
xdotool windowfocus --sync "$question" && xdotool key Return  # Yes
for _ in $(seq 100); do tail -1 "$work/session.txt" | grep -q '^11 22 33 77777' && break; sleep 0.05; done
tail -1 "$work/session.txt" | grep -q $'^11 22 33 77777 77777 77777\r$' || fail "not saved over: $(tail -1 "$work/session.txt")"
"$fit" "$work/session.txt" | head -n -3 | cmp - "$work/report.win" || fail "the rows saved over the file"

step "unplugged in the middle of a record, F6: positions flow again"
emulator "pos 400 800 1200"
inspect wait dxFOBlabel " x    0.4 y    0.8 z    1.2*" || fail "no reading before the unplug"
emulator "unplug 1"
for _ in $(seq 100); do
  grep -q unplugged "$work/out" && [ "$(sed -n '/unplugged/,$p' "$work/out" | grep -c '^ready ')" -gt 0 ] && break
  sleep 0.05
done
inspect wait dxFOBlabel " x    0.4 y    0.8 z    1.2*" || fail "the label changed without a tracker"
keys F6
inspect box-ok 5000 >"$work/box" || fail "no switch-on prompt after F6"
grep -q "^Please switch on the miniBIRD/FOB tracker" "$work/box" || fail "F6 showed: $(cat "$work/box")"
inspect wait -t 10000 caption "6DFOB     " >/dev/null
emulator "pos -400 -800 2000"
inspect wait -t 10000 dxFOBlabel " x   -0.4 y   -0.8 z    2.0*" || fail "no positions after F6"

step "closing with an unsaved row asks: Cancel keeps the window, Discard closes it"
keys F1
keys alt+F4
inspect box 5000 >"$work/box" || fail "no question at closing with an unsaved row"
[ "$(tr -d '\r' <"$work/box")" = "Save changes to the calibration?" ] || fail "closing asked: $(cat "$work/box")"
shot close-question root
inspect box-press Cancel >/dev/null || fail "the question has no Cancel button"
sleep 0.5
kill -0 "$zeltrapid" 2>/dev/null || fail "Cancel closed the window"
keys alt+F4
inspect box-press Discard 5000 >/dev/null || fail "the question has no Discard button"
for _ in $(seq 100); do kill -0 "$zeltrapid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$zeltrapid" 2>/dev/null && fail "Discard did not close the window"
wait "$zeltrapid" 2>/dev/null
lib_untrack $zeltrapid
zeltrapid=
step "passed"
