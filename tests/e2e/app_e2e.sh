#!/usr/bin/env bash
# The real velkar under Xvfb, driven with xdotool as a person would: a second start on the root exiting
# 0 unread, Control+Q leaving the settings file. (About and its OK are view_e2e's; Main > Exit,
# screenshots and the map dialogs_e2e's; the tick limit hostile_e2e's.)
# Usage: app_e2e.sh VELKAR DEMO_ROOT OUT_DIR   (exit 77: skipped, tools missing)
set -u
VELKAR=$1 DEMO=$2 OUT=$3
source "$(dirname "$0")/e2e_lib.sh"
ONE_LINE='[BEGIN][1][4800][1][0][1][1][1][1][0][0][0][END]'
fresh_root root
ROOT="$OUT/root" FILES="$OUT/root/My Documents/Velkar"

start_velkar "$ROOT" || finish
# Start-up is over once the window shows. The three files become fifos: opening one blocks until a
# writer comes, so a second instance that read a file would hang.
for f in vlcfg vlmap vlpref; do mv "$FILES/$f.cfg" "$OUT/$f.keep"; mkfifo "$FILES/$f.cfg"; done
timeout 15 "$VELKAR" --root "$ROOT" --screenshot "$OUT/second.png" >"$OUT/second.log" 2>&1
STATUS=$?
check "a second instance exits 0 reading nothing ($STATUS; 124: it hung on a file)" '[ "$STATUS" = 0 ]'
check "the second instance neither paints nor tries the port" '[ ! -e "$OUT/second.png" ] && ! grep -q Error "$OUT/second.log"'
for f in vlcfg vlmap vlpref; do rm "$FILES/$f.cfg"; mv "$OUT/$f.keep" "$FILES/$f.cfg"; done

xdotool windowfocus --sync "$MAIN" && xdotool key ctrl+q
wait_exit "$PID" 20
check "Control+Q exits with 0 ($STATUS)" '[ "$STATUS" = 0 ]'
check "Control+Q leaves the settings file" '[ "$(cat "$FILES/vlcfg.cfg")" = "$ONE_LINE" ]'
finish
