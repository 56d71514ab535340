# The saver as a native Wayland client: weston's X11 back end runs inside the
# virtual X server, and the saver talks to weston. Wayland tells a client
# nothing of the pointer until it enters the client's window, so the start-up
# position is unknown: the saver must stay up when the pointer is first
# reported, and a 5-pixel move after that, a key or a click must still end it.
# A compositor with no seat (weston's headless back end) is refused with one
# line, by the saver and by the dialog, instead of crashing.
source "$(dirname "$0")/lib.inc"

if ! command -v weston > /dev/null; then
  fail "weston is not installed (tools/install-deps.sh --test installs it)"
  finish; exit
fi

# Starts weston with back end $1 on socket $2; waits until it answers.
start_weston() {
  weston --backend="$1" --use-pixman --socket="$2" --idle-time=0 --width=1024 --height=768 \
    --log="$ROOT/weston-$2.log" > /dev/null 2>&1 &
  local t=0
  while [ ! -S "$XDG_RUNTIME_DIR/$2" ] && [ $t -lt 100 ]; do sleep 0.1; t=$((t + 1)); done
  sleep 1  # the shell client starts after the socket exists
  [ -S "$XDG_RUNTIME_DIR/$2" ]
}
saver() { env -u DISPLAY WAYLAND_DISPLAY=$WL SDL_VIDEODRIVER=wayland "$BIN" "$@"; }

WL=nereval-x11-$$
check "weston starts on the virtual X server" start_weston x11-backend.so "$WL"
xdotool mousemove 500 400

saver s 2> "$ROOT/err" & pid=$!
sleep 4
check "the full-screen saver stays up 4 s after the pointer is first reported" kill -0 $pid
import -window root "$ROOT/saver.png"
xdotool mousemove 503 401
sleep 1
check "a pointer move of 4 does not end it" kill -0 $pid
xdotool mousemove 503 402
wait_exit $pid 10; check "a pointer move of 5 ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]
sleep 0.5
import -window root "$ROOT/desktop.png"
changed=$(compare -metric AE -fuzz 10% "$ROOT/desktop.png" "$ROOT/saver.png" null: 2>&1 | cut -d' ' -f1)
check "it drew over most of the screen ($changed of 786432 pixels differ from the desktop)" [ "${changed%.*}" -gt 400000 ]
check "without a word on stderr ($(head -c 300 "$ROOT/err"))" [ ! -s "$ROOT/err" ]

saver s & pid=$!
sleep 3
xdotool key x
wait_exit $pid 10; check "a key ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]
saver s & pid=$!
sleep 3
xdotool click 1
wait_exit $pid 10; check "a click ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]

# A compositor with no input devices offers no seat.
HEADLESS=nereval-headless-$$
check "weston's headless back end starts" start_weston headless-backend.so "$HEADLESS"
WL=$HEADLESS
timeout 20 env -u DISPLAY WAYLAND_DISPLAY=$WL SDL_VIDEODRIVER=wayland "$BIN" s 2> "$ROOT/err"; code=$?
check "on a compositor without a seat the saver exits 1, not by a crash (got $code)" [ "$code" -eq 1 ]
check "and says why ($(head -n 1 "$ROOT/err"))" \
  grep -qx "nereval: cannot start video: the Wayland compositor offers no seat (no keyboard or pointer)" "$ROOT/err"
timeout 20 env -u DISPLAY WAYLAND_DISPLAY=$WL "$BIN" c 2> "$ROOT/err"; code=$?
check "the dialog there exits 1 with one line (got $code: $(cat "$ROOT/err"))" \
  [ "$code" -eq 1 -a "$(wc -l < "$ROOT/err")" -eq 1 ]

# With an X display beside it, the dialog uses X and shows without GTK's
# complaints about the missing seat.
WAYLAND_DISPLAY=$WL "$BIN" c 2> "$ROOT/err" & pid=$!
t=0; DWIN=
while [ $t -lt 150 ] && [ -z "$DWIN" ]; do
  DWIN=$(xdotool search --onlyvisible --name '^Nereval1\.4$' 2>/dev/null | head -n 1); sleep 0.1; t=$((t + 1))
done
check "beside an X display the dialog opens there" [ -n "$DWIN" ]
[ -n "$DWIN" ] && "$XCLOSE" "$DWIN"
wait_exit $pid 10; check "and closes with 0 (got $STATUS)" [ "$STATUS" = 0 ]
check "with nothing on stderr ($(head -c 300 "$ROOT/err"))" [ ! -s "$ROOT/err" ]

finish
