#!/usr/bin/env bash
# The whole program as a person would use it: the real vantri-check.exe with
# the real vantri.dll on the simulator's three boards under Xvfb, driven with
# real mouse and keyboard events (xdotool). Every effect is polled for with a
# deadline. Screenshots of each step go to $VANTRI_BUILD/screenshots/.
#
# Needs the Windows build and a running simulator (tools/wine-prefix.sh).
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/../../tools/wine-env.sh"
vantri_ensure_display >/dev/null || { echo "e2e: no display"; exit 1; }

MAIN="Vantri-K2 Check Soft"
PORT3="Parallel I/O (Port 3)"
SELECT="Device Select"
SHOTS=$VANTRI_BUILD/screenshots
mkdir -p "$SHOTS"
cd "$VANTRI_BIN" || exit 1

failures=0
step=0
APP=

probe() { wine ./vantri_probe.exe "$@" 2>/dev/null | tr -d '\r'; }

fail() {
  echo "e2e: FAILED: $*"
  failures=$((failures + 1))
}

pass() { echo "e2e: ok: $*"; }

shot() {
  step=$((step + 1))
  local file
  file=$(printf '%s/e2e-%02d-%s.png' "$SHOTS" "$step" "$1")
  import -window root "$file" 2>/dev/null && echo "e2e: screenshot $file"
  LAST_SHOT=$file
}

# Colour of one screen pixel in the last screenshot, as #RRGGBB.
shot_pixel() {
  convert "$LAST_SHOT" -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
    grep -o '#[0-9A-Fa-f]\{6\}' | head -n 1
}

# poll SECONDS COMMAND...: runs COMMAND until it succeeds or time runs out.
poll() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.1
  done
}

# Centre of a control, from its screen rectangle.
centre_of() {
  local r
  r=($(probe rect "$1" "$2")) || return 1
  [ ${#r[@]} -eq 4 ] || return 1
  echo "$((r[0] + r[2] / 2)) $((r[1] + r[3] / 2))"
}

click_at() { xdotool mousemove --sync "$1" "$2" click 1; }

click_control() {
  local c
  c=($(centre_of "$1" "$2")) || return 1
  [ ${#c[@]} -eq 2 ] || return 1
  click_at "${c[0]}" "${c[1]}"
}

text_is() { [ "$(probe text "$1" "$2")" = "$3" ]; }
latch_is() { [ "$(probe latch "$1" "$2")" = "$3" ]; }
lamps_are() { [ "$(probe lamps "$1" "$2")" = "$3" ]; }
window_shown() { [ -n "$(xdotool search --onlyvisible --name "^$(sed 's/[().]/\\&/g' <<<"$1")\$" 2>/dev/null | head -n 1)" ]; }
window_gone() { ! window_shown "$1"; }

RCFILE=$VANTRI_BUILD/e2e-exit-code
PIDFILE=$VANTRI_BUILD/e2e-pid
# A program left running by a failed step is ended so the next test starts clean.
cleanup() {
  if [ -n "$APP" ] && [ ! -s "$RCFILE" ] && [ -s "$PIDFILE" ]; then
    kill "$(cat "$PIDFILE")" 2>/dev/null
  fi
}
trap cleanup EXIT

# ---- start ---------------------------------------------------------------
probe reset >/dev/null || { echo "e2e: the simulator does not answer"; exit 1; }
if window_shown "$MAIN"; then
  echo "e2e: a vantri-check window is already on this display"; exit 1
fi
rm -f "$RCFILE" "$PIDFILE"
( wine ./vantri-check.exe & echo $! >"$PIDFILE"; wait $!; echo $? >"$RCFILE" ) &
APP=$!
if ! poll 30 window_shown "$MAIN"; then
  echo "e2e: the main window did not appear; windows shown:"
  for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    echo "  \"$(xdotool getwindowname "$w" 2>/dev/null)\""
  done
  [ -n "$(xdotool search --onlyvisible --name '^vantri$' 2>/dev/null)" ] &&
    echo "  the program shows a message box: $(probe text vantri 0xFFFF)"
  shot no-main-window
  exit 1
fi
poll 5 text_is "$MAIN" 1000 "Vantri-K2(Device  0)" || fail "board name of entry 0"
poll 5 text_is "$MAIN" 1002 "0300-0303" || fail "address range of board 0"
sleep 0.5   # give the first paint a moment before the picture
shot main-window

# ---- Execute of Port 3 ---------------------------------------------------
click_control "$MAIN" 1033 || fail "no Execute button for Port 3"
if poll 10 window_shown "$PORT3"; then
  pass "Execute of Port 3 opened \"$PORT3\""
else
  fail "\"$PORT3\" did not open"
fi
poll 5 lamps_are "$PORT3" 1117 0x00 || fail "input lamps not all dark at opening"
shot port3-open

# ---- a click on output bit 3 drives the latch, the loopback lights input bit 3
probe lit-after-latch 0 2 8 "$PORT3" 1120 5000 >"$VANTRI_BUILD/e2e-lit.txt" &
WATCH=$!
sleep 0.3   # the watcher is looking before the click
click_control "$PORT3" 1104 || fail "no output lamp for bit 3"
if poll 5 latch_is 0 2 0x08; then
  pass "latch of board 0, port index 2 reads 0x08"
else
  fail "latch of board 0, port index 2 reads $(probe latch 0 2), not 0x08"
fi
wait $WATCH
lit_ms=$(tr -d '\r' <"$VANTRI_BUILD/e2e-lit.txt")
if [[ "$lit_ms" =~ ^[0-9.]+$ ]]; then
  echo "e2e: input lamp of bit 3 lit ${lit_ms} ms after the latch changed"
  # Two ticks of 50 ms, with room for a busy machine's scheduling.
  awk -v t="$lit_ms" 'BEGIN { exit !(t <= 100 + 60) }' || fail "input lamp lit only after ${lit_ms} ms"
else
  fail "input lamp of bit 3 did not light ($lit_ms)"
fi
shot bit3-lit
c=($(centre_of "$PORT3" 1120))
o=($(centre_of "$PORT3" 1104))
if [ "$(shot_pixel "${c[0]}" "${c[1]}")" = "#FF0000" ] && [ "$(shot_pixel "${o[0]}" "${o[1]}")" = "#FF0000" ]; then
  pass "screenshot shows output and input lamp of bit 3 red"
else
  fail "screenshot: input lamp $(shot_pixel "${c[0]}" "${c[1]}"), output lamp $(shot_pixel "${o[0]}" "${o[1]}")"
fi
c=($(centre_of "$PORT3" 1119))
[ "$(shot_pixel "${c[0]}" "${c[1]}")" = "#000000" ] || fail "input lamp of bit 2 is not black"

# ---- the pattern generator shows on the input lamps ----------------------
probe pattern 0 2 150 >/dev/null || fail "pattern generator refused"
seen=""
deadline=$((SECONDS + 10))
while [ $SECONDS -lt $deadline ]; do
  v=$(probe lamps "$PORT3" 1117)
  case "$v" in
    0x01|0x02|0x04|0x08|0x10|0x20|0x40|0x80) [[ " $seen " == *" $v "* ]] || seen="$seen $v" ;;
  esac
  [ $(wc -w <<<"$seen") -ge 4 ] && break
done
if [ $(wc -w <<<"$seen") -ge 4 ]; then
  pass "walking bit seen on the input lamps:$seen"
else
  fail "walking bit not seen on the input lamps (saw:$seen)"
fi
# A slow walk for the picture: bit 0 stays lit for the first 3 s.
probe pattern 0 2 3000 >/dev/null
poll 5 lamps_are "$PORT3" 1117 0x01 || fail "pattern restart not shown (saw $(probe lamps "$PORT3" 1117))"
shot pattern
probe pattern 0 2 0 >/dev/null

# ---- Esc closes the port window; Execute opens a fresh one -----------------
enabled_is() { [ "$(probe enabled "$1" "$2")" = "$3" ]; }
enabled_is "$MAIN" 1033 0 || fail "Execute of Port 3 usable while its window is open"
click_control "$PORT3" 0xFFFF >/dev/null   # a label: activates the window, changes nothing
c=($(centre_of "$PORT3" 2))
xdotool mousemove --sync $((c[0] - 60)) "${c[1]}" click 1   # empty dialog area left of Close
xdotool key Escape
if poll 10 window_gone "$PORT3"; then pass "Esc closed the port window"; else fail "Esc did not close the port window"; fi
poll 5 enabled_is "$MAIN" 1033 1 || fail "Execute of Port 3 not usable again after the close"
click_control "$MAIN" 1033 || fail "no Execute button for Port 3"
if poll 10 window_shown "$PORT3"; then
  # Output lamps start dark again; the latch and so the looped-back input keep 0x08.
  poll 5 lamps_are "$PORT3" 1101 0x00 || fail "output lamps of the new window: $(probe lamps "$PORT3" 1101)"
  poll 5 lamps_are "$PORT3" 1117 0x08 || fail "input lamps of the new window: $(probe lamps "$PORT3" 1117)"
  enabled_is "$MAIN" 1033 0 || fail "Execute of Port 3 usable while its window is open"
  pass "Execute opened a fresh port window"
else
  fail "Execute did not open the port window again"
fi

# ---- Device Select to the second line -----------------------------------
click_control "$MAIN" 1005 || fail "no Device Select button"
poll 10 window_shown "$SELECT" || fail "Device Select did not open"
sleep 0.3
shot device-select
xy=($(probe line "$SELECT" 1005 1))
if [ ${#xy[@]} -eq 2 ]; then click_at "${xy[0]}" "${xy[1]}"; else fail "no second line"; fi
click_control "$SELECT" 1 || fail "no OK button"
poll 10 window_gone "$SELECT" || fail "Device Select did not close"
if poll 10 window_gone "$PORT3"; then pass "the port window closed"; else fail "the port window stayed open"; fi
if poll 5 text_is "$MAIN" 1000 "Vantri-K2(Device  1)"; then pass "board name reads Vantri-K2(Device  1)"; else fail "board name: $(probe text "$MAIN" 1000)"; fi
if poll 5 text_is "$MAIN" 1002 "0310-0313"; then pass "address range reads 0310-0313"; else fail "address range: $(probe text "$MAIN" 1002)"; fi
sleep 0.3
shot device-1

# ---- Alt+F4 ends the program ----------------------------------------------
click_control "$MAIN" 1000 >/dev/null   # the board name: focus without effect
win=$(xdotool search --onlyvisible --name "^$MAIN\$" | head -n 1)
xdotool windowfocus --sync "$win" 2>/dev/null
xdotool key alt+F4
rc=
for _ in $(seq 150); do
  if [ -s "$RCFILE" ]; then rc=$(cat "$RCFILE"); break; fi
  sleep 0.1
done
if [ -z "$rc" ]; then
  fail "Alt+F4 did not end the program"
elif [ "$rc" -eq 0 ]; then
  pass "Alt+F4 ended the program with exit code 0"
else
  fail "the program ended with exit code $rc"
fi
APP=
open=$(probe open)
if [ "$open" = "0" ]; then pass "no board handle left open"; else fail "$open board handles left open"; fi
shot after-exit

echo "e2e: $failures failed"
[ $failures -eq 0 ]
