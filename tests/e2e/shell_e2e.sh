#!/usr/bin/env bash
# The real velkar under Xvfb, driven with xdotool as a person would: About and its OK;
# Control+Q leaving the settings file; a second start on the root exiting 0 unread;
# "Main" > "Exit" rewriting the settings; the map round the centre after a few ticks.
# Usage: shell_e2e.sh VELKAR DEMO_ROOT OUT_DIR   (exit 77: skipped, tools missing)
set -u
VELKAR=$1 DEMO=$2 OUT=$3
source "$(dirname "$0")/e2e_lib.sh"
ONE_LINE='[BEGIN][1][4800][1][0][1][1][1][1][0][0][0][END]'

# ---- 1. About, then Control+Q ----------------------------------------------------
fresh_root about
if start_velkar "$OUT/about"; then
  click_menubar "$ABOUT_BUTTON_X"
  if ABOUT=$(find_dialog "About Velkar"); then
    import -window root "$OUT/about.png" 2>/dev/null
    click_control "$ABOUT" 90 98 26 81 36 10  # "OK"
    check "\"OK\" closes About" 'gone "About Velkar"'
  else
    fail "\"About\" opened no window titled \"About Velkar\""
  fi
  xdotool windowfocus --sync "$MAIN"
  xdotool key ctrl+q
  wait_exit "$PID" 20
  check "Control+Q exits with 0 ($STATUS)" '[ "$STATUS" = 0 ]'
  check "Control+Q leaves the settings file" '[ "$(cat "$CFG")" = "$ONE_LINE" ]'
fi

# ---- 2. A second instance on the root, then "Main" > "Exit" ------------------------
fresh_root exit
if start_velkar "$OUT/exit"; then
  # Start-up is over once the window shows. The three files become fifos: opening one
  # blocks until a writer comes, so a second instance that read a file would hang.
  FILES="$OUT/exit/My Documents/Velkar"
  for f in vlcfg vlmap vlpref; do mv "$FILES/$f.cfg" "$OUT/$f.keep"; mkfifo "$FILES/$f.cfg"; done
  timeout 15 "$VELKAR" --root "$OUT/exit" --screenshot "$OUT/second.png" >"$OUT/second.log" 2>&1
  STATUS=$?
  check "a second instance exits 0 reading nothing ($STATUS; 124: it hung on a file)" '[ "$STATUS" = 0 ]'
  check "the second instance neither paints nor tries the port" '[ ! -e "$OUT/second.png" ] && ! grep -q Error "$OUT/second.log"'
  for f in vlcfg vlmap vlpref; do rm "$FILES/$f.cfg"; mv "$OUT/$f.keep" "$FILES/$f.cfg"; done
  main_menu_item "$MENU_EXIT"
  wait_exit "$PID" 20
  check "Main > Exit exits with 0 ($STATUS)" '[ "$STATUS" = 0 ]'
  check "Main > Exit rewrites the settings file, one value a line" '[ "$(cat "$CFG")" = "$(sed "s/\]\[/]\n[/g" <<<"$ONE_LINE")" ]'
fi

# ---- 3. A screenshot after four emulation ticks -----------------------------------
fresh_root shot
SHOT="$OUT/after-ticks.png"
"$VELKAR" --root "$OUT/shot" --time-scale 30 --quit-after-ticks 4 --screenshot "$SHOT" >>"$OUT/velkar.log" 2>&1 &
PID=$!
PIDS+=("$PID")
wait_exit "$PID" 30
check "four ticks and out: exit 0 ($STATUS), settings untouched" '[ "$STATUS" = 0 ] && [ "$(cat "$CFG")" = "$ONE_LINE" ]'
check "the screenshot is the 240 x 268 client area" '[ "$(identify -format %wx%h "$SHOT" 2>/dev/null)" = 240x268 ]'
# The map fills the view: the centre holds many colours (map, circle, arrow), no fix only a few.
COLOURS=$(convert "$SHOT" -gravity center -crop 100x100+0+0 +repage -format %k info: 2>/dev/null)
check "map round the centre (${COLOURS:-0} colours)" '[ "${COLOURS:-0}" -ge 12 ]'
finish
