# Whole program under a virtual X server: command line, input rules, single
# instance, settings written at exit, error log on a failed start.
source "$(dirname "$0")/lib.inc"

# Switches that do nothing: exit 0 at once, no window.
for arg in /x "/p 123" "/q"; do
  start=$(date +%s%N)
  "$BIN" "$arg"; code=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  check "'$arg' exits 0 at once (${ms} ms)" [ "$code" -eq 0 -a "$ms" -lt 2000 ]
done
check "no window was shown by those switches" [ -z "$(xdotool search --name 'Nereval Screen Saver' 2>/dev/null)" ]

# Full screen: a key ends it with 0.
xdotool mousemove 100 100
"$BIN" "  -S" & pid=$!
if wait_window; then pass "'  -S' opens the full-screen saver"; else fail "'  -S' opens the full-screen saver"; fi
sleep 1
check "the saver keeps running without input" kill -0 $pid
xdotool key x
wait_exit $pid 15; check "a key press ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]
check "settings file written at exit" [ -f "$SETTINGS" ]
check "it holds all $SETTINGS_VALUES values" [ "$(grep -c '^"' "$SETTINGS")" -eq "$SETTINGS_VALUES" ]
check "with their defaults" grep -q '"intWhlNumCur"=dword:0000001e' "$SETTINGS"

# A click ends it.
"$BIN" s & pid=$!
wait_window; sleep 2
xdotool click 1
wait_exit $pid 15; check "a click ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]

# Pointer travel: 4 pixels do not end it, 5 do (measured from where the
# pointer was when the saver started).
"$BIN" s & pid=$!
wait_window; sleep 2
read -r px py <<< "$(pointer)"
check "the pointer moves by 3 and 1" move_to $((px + 3)) $((py + 1))
sleep 1
check "a pointer move of 4 does not end it" kill -0 $pid
move_to $((px + 3)) $((py + 2))
wait_exit $pid 15; check "a pointer move of 5 ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]

"$BIN" s & pid=$!
wait_window; sleep 2
read -r px py <<< "$(pointer)"
move_to $((px - 5)) $py
wait_exit $pid 15; check "a pointer move of 5 to the left ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]

# Second instance exits at once while the first runs.
"$BIN" s & pid=$!
wait_window; sleep 0.5
start=$(date +%s%N)
"$BIN" s; code=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "a second saver exits 0 at once (${ms} ms)" [ "$code" -eq 0 -a "$ms" -lt 2000 ]
check "the first one still runs" kill -0 $pid
xdotool key Escape
wait_exit $pid 15; check "first one ended by a key (got $STATUS)" [ "$STATUS" = 0 ]

# The test window ignores input and closes on its close command.
"$BIN" w & pid=$!
if wait_window; then pass "'w' opens the test window"; else fail "'w' opens the test window"; fi
sleep 1
geom=$(xdotool getwindowgeometry "$WIN" | grep Geometry)
check "the test window's client area is 640x480 ($geom)" [ "$geom" = "  Geometry: 640x480" ]
xdotool mousemove --window "$WIN" 10 10; sleep 0.2
xdotool mousemove --window "$WIN" 300 300
xdotool key --window "$WIN" x
xdotool click 1
sleep 1
check "the test window ignores keys, clicks and moves" kill -0 $pid
close_window $pid; check "its close command ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]

# A host stops its saver with SIGTERM (or SIGINT): it ends normally, with 0,
# and saves the settings; frames are paced, so a running saver leaves the
# processor mostly idle.
rm -f "$SETTINGS"
"$BIN" w & pid=$!
wait_window; sleep 2
cpu=$(ps -o pcpu= -p $pid | tr -d ' ')
check "a running saver uses less than one core (${cpu}%)" awk -v c="$cpu" 'BEGIN { exit !(c < 90) }'
kill -TERM $pid
wait_exit $pid 15; check "SIGTERM ends the test window with 0 (got $STATUS)" [ "$STATUS" = 0 ]
check "and the settings are saved" [ -f "$SETTINGS" ]
# (a background job of a script starts with SIGINT ignored; restore it)
env --default-signal=INT "$BIN" s & pid=$!
wait_window; sleep 2
kill -INT $pid
wait_exit $pid 15; check "SIGINT ends the full-screen saver with 0 (got $STATUS)" [ "$STATUS" = 0 ]

# A successful start leaves an old log untouched.
echo "old log" > "$LOG"
"$BIN" w & pid=$!
wait_window; sleep 2; close_window $pid
check "the good start ended (got $STATUS)" [ "$STATUS" = 0 ]
check "a good start leaves the old log as it was" [ "$(cat "$LOG")" = "old log" ]

# No GL device: the start fails and the log says where.
rm -f "$LOG"
SDL_VIDEODRIVER=dummy "$BIN" w 2> "$ROOT/err"; code=$?
check "a start without a device exits 1 (got $code)" [ "$code" -eq 1 ]
check "and says which stage failed and where the log is ($(cat "$ROOT/err"))" \
  grep -qF "start failed at InitiateD3D; see $LOG" "$ROOT/err"
check "and writes the log" [ -f "$LOG" ]
if [ -f "$LOG" ]; then
  echo "--- log:"; cat "$LOG"; echo "---"
  check "the log starts with InitiateD3D" [ "$(head -n 1 "$LOG")" = "InitiateD3D..." ]
  check "the log ends with Failed" [ "$(tail -n 1 "$LOG")" = "Failed" ]
fi

finish
