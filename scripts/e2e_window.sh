#!/usr/bin/env bash
# End-to-end check of the window program as an operator uses it, on a private X desktop
# (Xvfb, openbox, trayer) against a real base station (dump1090-mutability replaying recorded
# radio samples, station 37.50 N 15.07 E) on a port of its own, named in rizuzez.ini:
#   run 1: type the home position, START, record, minimise to the tray and restore by a click
#          on the icon, STOP, close (the default plot is saved);
#   run 2: answer Yes to the reload question, close: the saved plot is the same, byte for byte.
# Usage: scripts/e2e_window.sh [PATH/TO/rizuzez]   (default build/dev/bin/rizuzez)
# Exit status 0 passed, 1 failed, 77 skipped (a tool or the recorded samples are missing).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
program=${1:-build/dev/bin/rizuzez}
shared="$repo/../shared"
samples="$shared/data/modes1_2m4_uc8.bin"

for tool in Xvfb openbox trayer xdotool xwininfo xprop python3 /usr/bin/dump1090-mutability; do
  command -v "$tool" >/dev/null || { echo "e2e_window: skipped, $tool is not installed"; exit 77; }
done
[ -r "$shared/replay_peer.sh" ] && [ -r "$samples" ] ||
  { echo "e2e_window: skipped, the recorded radio samples are not here"; exit 77; }
[ -x "$program" ] || { echo "e2e_window: no program at $program" >&2; exit 1; }

work=$(mktemp -d /tmp/rizuzez_e2e.XXXXXX)
pids=()
peer_started=""
cleanup() {
  set +e
  [ -n "$peer_started" ] && bash "$shared/replay_peer.sh" stop "$work/peer.pid" >/dev/null
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "e2e_window: FAILED at line $LINENO" >&2' ERR
fail() {
  echo "e2e_window: FAILED: $*" >&2
  [ -f "$work/app/program.log" ] && sed 's/^/  program: /' "$work/app/program.log" >&2
  exit 1
}
# waitfor SECONDS COMMAND...: true once COMMAND succeeds.
waitfor() {
  local end=$((SECONDS + $1)); shift
  until "$@"; do ((SECONDS < end)) || return 1; sleep 0.2; done
}

# A private desktop on a free display.
unset DISPLAY
for ((n = 60 + $$ % 100; n < 400; n++)); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  if waitfor 10 test -e "/tmp/.X11-unix/X$n" && kill -0 "$xvfb" 2>/dev/null; then
    pids+=("$xvfb"); export DISPLAY=":$n"; break
  fi
  kill "$xvfb" 2>/dev/null || true
done
[ -n "${DISPLAY:-}" ] && [ "${DISPLAY}" = ":$n" ] || fail "no free X display"
openbox >/dev/null 2>&1 & pids+=($!)
waitfor 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox"
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
  >/dev/null 2>&1 & pids+=($!)
waitfor 10 sh -c 'xwininfo -root -tree | grep -q "(\"panel\" \"trayer\")"' || fail "trayer"

# The base station on a free port, and the program installed with that port in its settings.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
bash "$shared/replay_peer.sh" "$port" "$samples" --loops 0 --delay 1 --gap 2 \
  --pidfile "$work/peer.pid" --log "$work/peer.log" >/dev/null || fail "base station did not start"
peer_started=1
mkdir -p "$work/app/rizuzez1"
cp "$program" "$work/app/rizuzez"
printf '[telnet]\nip=127.0.0.1\nport=%s\n' "$port" >"$work/app/rizuzez1/rizuzez.ini"

app=""
launch() {
  env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=xcb HOME="$work" \
    "$work/app/rizuzez" >>"$work/app/program.log" 2>&1 &
  app=$!
}
mainwindow() { xdotool search --onlyvisible --name '^Rizuzez$' 2>/dev/null | head -1 || true; }
reload_box() { xdotool search --onlyvisible --name '^rizuzez1$' 2>/dev/null | head -1 || true; }
shown() { test -n "$("$@")"; }     # shown FUNCTION: it prints something
gone() { test -z "$("$@")"; }
viewable() { xwininfo -id "$1" | grep -q IsViewable; }
tray_icon() {  # absolute centre of the program's icon in trayer's panel, or nothing
  xwininfo -root -tree | awk '
    /\("panel" "trayer"\)/ { inpanel = 1; depth = index($0, "0x"); next }
    inpanel && index($0, "0x") > 0 && index($0, "0x") <= depth { inpanel = 0 }
    inpanel && /\("rizuzez" "Rizuzez"\)/ {
      split($(NF-1), size, /[x+]/); split($NF, at, "+"); print at[2] + int(size[1] / 2), at[3] + int(size[2] / 2) }'
}
# click X Y IN-CLIENT-PIXELS of window W (below its menu bar)
click() {
  local g; g=$(xwininfo -id "$1")
  local x y h
  x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$g")
  y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$g")
  h=$(awk '/Height:/ {print $NF}' <<<"$g")
  xdotool mousemove $((x + $2)) $((y + h - 393 + $3)) click 1
}
close_window() {
  xdotool windowactivate --sync "$1" key --clearmodifiers alt+F4
  local end=$((SECONDS + 15))
  while kill -0 "$app" 2>/dev/null; do ((SECONDS < end)) || fail "the window did not close"; sleep 0.2; done
  wait "$app" || fail "the program ended with status $?"
}
cells() {
  python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); print(sum(1 for i in range(0,len(d),24) if struct.unpack_from("<d",d,i)[0] > 0))' "$1"
}

# ---- Run 1: record -----------------------------------------------------------------------
launch
waitfor 15 shown mainwindow || fail "the window did not show"
w=$(mainwindow)
click "$w" 120 67 && xdotool type --delay 30 "37.50"    # Lat (Edit3)
click "$w" 120 93 && xdotool type --delay 30 "15.07"    # Long (Edit4)
click "$w" 110 330                                       # START (Button1)
sleep 6
xdotool windowminimize "$w"
waitfor 5 eval "! viewable $w" || fail "minimise did not hide the window"
waitfor 5 shown tray_icon || fail "no tray icon"
sleep 3                                                   # still recording while in the tray
read -r ix iy <<<"$(tray_icon)"
xdotool mousemove "$ix" "$iy" click 1
waitfor 5 viewable "$w" || fail "a click on the tray icon did not restore the window"
waitfor 5 gone tray_icon || fail "the tray icon stayed after the restore"
sleep 2
click "$w" 110 330                                       # STOP
sleep 0.5
close_window "$w"
dat="$work/app/rizuzez1/rizuzez1.dat"
[ -f "$dat" ] || fail "closing saved no plot"
recorded=$(cells "$dat")
((recorded > 0)) || fail "nothing was recorded"
cp "$dat" "$work/run1.dat"
cp "$work/app/rizuzez1/rizuzez1.max" "$work/run1.max"
grep -q "latitude=37.50" "$work/app/rizuzez1/rizuzez.ini" || fail "the position was not kept"

# ---- Run 2: reload -----------------------------------------------------------------------
launch
waitfor 15 shown reload_box || fail "no reload question"
box=$(reload_box)
# The question comes up in front by itself, with the keyboard: the window is not shown yet.
active() { test "$(xdotool getactivewindow 2>/dev/null)" = "$box"; }
waitfor 5 active || fail "the reload question is not in front"
shown_before=$(mainwindow)
[ -z "$shown_before" ] || fail "the window showed before the reload question was answered"
xdotool key Return                                        # Yes
waitfor 15 shown mainwindow || fail "the window did not show after the reload"
w=$(mainwindow)
sleep 1
close_window "$w"
cmp -s "$work/run1.dat" "$dat" || fail "the reloaded coverage differs from the recorded one"
cmp -s "$work/run1.max" "$work/app/rizuzez1/rizuzez1.max" || fail "the furthest contact differs"
echo "e2e_window: passed: $recorded cells recorded from the base station, reloaded byte for byte"
