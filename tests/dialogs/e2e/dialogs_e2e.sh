#!/usr/bin/env bash
# End to end: the real velkar program under Xvfb with its five dialogs opened from
# the menu bar and used with xdotool as a person would. Checks the main window's
# screenshots (--screenshot) and the settings file; keeps a picture of each dialog.
# Usage: dialogs_e2e.sh VELKAR_BINARY OUTPUT_DIR   (exit 77: tools missing, skipped)
set -u

VELKAR=${1:?velkar binary}
OUT=${2:?output folder}
for tool in Xvfb xdotool import convert; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

rm -rf "$OUT"
mkdir -p "$OUT"
ROOT="$OUT/root"
SHOT="$OUT/main.png"
FAILS=0
XVFB_PID=""
VELKAR_PID=""
PTY_PID=""

fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
pass() { echo "ok: $*"; }

# Reap what this script started, by process id, and nothing else.
cleanup() {
    if [ -n "$VELKAR_PID" ] && kill -0 "$VELKAR_PID" 2>/dev/null; then
        kill "$VELKAR_PID" 2>/dev/null
        wait "$VELKAR_PID" 2>/dev/null
    fi
    if [ -n "$PTY_PID" ] && kill -0 "$PTY_PID" 2>/dev/null; then
        kill "$PTY_PID" 2>/dev/null
        wait "$PTY_PID" 2>/dev/null
    fi
    if [ -n "$XVFB_PID" ] && kill -0 "$XVFB_PID" 2>/dev/null; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
}
trap cleanup EXIT

# ---- The device root: two maps over the default corners, three points ----------
# Map "Bande": four vertical bands, red | green | blue | cyan (185, 185, 185 and
# 186 px), 741 x 498. Map "Giallo": all yellow. Both span the default corners
# 716346.6/4914433.5 to 717261.9/4913879.2 (1.23522 m per column), so the band
# under a fixed pixel of the view tells where the view is centred.
mkdir -p "$ROOT/My Documents/Velkar"
convert -size 185x498 xc:'#ff0000' -size 185x498 xc:'#00ff00' -size 185x498 xc:'#0000ff' \
    -size 186x498 xc:'#00ffff' +append -type truecolor "BMP3:$ROOT/My Documents/Velkar/bande.bmp"
convert -size 741x498 xc:'#ffff00' -type truecolor "BMP3:$ROOT/My Documents/Velkar/giallo.bmp"
cat > "$ROOT/My Documents/Velkar/vlmap.cfg" <<'MAPS'
[1][Bande][\My Documents\Velkar\bande.bmp][716346.6][4914433.5][717261.9][4913879.2][741][498][0][0][0][-]
[2][Giallo][\My Documents\Velkar\giallo.bmp][716346.6][4914433.5][717261.9][4913879.2][741][498][0][0][0][-]
MAPS
# The third point lies in the cyan band (map column 720).
cat > "$ROOT/My Documents/Velkar/vlpref.cfg" <<'PREFS'
[1][Rocca][-][716594.9][4914197.9][-][-][0][-][-][-][-][-]
[2][Ponte][-][716400.0][4914300.0][-][-][0][-][-][-][-][-]
[3][Prato verde][-][717235.96][4914197.9][-][-][0][-][-][-][-][-]
PREFS
# Port 1, emulation 1, everything else off.
printf '[BEGIN][1][4800][1][0][0][0][0][0][0][0][0][END]' > "$ROOT/My Documents/Velkar/vlcfg.cfg"
mkdir -p "$ROOT/Scheda di memoria/Velkar"

# "COM1:" is a pty: the script plays the receiver, writing to its other end every
# line that arrives on a fifo.
mkfifo "$OUT/receiver"
python3 -c 'import os, pty, sys
master, slave = pty.openpty()
print(os.ttyname(slave), flush=True)
while True:
    with open(sys.argv[1], "rb") as fifo:
        for line in fifo:
            os.write(master, line)' "$OUT/receiver" >"$OUT/pty-name" &
PTY_PID=$!
for _ in $(seq 50); do [ -s "$OUT/pty-name" ] && break; sleep 0.1; done
mkdir -p "$ROOT/dev"
ln -s "$(head -n1 "$OUT/pty-name")" "$ROOT/dev/COM1"
# A live fix 208 m east of the canned one (map column 374: the green band).
LIVE_GGA='$GPGGA,170000.0,4420.924,N,01143.211,E,1,7,1.1,00031,M,047,M,,*5A'
send_live_fix() { printf '%s\r\n' "$LIVE_GGA" > "$OUT/receiver"; }

# ---- Display and program ---------------------------------------------------------
exec 3>"$OUT/displayfd"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
XVFB_PID=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$OUT/displayfd" ] && break; sleep 0.1; done
DISPLAY_NUMBER=$(head -n1 "$OUT/displayfd")
if [ -z "$DISPLAY_NUMBER" ]; then echo "FAIL: Xvfb did not start"; exit 1; fi
export DISPLAY=":$DISPLAY_NUMBER"
export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR

"$VELKAR" --root "$ROOT" --screenshot "$SHOT" --time-scale 3 >"$OUT/velkar.log" 2>&1 &
VELKAR_PID=$!

MAIN=$(xdotool search --sync --limit 1 --name '^Velkar$' 2>/dev/null | head -n1)
if [ -z "$MAIN" ]; then echo "FAIL: no main window"; exit 1; fi

# ---- Helpers ---------------------------------------------------------------------
# Geometry of a window: sets WX WY WW WH (absolute position and size).
geometry() {
    eval "$(xdotool getwindowgeometry --shell "$1" | sed -e 's/^X=/WX=/' -e 's/^Y=/WY=/' \
        -e 's/^WIDTH=/WW=/' -e 's/^HEIGHT=/WH=/' | grep -E '^(WX|WY|WW|WH)=')"
}

# Colour of one pixel of the last main-window screenshot, as "r,g,b".
pixel() {
    convert "$SHOT" -format '%[fx:int(255*p{'"$1"','"$2"'}.r)],%[fx:int(255*p{'"$1"','"$2"'}.g)],%[fx:int(255*p{'"$1"','"$2"'}.b)]' info: 2>/dev/null
}

# Waits until the screenshot's sample pixel has the colour; 0 when it did.
SAMPLE_X=30   # 90 px left of the centre, 74 px above it: no text, marker or arrow
SAMPLE_Y=60
wait_colour() {
    for _ in $(seq 150); do
        [ "$(pixel $SAMPLE_X $SAMPLE_Y)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# The window of a dialog by its exact title, waiting for it to appear.
find_dialog() {
    for _ in $(seq 100); do
        local id
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1)
        if [ -n "$id" ]; then echo "$id"; return 0; fi
        sleep 0.1
    done
    return 1
}

# Waits until no visible window carries the title.
gone() {
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

# Clicks the centre of a control given in dialog units (x y w h) of a template of
# width TW and height TH dialog units: the window's size gives the scale.
click_control() {
    local win=$1 tw=$2 th=$3 x=$4 y=$5 w=$6 h=$7
    geometry "$win"
    local px=$(( (2 * x + w) * WW / (2 * tw) ))
    local py=$(( (2 * y + h) * WH / (2 * th) ))
    xdotool mousemove --window "$win" "$px" "$py" click 1
    sleep 0.3
}

# Types text into an edit field (selects what is there first).
type_into() {
    local win=$1 tw=$2 th=$3 x=$4 y=$5 w=$6 h=$7 text=$8
    click_control "$win" "$tw" "$th" "$x" "$y" "$w" "$h"
    xdotool windowfocus --sync "$win"
    xdotool key --window "$win" ctrl+a BackSpace
    xdotool type --window "$win" --delay 30 "$text"
    sleep 0.2
}

snap_dialog() {
    import -window "$1" "$OUT/dialog-$2.png" 2>/dev/null || fail "screenshot of dialog $2"
}

# Menu-bar buttons at the foot of the main window, left to right: "Main", "Gps",
# "About". Positions are measured from the bar's own left edge.
click_menubar() {
    geometry "$MAIN"
    xdotool mousemove --window "$MAIN" "$1" $((WH - MENUBAR_HALF_HEIGHT)) click 1
    sleep 0.4
}
# The "Main" pop-up: Exit, -, Map Set..., Setting..., -, GoTo L/L, GoTo Pref...
# chosen with the keyboard: n presses of Down from the top, then Return.
main_menu_item() {
    click_menubar "$MAIN_BUTTON_X"
    local keys=()
    for _ in $(seq "$1"); do keys+=(Down); done
    xdotool key "${keys[@]}" Return
    sleep 0.4
}
# Measured on the bar as the platform lays it out (buttons sized to their captions).
MENUBAR_HALF_HEIGHT=12
MAIN_BUTTON_X=22
GPS_BUTTON_X=68
ABOUT_BUTTON_X=116
LIST_ROW_PX=12   # one line of the GoTo preference list
MENU_EXIT=1
MENU_MAP_SET=2
MENU_SETTING=3
MENU_GOTO_LL=4
MENU_GOTO_PREF=5

RED="255,0,0"
GREEN="0,255,0"
BLUE="0,0,255"
CYAN="0,255,255"
YELLOW="255,255,0"

# ---- 1. The emulated fix: the view sits in the red band --------------------------
if wait_colour "$RED"; then pass "emulation shows the map around the canned fix"; else fail "no red map around the canned fix ($(pixel $SAMPLE_X $SAMPLE_Y))"; fi
cp "$SHOT" "$OUT/main-1-emulation.png" 2>/dev/null

# ---- 2. Gps data: opened with "Gps", refreshed, closed with "OK" ----------------
click_menubar "$GPS_BUTTON_X"
if DLG=$(find_dialog "Gps Data   Velkar"); then
    pass "Gps opens 'Gps Data   Velkar'"
    sleep 2.5  # at least one refresh of the dialog's own timer
    snap_dialog "$DLG" 103-gps-data
    click_control "$DLG" 133 133 7 120 37 10   # "OK"
    if gone "Gps Data   Velkar"; then pass "OK closes Gps data"; else fail "Gps data still open after OK"; fi
else
    fail "Gps data dialog did not open"
fi

# ---- 3. General settings: emulation off ------------------------------------------
main_menu_item $MENU_SETTING
if DLG=$(find_dialog "Velkar General Settings"); then
    pass "Setting... opens 'Velkar General Settings'"
    snap_dialog "$DLG" 107-settings
    click_control "$DLG" 129 127 13 14 90 10    # "Emulazione GPS " off
    click_control "$DLG" 129 127 15 111 32 9    # "OK"
    if gone "Velkar General Settings"; then pass "OK closes General settings"; else fail "General settings still open"; fi
else
    fail "General settings dialog did not open"
fi

# ---- 4. GoTo coordinate: 44 20 55.44 / 11 43 25.6 lies in the blue band -----------
main_menu_item $MENU_GOTO_LL
if DLG=$(find_dialog "GoTo Coordinate LL"); then
    pass "GoTo L/L opens 'GoTo Coordinate LL'"
    snap_dialog "$DLG" 114-goto-coordinate
    type_into "$DLG" 113 33 8 1 19 12 "44"
    type_into "$DLG" 113 33 30 1 21 12 "20"
    type_into "$DLG" 113 33 54 1 28 12 "55.44"
    type_into "$DLG" 113 33 8 15 19 12 "11"
    type_into "$DLG" 113 33 30 15 21 12 "43"
    type_into "$DLG" 113 33 54 15 28 12 "25.6"
    snap_dialog "$DLG" 114-goto-coordinate-typed
    click_control "$DLG" 113 33 86 2 26 11      # "GoTo"
    if wait_colour "$BLUE"; then pass "GoTo moves the view to the typed point"; else fail "view not on the typed point ($(pixel $SAMPLE_X $SAMPLE_Y))"; fi
    cp "$SHOT" "$OUT/main-2-goto-coordinate.png" 2>/dev/null
    find_dialog "GoTo Coordinate LL" >/dev/null && pass "GoTo keeps the dialog open" || fail "GoTo closed the dialog"
    send_live_fix
    sleep 1.5  # the sentence has arrived and a tick has passed
    if [ "$(pixel $SAMPLE_X $SAMPLE_Y)" = "$BLUE" ]; then pass "live sentences are held back during a GoTo"; else fail "a live fix moved the view during a GoTo ($(pixel $SAMPLE_X $SAMPLE_Y))"; fi
    click_control "$DLG" 113 33 86 16 26 11     # "Exit"
    if gone "GoTo Coordinate LL"; then pass "Exit closes GoTo coordinate"; else fail "GoTo coordinate still open"; fi
    sleep 1.5  # a tick: with emulation off nothing moves the view away
    if [ "$(pixel $SAMPLE_X $SAMPLE_Y)" = "$BLUE" ]; then pass "the typed point stays with emulation off"; else fail "view moved after Exit ($(pixel $SAMPLE_X $SAMPLE_Y))"; fi
    send_live_fix
    if wait_colour "$GREEN"; then pass "after Exit a live fix moves the view"; else fail "live fix not shown after Exit ($(pixel $SAMPLE_X $SAMPLE_Y))"; fi
else
    fail "GoTo coordinate dialog did not open"
fi

# ---- 5. GoTo preference point: the third name lies in the cyan band --------------
main_menu_item $MENU_GOTO_PREF
if DLG=$(find_dialog "GoTo Preference Point"); then
    pass "GoTo Pref... opens 'GoTo Preference Point'"
    geometry "$DLG"; DX=$WX; DY=$WY
    geometry "$MAIN"
    if [ "$DX" = "$WX" ] && [ "$DY" = "$WY" ]; then pass "the strip opens at the client area's top-left"; else fail "strip at $DX,$DY, client at $WX,$WY"; fi
    snap_dialog "$DLG" 115-goto-preference
    # Third line of the list: rows of the list font from the list's top (2, 4 du).
    geometry "$DLG"
    ROW=$(( (4 * WH / 31) + 2 + 2 * LIST_ROW_PX + LIST_ROW_PX / 2 ))
    xdotool mousemove --window "$DLG" $(( 20 * WW / 128 )) "$ROW" click 1
    sleep 0.3
    snap_dialog "$DLG" 115-goto-preference-chosen
    click_control "$DLG" 128 31 100 4 26 11     # "GoTo"
    if wait_colour "$CYAN"; then pass "GoTo moves the view to the third point"; else fail "view not on the third point ($(pixel $SAMPLE_X $SAMPLE_Y))"; fi
    cp "$SHOT" "$OUT/main-3-goto-preference.png" 2>/dev/null
    click_control "$DLG" 128 31 100 17 26 11    # "Exit"
    if gone "GoTo Preference Point"; then pass "Exit closes GoTo preference point"; else fail "GoTo preference point still open"; fi
else
    fail "GoTo preference point dialog did not open"
fi

# ---- 6. General settings: emulation on again, log on -----------------------------
main_menu_item $MENU_SETTING
if DLG=$(find_dialog "Velkar General Settings"); then
    click_control "$DLG" 129 127 13 14 90 10    # "Emulazione GPS " on
    click_control "$DLG" 129 127 13 61 90 10    # "Abilita Log" on
    click_control "$DLG" 129 127 59 111 51 9    # "Reload Pref." keeps it open
    find_dialog "Velkar General Settings" >/dev/null && pass "Reload Pref. keeps General settings open" || fail "Reload Pref. closed the dialog"
    click_control "$DLG" 129 127 15 111 32 9    # "OK"
    gone "Velkar General Settings" || fail "General settings still open"
    if wait_colour "$RED"; then pass "emulation back on: the canned fix replaces the point"; else fail "emulation did not take the view back ($(pixel $SAMPLE_X $SAMPLE_Y))"; fi
else
    fail "General settings dialog did not open the second time"
fi

# ---- 7. Map set: choose "Giallo", calibration 0, 0, "Ok" --------------------------
main_menu_item $MENU_MAP_SET
if DLG=$(find_dialog "Bitmap Parameter"); then
    pass "Map Set... opens 'Bitmap Parameter'"
    snap_dialog "$DLG" 106-map-set
    click_control "$DLG" 129 157 12 123 80 12   # the combo box's edit field
    xdotool windowfocus --sync "$DLG"
    xdotool key --window "$DLG" Down
    sleep 0.3
    snap_dialog "$DLG" 106-map-set-chosen
    click_control "$DLG" 129 157 27 142 32 10   # "Ok"
    if gone "Bitmap Parameter"; then pass "Ok closes Map set"; else fail "Map set still open"; fi
    if wait_colour "$YELLOW"; then pass "the chosen map is drawn"; else fail "map did not switch ($(pixel $SAMPLE_X $SAMPLE_Y))"; fi
    cp "$SHOT" "$OUT/main-4-map-set.png" 2>/dev/null
else
    fail "Map set dialog did not open"
fi

# ---- 8. About, for its picture ---------------------------------------------------
click_menubar "$ABOUT_BUTTON_X"
if DLG=$(find_dialog "About Velkar"); then
    snap_dialog "$DLG" 105-about
    click_control "$DLG" 90 98 26 81 36 10
    gone "About Velkar" || fail "About still open"
fi

# ---- 9. Exit writes the settings as the dialogs left them ------------------------
main_menu_item $MENU_EXIT
for _ in $(seq 100); do kill -0 "$VELKAR_PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$VELKAR_PID" 2>/dev/null; then
    fail "velkar still running after Exit"
else
    wait "$VELKAR_PID"
    STATUS=$?
    VELKAR_PID=""
    [ "$STATUS" = 0 ] && pass "Exit ends with 0" || fail "Exit status $STATUS"
fi
SETTINGS=$(tr -d '\r\n' < "$ROOT/My Documents/Velkar/vlcfg.cfg")
# comPort, baud, emulation (off then on again), prefInDegrees, audio, track, log (on), proximity, mapInDegrees
if echo "$SETTINGS" | grep -q '^\[BEGIN\]\[1\]\[4800\]\[1\]\[0\]\[0\]\[0\]\[1\]\[0\]\[0\]'; then
    pass "settings file: emulation 1, log 1"
else
    fail "settings file reads: $SETTINGS"
fi

# ---- 10. A second run: boxes changed, then Control+Q leaves the file as it was ----
BEFORE=$(cat "$ROOT/My Documents/Velkar/vlcfg.cfg")
"$VELKAR" --root "$ROOT" --screenshot "$SHOT" --time-scale 3 >"$OUT/velkar-2.log" 2>&1 &
VELKAR_PID=$!
MAIN=$(xdotool search --sync --limit 1 --name '^Velkar$' 2>/dev/null | head -n1)
if [ -n "$MAIN" ]; then
    main_menu_item $MENU_SETTING
    if DLG=$(find_dialog "Velkar General Settings"); then
        click_control "$DLG" 129 127 13 61 90 10    # "Abilita Log" off
        click_control "$DLG" 129 127 13 26 90 10    # "Track punto di arrivo" on
        click_control "$DLG" 129 127 15 111 32 9    # "OK"
        gone "Velkar General Settings" || fail "General settings still open"
    else
        fail "General settings did not open in the second run"
    fi
    xdotool windowfocus --sync "$MAIN"
    xdotool key ctrl+q   # through the keyboard: the window is gone before the key is released
    for _ in $(seq 100); do kill -0 "$VELKAR_PID" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$VELKAR_PID" 2>/dev/null; then
        fail "velkar still running after Control+Q"
    else
        wait "$VELKAR_PID"
        STATUS=$?
        VELKAR_PID=""
        [ "$STATUS" = 0 ] && pass "Control+Q ends with 0" || fail "Control+Q status $STATUS"
    fi
    if [ "$(cat "$ROOT/My Documents/Velkar/vlcfg.cfg")" = "$BEFORE" ]; then
        pass "Control+Q does not write the changed boxes"
    else
        fail "settings file changed by Control+Q"
    fi
else
    fail "no main window in the second run"
fi

echo "dialog pictures and screenshots in $OUT"
[ "$FAILS" = 0 ] && { echo "all passed"; exit 0; }
echo "$FAILS failed"
exit 1
