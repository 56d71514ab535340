# Hosted mode and the command line's long options: drawing in a window
# another program owns (a stand-in for the screen saver daemon's), following
# its size, ending on SIGTERM, never writing the settings file; settings
# flags over the file in the test window; bad command lines exit 2.
source "$(dirname "$0")/lib.inc"

# Mean grey (0..1) of a WxH+X+Y part of the screen.
grey() { import -window root -crop "$1" +repage -colorspace Gray -format '%[fx:mean]' info: 2>/dev/null; }
# Is $1 below/above $2?
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
# Starts a host window at X Y W H (extra arguments go to the helper); sets HOST and HOSTPID.
host() {
  local out=$ROOT/host.$$.$RANDOM
  "$HOSTWIN" "$@" > "$out" & HOSTPID=$!
  local t=0; while [ ! -s "$out" ] && [ $t -lt 50 ]; do sleep 0.1; t=$((t + 1)); done
  HOST=$(head -n 1 "$out")
  kill -0 $HOSTPID 2>/dev/null
}
# Waits up to 15 s for the WxH+X+Y part of the screen to be drawn (mean grey
# above 0.3: the normal sea is pale; the host's own background is black).
drawn() {
  local t=0
  while [ $t -lt 30 ]; do below 0.3 "$(grey "$1")" && return 0; sleep 0.5; t=$((t + 1)); done
  return 1
}

# --- The command line: help, version, and what is refused with 2.
out=$("$BIN" --help); code=$?
check "--help exits 0" [ "$code" -eq 0 ]
for word in --root --window-id --deep-sea --no-deep-sea --whales --speed --camera-mode --clock --music --no-music \
            --fps --no-fps --tint --picture-size --aspect --radius --separation --alignment --cohesion --migration \
            --centring --delay --earth --pillars --floating-pillars --moons --animation --collisions --large-whales; do
  grep -qe "$word" <<< "$out" || fail "--help lists $word"
done
check "--version prints the version" grep -qE '^nereval [0-9]+\.[0-9]+\.[0-9]+$' <<< "$("$BIN" --version)"
for args in "--settings" "--set intChkCol=1" "--whales 0" "--whales 51" "--whales x" "--speed" "--camera-mode 4" \
            "--clock noon" "--picture-size 1024x768" "--deep-sea=1" "--window-id" "--window-id nope" \
            "--root --window-id 0x123" "--root s" "c --deep-sea" "--fps" "--root --delay x"; do
  "$BIN" $args > /dev/null 2> "$ROOT/err"; code=$?
  check "'$args' exits 2 with one line ($code: $(cat "$ROOT/err"))" [ "$code" -eq 2 -a "$(wc -l < "$ROOT/err")" -eq 1 ]
done
XSCREENSAVER_WINDOW=zz "$BIN" --root 2> "$ROOT/err"; code=$?
check "a bad XSCREENSAVER_WINDOW exits 2 ($code)" [ "$code" -eq 2 ]
"$BIN" --window-id 0x7fffff0 2> "$ROOT/err"; code=$?
check "a window that does not exist: exit 1 with a line ($code: $(head -n 1 "$ROOT/err"))" \
  [ "$code" -eq 1 -a -s "$ROOT/err" ]
check "no window of its own was shown" [ -z "$(xdotool search --name 'Nereval Screen Saver' 2>/dev/null)" ]

# --- Hosted in a plain window: it fills it, follows it when it grows, ends within 1 s of SIGTERM.
host 0 0 320 240
"$BIN" --window-id "$HOST" & pid=$!
check "the host window is drawn" drawn 300x220+10+10
normal=$(grey 300x220+10+10)
check "no window of its own" [ -z "$(xdotool search --name 'Nereval Screen Saver' 2>/dev/null)" ]
xdotool windowsize "$HOST" 640 400
check "it follows the host when it grows" drawn 300x140+330+250
check "input does not end it" bash -c "xdotool mousemove 100 100 click 1 key x; sleep 1; kill -0 $pid"
start=$(date +%s%N)
kill -TERM $pid
wait_exit $pid 3
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "SIGTERM ends it with 0 within 1 s (got $STATUS after $ms ms)" [ "$STATUS" = 0 -a "$ms" -lt 1000 ]
check "the host window is still there and mapped" bash -c "xwininfo -id $HOST | grep -q IsViewable"
check "the settings file was not written" [ ! -f "$SETTINGS" ]

# --- Deep sea from the flag darkens the picture; SIGINT ends it too.
env --default-signal=INT "$BIN" --window-id="$HOST" --deep-sea & pid=$!
sleep 4
deep=$(grey 300x220+10+10)
check "--deep-sea darkens the picture ($normal -> $deep)" below "$deep" "$(awk -v n="$normal" 'BEGIN { print n / 2 }')"
kill -INT $pid
wait_exit $pid 3; check "SIGINT ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]
kill $HOSTPID

# --- Two at once, as a daemon starts one per monitor, through XSCREENSAVER_WINDOW.
host 0 0 400 300; h1=$HOST hp1=$HOSTPID
host 500 0 400 300; h2=$HOST hp2=$HOSTPID
XSCREENSAVER_WINDOW=$h1 "$BIN" --root & p1=$!
XSCREENSAVER_WINDOW=$((h2)) "$BIN" --root --whales 5 & p2=$!
check "the first of two draws (hexadecimal id)" drawn 380x280+10+10
check "the second of two draws (decimal id)" drawn 380x280+510+10
kill -TERM $p1 $p2
wait_exit $p1 3; s1=$STATUS; wait_exit $p2 3
check "both end on SIGTERM ($s1, $STATUS)" [ "$s1" = 0 -a "$STATUS" = 0 ]
kill $hp1 $hp2

# --- --root without XSCREENSAVER_WINDOW draws on the root window.
(unset XSCREENSAVER_WINDOW; exec "$BIN" --root) & pid=$!
check "--root alone draws on the root window" drawn 1000x740+10+10
kill -TERM $pid; wait_exit $pid 3; check "and ends on SIGTERM (got $STATUS)" [ "$STATUS" = 0 ]

# --- A host whose visual cannot take OpenGL: a child window of our own, at the host's size.
if host 0 0 320 240 --no-gl-visual; then
  "$BIN" --window-id "$HOST" & pid=$!
  check "a host without an OpenGL visual is drawn through a child window" drawn 300x220+10+10
  xdotool windowsize "$HOST" 600 400
  check "the child follows the host" drawn 250x130+330+250
  kill -TERM $pid; wait_exit $pid 3; check "and ends on SIGTERM (got $STATUS)" [ "$STATUS" = 0 ]
  kill $HOSTPID
else
  echo "skip: this server has no visual without OpenGL"
fi

# --- Flags in the test window lie over the file and are never written back.
mkdir -p "$(dirname "$SETTINGS")"
cat > "$SETTINGS" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Ostrelin\\NerevalSaver\\1.4]
"intWhlNumCur"=dword:00000005
REG
"$BIN" w --deep-sea --whales 40 & pid=$!
if wait_window; then pass "'w --deep-sea --whales 40' opens the test window"; else fail "'w' with flags opens"; fi
sleep 2
read -r wx wy <<< "$(xdotool getwindowgeometry "$WIN" | sed -nE 's/.*Position: ([0-9]+),([0-9]+).*/\1 \2/p')"
wdeep=$(grey "600x440+$((wx + 20))+$((wy + 20))")
check "the flag darkens the test window ($wdeep)" below "$wdeep" 0.3
close_window $pid; check "it ends with 0 (got $STATUS)" [ "$STATUS" = 0 ]
check "the file keeps its own whale count" grep -q '"intWhlNumCur"=dword:00000005' "$SETTINGS"
check "and no deep sea" grep -q '"intChkCol"=dword:00000000' "$SETTINGS"

finish
