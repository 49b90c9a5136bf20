#!/usr/bin/env bash
# The real velkar under Xvfb with a window manager (openbox), used as a person would: --size, '+' and the
# View pop-up (Night colours), F11 there and back, the dialogs' Escape and title-bar close button (command
# 2 where the dialog has one, nothing else); then a pty walk recorded as a track, and a small screen.
# Usage: view_e2e.sh VELKAR DEMO_ROOT OUT_DIR   (exit 77: tools missing, skipped)
set -u
VELKAR=$1 DEMO=$2 OUT=$3
command -v openbox >/dev/null 2>&1 || { echo "SKIP: openbox is not installed"; exit 77; }
source "$(dirname "$0")/e2e_lib.sh"
ONE_LINE='[BEGIN][1][4800][1][0][0][0][0][0][0][0][0][END]'  # emulation on: the demo map shows
fresh_root root
ROOT="$OUT/root" VIEW="$OUT/root/My Documents/Velkar/vlview.cfg" SHOT="$OUT/main.png"
openbox --sm-disable >"$OUT/openbox.log" 2>&1 &
PIDS+=($!) && sleep 1
wait_size() { for _ in $(seq 50); do [ "$(identify -format %wx%h "$SHOT" 2>/dev/null)" = "$1" ] && return 0; sleep 0.1; done; false; }
view_token() { tr -d '\n' <"$VIEW" 2>/dev/null | sed -n 's/^\[VIEW\]\[\([01]\)\]\[\([01]\)\]\[\([01]\)\]\[\([01]\)\]\[\([01]\)\].*/\1\2\3\4\5/p'; }
wait_view() { for _ in $(seq 50); do [ "$(view_token)" = "$1" ] && return 0; sleep 0.1; done; false; }

start_velkar "$ROOT" --size 800x480 --screenshot "$SHOT" --time-scale 3 || finish
check "--size 800x480 opens a client area of that size" 'wait_size 800x480'
xdotool windowfocus --sync "$MAIN" && xdotool key --window "$MAIN" plus
check "'+' zooms the map in and keeps it in vlview.cfg" 'sleep 0.5; grep -q "^\[ZOOM\]\[6\]" "$VIEW"'
xdotool key --window "$MAIN" 0
check "'0' goes back to 1:1" 'sleep 0.5; grep -q "^\[ZOOM\]\[5\]" "$VIEW"'
xdotool mousemove --window "$MAIN" 200 200 click 5 click 5
check "two turns of the wheel down zoom out two steps" 'sleep 0.5; grep -q "^\[ZOOM\]\[3\]" "$VIEW"'

# The View button follows "About" on the bar (x 162); its pop-up: Zoom in, Zoom out, 1:1, -, Trail,
# Record track, Keep map without fix, Night colours, Full screen.
click_menubar 162
xdotool key Down Down Down Down Down Down Down Return
check "View > Night colours switches night on" 'wait_view 00010'

xdotool windowfocus --sync "$MAIN" && xdotool key --window "$MAIN" F11
check "F11 fills the screen" 'sleep 1; geometry "$MAIN"; [ "$WIDTH" = 1024 ] && wait_view 00011'
xdotool key --window "$MAIN" F11
check "F11 again gives the 800 x 480 window back" 'wait_size 800x480 && wait_view 00010'

# Dialogs: About has no command 2 (Escape leaves it open); GoTo L/L's Exit is 2.
click_menubar "$ABOUT_BUTTON_X"
if ABOUT=$(find_dialog "About Velkar"); then
  xdotool windowfocus --sync "$ABOUT"; xdotool key Escape; sleep 0.5
  check "Escape leaves About open (it has no command 2)" 'find_dialog "About Velkar" >/dev/null'
  click_control "$ABOUT" 90 98 26 81 36 10  # "OK"
  check "OK closes About" 'gone "About Velkar"'
else fail "About did not open"; fi
main_menu_item "$MENU_GOTO_LL"
if DLG=$(find_dialog "GoTo Coordinate LL"); then
  type_into "$DLG" 113 33 8 1 19 12 "45,695"; xdotool key Escape
  check "Escape ends GoTo L/L (its Exit, command 2)" 'gone "GoTo Coordinate LL"'
else fail "GoTo L/L did not open"; fi
# The window manager's close button: the right end of the title bar above the dialog
# (xwininfo gives the dialog's place on the screen; xdotool's counts the frame twice).
click_close_button() {
  eval "$(xwininfo -id "$1" | sed -n 's/^ *Absolute upper-left \([XY]\): *\(-*[0-9]*\)/ABS_\1=\2/p; s/^ *Width: *\([0-9]*\)/ABS_W=\1/p')"
  xdotool mousemove $((ABS_X + ABS_W - 9)) $((ABS_Y - 10)) click 1; sleep 0.5
}
main_menu_item "$MENU_GOTO_PREF"
if DLG=$(find_dialog "GoTo Preference Point"); then
  click_close_button "$DLG"
  check "the title bar's close button ends GoTo Pref (its Exit, command 2)" 'gone "GoTo Preference Point"'
else fail "GoTo Pref did not open"; fi
main_menu_item "$MENU_MAP_SET"
if DLG=$(find_dialog "Bitmap Parameter"); then
  click_close_button "$DLG"
  check "the close button leaves Map set open (its Cancel is 1013, not 2)" 'find_dialog "Bitmap Parameter" >/dev/null'
  click_control "$DLG" 129 157 71 142 32 10  # "Cancel"
  check "Cancel closes Map set" 'gone "Bitmap Parameter"'
else fail "Map set did not open"; fi
main_menu_item "$MENU_EXIT"
wait_exit "$PID" 10
check "Exit ends with 0 ($STATUS) and keeps night on" '[ "$STATUS" = 0 ] && [ "$(view_token)" = 00010 ]'

# A walk north along Lake Garda through a pty, recording on from the last run: every fix becomes a track
# point that GPSBabel reads back, the file whole after each one.
ONE_LINE='[BEGIN][1][4800][0][0][0][0][0][0][0][0][0][END]'  # emulation off
fresh_root walk
printf '[VIEW][0][1][0][0][0][][][][][][][END]\n' >"$OUT/walk/My Documents/Velkar/vlview.cfg"
pty_receiver "$OUT/walk/dev/COM1"
start_velkar "$OUT/walk" --fullscreen || finish
check "--fullscreen starts filling the screen" 'sleep 1; geometry "$MAIN"; [ "$WIDTH" = 1024 ]'
for i in 0 1 2 3 4; do
  printf '$GPGGA,10150%d.00,4541.%03d,N,01042.750,E,1,08,0.9,65.0,M,47.0,M,,*00\r\n' "$i" $((700 + i)) >"$OUT/receiver"; sleep 0.4
done
# A sentence without a fix gives no point; one far south-west gives signed degrees.
printf '$GPGGA,101505.00,4541.705,N,01042.750,E,0,00,,,M,,M,,*00\r\n$GPGGA,101506.00,3351.408,S,07030.000,W,1,05,1.2,65.0,M,,M,,*00\r\n' >"$OUT/receiver"
sleep 1
main_menu_item "$MENU_EXIT"
wait_exit "$PID" 10
TRACK=$(ls "$OUT/walk/Scheda di memoria/Velkar/tracks/"*.gpx 2>/dev/null | head -n1)
check "the recording went on after the restart: one track file" '[ -n "$TRACK" ]'
if [ -n "$TRACK" ] && command -v gpsbabel >/dev/null; then
  gpsbabel -t -i gpx -f "$TRACK" -o unicsv,utc=0 -F "$OUT/walk.csv" 2>"$OUT/gpsbabel.log"
  check "GPSBabel reads the five fixes of the walk" '[ "$(grep -c ",10.712500,65.0," "$OUT/walk.csv")" = 5 ]'
  check "the last one 4 thousandths of a minute north at 10:15:04" 'grep -q "^5,45.695067,10.712500,65.0,.*,10:15:04" "$OUT/walk.csv"'
  check "no point without a fix; south and west are negative" \
    '[ "$(grep -c . "$OUT/walk.csv")" = 7 ] && grep -q "^6,-33.856800,-70.500000,65.0,.*,10:15:06" "$OUT/walk.csv"'
fi

# A screen 320 pixels (81 mm at the toolkit's assumed 100 dpi) high: finger-sized buttons, 9 mm = 36
# pixels. (Xvfb always tells the toolkit 96 dpi, so the headless platform's own screen stands in.)
printf '{"screens": [{"name": "small", "x": 0, "y": 0, "width": 480, "height": 320, "logicalDpi": 96}]}\n' >"$OUT/small.json"
QT_QPA_PLATFORM="offscreen:configfile=$OUT/small.json" timeout 30 "$VELKAR" -v --root "$OUT/walk" --time-scale 10 \
  --quit-after-ticks 1 >"$OUT/small.log" 2>&1
check "on an 81 mm high screen the bar's buttons are at least 9 mm (36 px) tall" \
  'grep -q "81 mm high.*buttons at least 36 pixels" "$OUT/small.log"'
finish
