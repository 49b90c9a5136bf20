#!/usr/bin/env bash
# The real velkar under Xvfb against a hostile device root: the error box of a port
# that cannot be opened still up when the tick limit closes the window (the program
# must end with 0, not free the box under its own loop), and FIFOs where the
# settings, catalogue, preference points, a point's sound and the track log should
# be (the run must end within its tick limit).
# Usage: hostile_e2e.sh VELKAR DEMO_ROOT OUT_DIR   (exit 77: skipped, tools missing)
set -u
VELKAR=$1 DEMO=$2 OUT=$3
source "$(dirname "$0")/e2e_lib.sh"
# Port 1, emulation on, audio, track to target, log, proximity.
ONE_LINE='[BEGIN][1][4800][1][0][1][1][1][1][0][0][0][END]'

# ---- 1. The tick limit closes the window under the port's error box ----------------
fresh_root box
rm -f "$OUT/box/dev/COM1"
echo "not a source" >"$OUT/box/dev/COM1"  # a regular file that names no network source
"$VELKAR" --root "$OUT/box" --time-scale 30 --quit-after-ticks 3 >"$OUT/box.log" 2>&1 &
PID=$!
PIDS+=("$PID")
if BOX=$(find_dialog "Error"); then
  pass "the port's error box is up"
  import -window root "$OUT/box.png" 2>/dev/null
else
  fail "no error box for the port"
fi
wait_exit "$PID" 30
check "the tick limit ends the run under the box with 0 ($STATUS; 134: freed under its loop)" '[ "$STATUS" = 0 ]'
check "the settings stay untouched" '[ "$(cat "$CFG")" = "$ONE_LINE" ]'

# ---- 2. FIFOs in every place a file is read or appended ---------------------------
fresh_root fifo
FILES="$OUT/fifo/My Documents/Velkar" CARD="$OUT/fifo/Scheda di memoria"
for f in "$FILES/vlcfg.cfg" "$FILES/vlmap.cfg" "$FILES/vlpref.cfg"; do rm -f "$f"; mkfifo "$f"; done
timeout 60 "$VELKAR" --root "$OUT/fifo" --time-scale 30 --quit-after-ticks 4 >"$OUT/fifo-files.log" 2>&1
STATUS=$?
check "FIFOs as the three files: the run ends within its ticks ($STATUS; 124: hung)" '[ "$STATUS" = 0 ]'
# The demo's files back, with the sound and the track log as FIFOs: the canned track
# passes the alerting point with the log on, so both are opened.
fresh_root fifo2
rm -f "$OUT/fifo2/Scheda di memoria/Velkar/bip.wav"
mkfifo "$OUT/fifo2/Scheda di memoria/Velkar/bip.wav" "$OUT/fifo2/Scheda di memoria/GpsLog.txt"
timeout 60 "$VELKAR" --root "$OUT/fifo2" --time-scale 30 --quit-after-ticks 12 -v >"$OUT/fifo-card.log" 2>&1
STATUS=$?
check "FIFOs as the sound and the track log: the run ends within its ticks ($STATUS; 124: hung)" '[ "$STATUS" = 0 ]'
check "the sound's FIFO was met and passed over" 'grep -q "bip.wav missing or not a regular file" "$OUT/fifo-card.log"'
check "the track log's FIFO was met and passed over" 'grep -q "cannot append to .*GpsLog.txt" "$OUT/fifo-card.log"'
finish
