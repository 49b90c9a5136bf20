#!/usr/bin/env bash
# The real velkar under Xvfb on a hostile device root: the tick limit closing the window under the error box
# of a port that cannot be opened, FIFOs where the catalogue and the points should be (the run must end with
# 0), and FIFOs where a point's sound and the track log should be (the run must end within its tick limit).
# Usage: hostile_e2e.sh VELKAR DEMO_ROOT OUT_DIR   (exit 77: skipped, tools missing)
set -u
VELKAR=$1 DEMO=$2 OUT=$3
source "$(dirname "$0")/e2e_lib.sh"
ONE_LINE='[BEGIN][1][4800][1][0][1][1][1][1][0][0][0][END]'  # port 1, emulation, audio, track, log, proximity

fresh_root box
rm -f "$OUT/box/dev/COM1" && echo "not a source" >"$OUT/box/dev/COM1"  # a file that names no network source
for f in vlmap.cfg vlpref.cfg; do rm -f "$OUT/box/My Documents/Velkar/$f"; mkfifo "$OUT/box/My Documents/Velkar/$f"; done
"$VELKAR" --root "$OUT/box" --time-scale 30 --quit-after-ticks 3 >"$OUT/box.log" 2>&1 &
PID=$!; PIDS+=("$PID")
check "past the FIFOs as the catalogue and the points, the port's error box is up" 'find_dialog Error >/dev/null'
wait_exit "$PID" 30
check "the tick limit ends the run under the box with 0 ($STATUS; 134: freed under its loop)" '[ "$STATUS" = 0 ]'
check "the settings stay untouched" '[ "$(cat "$CFG")" = "$ONE_LINE" ]'

# The canned track passes the alerting point with the log on: the sound and the log are opened.
fresh_root fifo
CARD="$OUT/fifo/Scheda di memoria"
rm -f "$CARD/Velkar/bip.wav" && mkfifo "$CARD/Velkar/bip.wav" "$CARD/GpsLog.txt"
timeout 60 "$VELKAR" --root "$OUT/fifo" --time-scale 30 --quit-after-ticks 12 -v >"$OUT/fifo-card.log" 2>&1
STATUS=$?
check "FIFOs as the sound and the track log: the run ends within its ticks ($STATUS; 124: hung)" '[ "$STATUS" = 0 ]'
check "the sound's FIFO was met and passed over" 'grep -q "bip.wav missing or not a regular file" "$OUT/fifo-card.log"'
check "the track log's FIFO was met and passed over" 'grep -q "cannot append to .*GpsLog.txt" "$OUT/fifo-card.log"'
finish
