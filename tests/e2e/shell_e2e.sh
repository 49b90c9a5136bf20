#!/usr/bin/env bash
# The real velkar program under Xvfb, driven with xdotool as a person would:
# Control+Q leaves the settings file as it was and exits 0; "Main" then "Exit"
# rewrites it; "About" opens "About Velkar" and its "OK" closes it; a screenshot
# after a few emulation ticks shows the map around the centre.
# Usage: shell_e2e.sh VELKAR DEMO_ROOT OUT_DIR   (exit 77: skipped, no Xvfb)
set -u

VELKAR=$1
DEMO=$2
OUT=$3

for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed; the end-to-end test needs a virtual X display"
    exit 77
  fi
done
# Pictures of the window and the screenshot are read with ImageMagick.
for tool in import convert identify python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "FAIL: $tool is missing (Debian packages imagemagick, python3)"
    exit 1
  fi
done

mkdir -p "$OUT"
WORK=$(mktemp -d /tmp/velkar-e2e-XXXXXX)
PIDS=()
XVFB_PID=
FAILURES=0

cleanup() {
  for pid in "${PIDS[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; FAILURES=$((FAILURES + 1)); }
pass() { echo "ok: $*"; }

# A display of our own: Xvfb picks a free number and tells it through fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.err" &
XVFB_PID=$!
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
if [ ! -s "$WORK/display" ]; then echo "FAIL: Xvfb did not start"; cat "$WORK/xvfb.err"; exit 1; fi
export DISPLAY=":$(head -n1 "$WORK/display")"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

# A fresh device root: a copy of the demo when there is one, else a small root
# made here (emulation on, the default map's .\temp.bmp in light grey).
fresh_root() {
  local root="$WORK/$1"
  if [ -d "$DEMO/My Documents" ]; then
    cp -r "$DEMO" "$root"
  else
    mkdir -p "$root/My Documents/Velkar" "$root/Scheda di memoria/Velkar"
    printf '[BEGIN]\n[1]\n[4800]\n[1]\n[0]\n[0]\n[1]\n[0]\n[1]\n[0]\n[0]\n[0]\n[END]\n' \
      >"$root/My Documents/Velkar/vlcfg.cfg"
    python3 - "$root/temp.bmp" <<'PY'
import struct, sys
w, h = 741, 498
row = (w * 3 + 3) // 4 * 4
pixels = bytearray()
for y in range(h):
    line = bytearray()
    for x in range(w):
        on_grid = x % 81 == 0 or y % 54 == 0
        line += bytes((90, 90, 90) if on_grid else (225, 235, 240))
    pixels += line + bytes(row - len(line))
header = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
open(sys.argv[1], 'wb').write(header + info + pixels)
PY
  fi
  echo "$root"
}

# Starts velkar on a root; sets PID and WID (the main window, titled "Velkar").
start_velkar() {
  local root=$1; shift
  "$VELKAR" --root "$root" "$@" >"$WORK/velkar.out" 2>"$WORK/velkar.err" &
  PID=$!
  PIDS+=("$PID")
  WID=$(timeout 20 xdotool search --sync --onlyvisible --pid "$PID" --name '^Velkar$' 2>/dev/null | head -n1)
  [ -n "$WID" ]
}

# Waits up to $2 seconds for process $1 to end; sets STATUS to its exit status
# (or "running" after killing it).
wait_exit() {
  local pid=$1 limit=$2
  for _ in $(seq $((limit * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; STATUS=$?; return; fi
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  STATUS=running
}

# Window geometry: sets X Y W H of window $1 (absolute position, size).
geometry() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  X=$X; Y=$Y; W=$WIDTH; H=$HEIGHT
}

# The menu bar's buttons, left to right, from a picture of the bar (the rows
# below the 268-pixel client area): prints "left right" for each button found as
# a run of columns that differ from the bar's background.
bar_buttons() {
  local wid=$1
  import -window "$wid" -depth 8 "$WORK/window.ppm" 2>/dev/null
  python3 - "$WORK/window.ppm" 268 <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
# P6 header: magic, width, height, maxval, then raw RGB.
parts, pos = [], 0
while len(parts) < 4:
    while data[pos:pos+1].isspace(): pos += 1
    if data[pos:pos+1] == b'#':
        while data[pos:pos+1] != b'\n': pos += 1
        continue
    start = pos
    while not data[pos:pos+1].isspace(): pos += 1
    parts.append(data[start:pos])
pos += 1
w, h = int(parts[1]), int(parts[2])
pix = data[pos:]
top = int(sys.argv[2])
rows = range(top + 2, h - 2)
def px(x, y):
    i = (y * w + x) * 3
    return pix[i:i+3]
background = px(w - 2, (top + h) // 2)
busy = [any(px(x, y) != background for y in rows) for x in range(w)]
# Letters of one caption lie a few columns apart; captions further.
runs, x = [], 0
while x < w:
    if busy[x]:
        s = x
        while x < w and busy[x]: x += 1
        if runs and s - runs[-1][1] <= 6:
            runs[-1] = (runs[-1][0], x - 1)
        else:
            runs.append((s, x - 1))
    x += 1
for s, e in runs:
    if e - s >= 8: print(s, e)
PY
}

# Clicks window-relative point ($2, $3) of window $1.
click_at() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
}

settings_file() { echo "$1/My Documents/Velkar/vlcfg.cfg"; }

# ---- 1. Control+Q: exit 0, settings file untouched -------------------------------
ROOT=$(fresh_root ctrlq)
CFG=$(settings_file "$ROOT")
printf '[BEGIN][1][4800][1][0][1][1][1][1][0][0][0][END]' >"$CFG"
BEFORE=$(sha256sum <"$CFG")
if start_velkar "$ROOT"; then
  xdotool windowfocus --sync "$WID"
  xdotool key ctrl+q
  wait_exit "$PID" 20
  [ "$STATUS" = 0 ] && pass "Control+Q exits with 0" || fail "Control+Q: exit status $STATUS"
  [ "$(sha256sum <"$CFG")" = "$BEFORE" ] && pass "Control+Q leaves the settings file untouched" \
    || fail "Control+Q changed the settings file: $(cat "$CFG")"
else
  fail "the main window did not appear"; cat "$WORK/velkar.err"
fi

# ---- 2. "Main" then "Exit": the settings file is rewritten ------------------------
ROOT=$(fresh_root exit)
CFG=$(settings_file "$ROOT")
printf '[BEGIN][1][4800][1][0][1][1][1][1][0][0][0][END]' >"$CFG"
if start_velkar "$ROOT"; then
  geometry "$WID"
  mapfile -t BUTTONS < <(bar_buttons "$WID")
  if [ "${#BUTTONS[@]}" -lt 3 ]; then
    fail "expected three menu-bar buttons, found ${#BUTTONS[@]}: ${BUTTONS[*]}"
  else
    read -r L R <<<"${BUTTONS[0]}"
    click_at "$WID" $(((L + R) / 2)) $((268 + (H - 268) / 2))
    # The pop-up is a window of its own; its first item is "Exit".
    POPUP=
    for _ in $(seq 50); do
      POPUP=$(xdotool search --onlyvisible --pid "$PID" 2>/dev/null | grep -vx "$WID" | head -n1)
      [ -n "$POPUP" ] && break
      sleep 0.1
    done
    if [ -z "$POPUP" ]; then
      fail "\"Main\" opened no pop-up"
    else
      import -window root "$OUT/main-popup.png" 2>/dev/null
      click_at "$POPUP" 30 12
      wait_exit "$PID" 20
      [ "$STATUS" = 0 ] && pass "Main > Exit exits with 0" || fail "Main > Exit: exit status $STATUS"
      EXPECTED=$(printf '[BEGIN]\n[1]\n[4800]\n[1]\n[0]\n[1]\n[1]\n[1]\n[1]\n[0]\n[0]\n[0]\n[END]\n')
      [ "$(cat "$CFG")" = "$EXPECTED" ] && pass "Main > Exit rewrites the settings file" \
        || fail "settings file after Exit: $(cat "$CFG")"
    fi
  fi
  kill "$PID" 2>/dev/null
else
  fail "the main window did not appear"; cat "$WORK/velkar.err"
fi

# ---- 3. "About" opens "About Velkar"; its "OK" closes it --------------------------
ROOT=$(fresh_root about)
if start_velkar "$ROOT"; then
  geometry "$WID"
  mapfile -t BUTTONS < <(bar_buttons "$WID")
  if [ "${#BUTTONS[@]}" -lt 3 ]; then
    fail "expected three menu-bar buttons, found ${#BUTTONS[@]}"
  else
    read -r L R <<<"${BUTTONS[2]}"
    click_at "$WID" $(((L + R) / 2)) $((268 + (H - 268) / 2))
    ABOUT=$(timeout 10 xdotool search --sync --onlyvisible --name '^About Velkar$' 2>/dev/null | head -n1)
    if [ -z "$ABOUT" ]; then
      fail "\"About\" opened no window titled \"About Velkar\""
    else
      pass "\"About\" opens \"About Velkar\""
      import -window root "$OUT/about.png" 2>/dev/null
      geometry "$ABOUT"
      # "OK" sits at 26, 81, 36 x 10 of the 90 x 98 dialog units: its centre is at
      # 44/90 of the width and 86/98 of the height of the client area.
      click_at "$ABOUT" $((W * 44 / 90)) $((H * 86 / 98))
      GONE=no
      for _ in $(seq 50); do
        if [ -z "$(xdotool search --onlyvisible --name '^About Velkar$' 2>/dev/null)" ]; then GONE=yes; break; fi
        sleep 0.1
      done
      [ "$GONE" = yes ] && pass "\"OK\" closes About" || fail "About still open after OK"
      kill -0 "$PID" 2>/dev/null && pass "the program runs on after About" || fail "the program ended"
    fi
  fi
  xdotool windowfocus --sync "$WID" 2>/dev/null; xdotool key ctrl+q
  wait_exit "$PID" 20
  [ "$STATUS" = 0 ] || fail "Control+Q after About: exit status $STATUS"
else
  fail "the main window did not appear"; cat "$WORK/velkar.err"
fi

# ---- 4. A screenshot after a few emulation ticks shows the map round the centre ---
ROOT=$(fresh_root shot)
SHOT="$OUT/after-ticks.png"
rm -f "$SHOT"
"$VELKAR" --root "$ROOT" --time-scale 30 --quit-after-ticks 4 --screenshot "$SHOT" \
  >"$WORK/velkar.out" 2>"$WORK/velkar.err" &
PID=$!
PIDS+=("$PID")
wait_exit "$PID" 30
[ "$STATUS" = 0 ] && pass "four ticks and out: exit 0" || fail "screenshot run: exit status $STATUS"
if [ -s "$SHOT" ]; then
  # The map fills the view: the 100 x 100 square round the centre holds many
  # colours (map, position circle, arrow), the no-fix picture only a few.
  COLOURS=$(convert "$SHOT" -gravity center -crop 100x100+0+0 +repage -format %k info: 2>/dev/null)
  SIZE=$(identify -format '%wx%h' "$SHOT" 2>/dev/null)
  [ "$SIZE" = 240x268 ] && pass "screenshot is the 240 x 268 client area" || fail "screenshot size $SIZE"
  if [ "${COLOURS:-0}" -ge 12 ]; then pass "map round the centre ($COLOURS colours)"
  else fail "the centre shows only ${COLOURS:-0} colours: no map drawn"; fi
else
  fail "no screenshot written"; cat "$WORK/velkar.err"
fi

echo "pictures in $OUT"
[ "$FAILURES" = 0 ] || { echo "$FAILURES failure(s)"; exit 1; }
echo "all passed"
