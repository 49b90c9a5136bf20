#!/usr/bin/env bash
# The real velkar under Xvfb with its five dialogs opened from the menu bar and used
# with xdotool as a person would; checks the main window's screenshots (--screenshot)
# and the settings file, and keeps a picture of each dialog.
# Usage: dialogs_e2e.sh VELKAR OUT_DIR   (exit 77: tools missing, skipped)
set -u
VELKAR=${1:?velkar binary} OUT=${2:?output folder}
rm -rf "$OUT"
source "$(dirname "$0")/../../e2e/e2e_lib.sh"
ROOT="$OUT/root" SHOT="$OUT/main.png" FILES="$OUT/root/My Documents/Velkar"
# Maps "Bande" (bands red | green | blue | cyan, 185, 185, 185, 186 px) and "Giallo" (yellow) span the default
# corners 716346.6/4914433.5 to 717261.9/4913879.2 (1.23522 m a column): the band under a pixel tells the centre.
mkdir -p "$FILES" "$ROOT/Scheda di memoria/Velkar" "$ROOT/dev"
convert -size 185x498 xc:'#ff0000' xc:'#00ff00' xc:'#0000ff' -size 186x498 xc:'#00ffff' +append \
  -type truecolor "BMP3:$FILES/bande.bmp"
convert -size 741x498 xc:'#ffff00' -type truecolor "BMP3:$FILES/giallo.bmp"
printf '[%s][%s][\\My Documents\\Velkar\\%s.bmp][716346.6][4914433.5][717261.9][4913879.2][741][498][0][0][0][-]\n' \
  1 Bande bande 2 Giallo giallo >"$FILES/vlmap.cfg"
printf '[%s][%s][-][%s][%s][-][-][0][-][-][-][-][-]\n' 1 Rocca 716594.9 4914197.9 2 Ponte 716400.0 4914300.0 \
  >"$FILES/vlpref.cfg"
printf '[BEGIN][1][4800][0][0][0][0][0][0][0][0][0][END]' >"$FILES/vlcfg.cfg"  # port 1, emulation off
# "COM1:" is a pty whose other end the script writes: every line arriving on a fifo.
pty_receiver "$ROOT/dev/COM1"
# A live fix 208 m east of the canned one (map column 374: the green band).
send_live_fix() { printf '$GPGGA,170000.0,4420.924,N,01143.211,E,1,7,1.1,00031,M,047,M,,*5A\r\n' >"$OUT/receiver"; }
# The screenshot's pixel 90 px left of and 74 px above the centre (no text, marker or arrow), "r,g,b".
pixel() { convert "$SHOT" -format '%[fx:int(255*p{30,60}.r)],%[fx:int(255*p{30,60}.g)],%[fx:int(255*p{30,60}.b)]' info: 2>/dev/null; }
wait_colour() { for _ in $(seq 150); do [ "$(pixel)" = "$1" ] && return 0; sleep 0.1; done; return 1; }
RED=255,0,0 GREEN=0,255,0 BLUE=0,0,255 YELLOW=255,255,0
snap() { import -window "$1" "$OUT/dialog-$2.png" 2>/dev/null || fail "picture of dialog $2"; }
open_dialog() {  # title, picture name; sets DLG
  if DLG=$(find_dialog "$1"); then pass "'$1' opens"; snap "$DLG" "$2"; else fail "'$1' did not open"; return 1; fi
}

start_velkar "$ROOT" --screenshot "$SHOT" --time-scale 3 || finish
send_live_fix
check "a live fix shows the map round it (green)" 'wait_colour $GREEN'
check "the screenshot is the 240 x 268 client area" '[ "$(identify -format %wx%h "$SHOT" 2>/dev/null)" = 240x268 ]'
click_menubar "$GPS_BUTTON_X"
if open_dialog "Gps Data   Velkar" 103-gps-data; then
  click_control "$DLG" 133 133 7 120 37 10  # "OK"
  check "OK closes Gps data" 'gone "Gps Data   Velkar"'
fi
# 44 20 55.44 / 11 43 25.6 lies in the blue band.
main_menu_item "$MENU_GOTO_LL"
if open_dialog "GoTo Coordinate LL" 114-goto-coordinate; then
  for field in "8 1 19 12 44" "30 1 21 12 20" "54 1 28 12 55.44" "8 15 19 12 11" "30 15 21 12 43" "54 15 28 12 25.6"; do
    type_into "$DLG" 113 33 $field
  done
  click_control "$DLG" 113 33 86 2 26 11  # "GoTo"
  check "GoTo moves the view to the typed point" 'wait_colour $BLUE'
  click_control "$DLG" 113 33 86 16 26 11  # "Exit"
  check "Exit closes GoTo coordinate" 'gone "GoTo Coordinate LL"'
  send_live_fix
  check "after Exit a live fix moves the view (green)" 'wait_colour $GREEN'
fi
main_menu_item "$MENU_GOTO_PREF"
if open_dialog "GoTo Preference Point" 115-goto-preference; then
  click_control "$DLG" 128 31 100 17 26 11  # "Exit"
  check "Exit closes GoTo preference point" 'gone "GoTo Preference Point"'
fi
main_menu_item "$MENU_SETTING"
if open_dialog "Velkar General Settings" 107-settings; then
  click_control "$DLG" 129 127 13 14 90 10  # "Emulazione GPS " on
  click_control "$DLG" 129 127 13 61 90 10  # "Abilita Log" on
  click_control "$DLG" 129 127 15 111 32 9  # "OK"
  check "OK closes it, and the canned fix replaces the live one (red)" 'gone "Velkar General Settings" && wait_colour $RED'
fi
main_menu_item "$MENU_MAP_SET"
if open_dialog "Bitmap Parameter" 106-map-set; then
  click_control "$DLG" 129 157 12 123 80 12  # the combo box's edit field
  xdotool windowfocus --sync "$DLG"
  xdotool key --window "$DLG" Down && sleep 0.3
  click_control "$DLG" 129 157 27 142 32 10  # "Ok"
  check "Ok closes Map set and the chosen map is drawn" 'gone "Bitmap Parameter" && wait_colour $YELLOW'
fi

main_menu_item "$MENU_EXIT"
wait_exit "$PID" 10
check "Exit ends with 0 ($STATUS)" '[ "$STATUS" = 0 ]'
# comPort, baud, emulation (on), prefInDegrees, audio, track, log (on), proximity, maps
check "the settings file holds emulation 1 and log 1" \
  'tr -d "\r\n" <"$FILES/vlcfg.cfg" | grep -q "^\[BEGIN\]\[1\]\[4800\]\[1\]\[0\]\[0\]\[0\]\[1\]\[0\]\[0\]"'
finish
