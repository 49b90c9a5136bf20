# Shared by the end-to-end scripts (sourced): a private Xvfb display, velkar processes and xdotool helpers
# acting on windows as a person would. Needs VELKAR and OUT set.
FAILS=0 PIDS=()
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
pass() { echo "ok: $*"; }
check() { if eval "$2"; then pass "$1"; else fail "$1"; fi; }  # check WHAT CONDITION
finish() { echo "pictures in $OUT"; [ "$FAILS" = 0 ] && { echo "all passed"; exit 0; }; echo "$FAILS failed"; exit 1; }
cleanup() { for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[i]}" 2>/dev/null && wait "${PIDS[i]}" 2>/dev/null; done; }
trap cleanup EXIT  # ends what this script started, by process id, newest first
for tool in Xvfb xdotool import convert python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed (packages xvfb xdotool imagemagick)"; exit 77; }
done
mkdir -p "$OUT"
wait_file() { for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done; false; }  # up to 10 s
# Xvfb picks a free display number and tells it through fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$OUT/display" 2>"$OUT/xvfb.log" &
PIDS+=($!)
wait_file "$OUT/display" || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$OUT/display")" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY QT_SCALE_FACTOR

# pty_fed NAME: a pty whose other end gets every line written to the fifo $OUT/NAME; its path in PTY.
pty_fed() {
  rm -f "$OUT/$1" "$OUT/$1.pty" && mkfifo "$OUT/$1"
  python3 -c 'import os, pty, sys
master, slave = pty.openpty()
print(os.ttyname(slave), flush=True)
while True:
    for line in open(sys.argv[1], "rb"): os.write(master, line)' "$OUT/$1" >"$OUT/$1.pty" &
  PIDS+=($!)
  wait_file "$OUT/$1.pty"; PTY=$(head -n1 "$OUT/$1.pty")
}
# The receiver: a pty fed through the fifo $OUT/receiver, linked at $1 (a root's dev/COM1).
pty_receiver() { pty_fed receiver; ln -sf "$PTY" "$1"; }
# A pty nobody feeds: the roots made by fresh_root link "COM1:" to it, so that no run opens the machine's
# own serial ports (which another test, or the user's receiver, may hold, and whose error box would then
# stand in front of the window).
pty_fed quiet; QUIET_PTY=$PTY
# fresh_root NAME: a copy of the demo root as $OUT/NAME, its settings the one line $ONE_LINE (CFG names
# the file), "COM1:" the quiet pty.
fresh_root() {
  rm -rf "$OUT/$1"; mkdir -p "$OUT/$1/dev"; cp -rL "$DEMO/." "$OUT/$1/"; ln -s "$QUIET_PTY" "$OUT/$1/dev/COM1"
  CFG="$OUT/$1/My Documents/Velkar/vlcfg.cfg"; echo -n "$ONE_LINE" >"$CFG"
}

# Starts velkar on root $1 with further options; sets PID and MAIN (the window "Velkar").
start_velkar() {
  local root=$1; shift
  "$VELKAR" --root "$root" "$@" >>"$OUT/velkar.log" 2>&1 &
  PID=$!; PIDS+=("$PID")
  MAIN=$(timeout 20 xdotool search --sync --onlyvisible --pid "$PID" --name '^Velkar$' 2>/dev/null | head -n1)
  [ -n "$MAIN" ] || { fail "no main window"; cat "$OUT/velkar.log"; return 1; }
}
wait_exit() {  # waits up to $2 s for process $1; STATUS: its exit status, or "running" (then killed)
  for _ in $(seq $(($2 * 10))); do kill -0 "$1" 2>/dev/null || { wait "$1"; STATUS=$?; return; }; sleep 0.1; done
  kill -9 "$1" 2>/dev/null; wait "$1" 2>/dev/null; STATUS=running
}
geometry() { eval "$(xdotool getwindowgeometry --shell "$1")"; }  # sets X Y WIDTH HEIGHT
# The visible window with exactly this title (waits for it), and the wait for it to go.
find_dialog() { for _ in $(seq 100); do xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -m1 . && return 0; sleep 0.1; done; false; }
gone() { for _ in $(seq 100); do xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0; sleep 0.1; done; false; }
# Clicks the centre of control (x y w h, dialog units) of window $1 whose template is tw x th units.
click_control() {
  geometry "$1"
  xdotool mousemove --window "$1" $(((2 * $4 + $6) * WIDTH / (2 * $2))) $(((2 * $5 + $7) * HEIGHT / (2 * $3))) click 1
  sleep 0.3
}
type_into() {  # the same arguments, then the text, which replaces the field's
  click_control "$@"
  xdotool windowfocus --sync "$1"; xdotool key --window "$1" ctrl+a BackSpace; xdotool type --window "$1" --delay 30 "$8"
  sleep 0.2
}
# Menu-bar buttons at the foot of the main window, measured as the platform lays them out.
MAIN_BUTTON_X=22 GPS_BUTTON_X=68 ABOUT_BUTTON_X=116
click_menubar() { geometry "$MAIN"; xdotool mousemove --window "$MAIN" "$1" $((HEIGHT - 12)) click 1; sleep 0.4; }
# "Main" pop-up: Exit, -, Map Set..., Setting..., -, GoTo L/L, GoTo Pref...; item n by n Downs.
MENU_EXIT=1 MENU_MAP_SET=2 MENU_SETTING=3 MENU_GOTO_LL=4 MENU_GOTO_PREF=5
main_menu_item() { click_menubar "$MAIN_BUTTON_X"; xdotool key $(for _ in $(seq "$1"); do printf 'Down '; done) Return; sleep 0.4; }
