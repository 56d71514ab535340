# The real XScreenSaver daemon runs the saver as its hack on a screen split
# into two monitors: activating starts one copy per monitor, both monitors
# show the scene, and deactivating leaves no copy running. The daemon will
# not run hacks as root, so as root the daemon runs as the user nobody.
source "$(dirname "$0")/lib.inc"

if ! command -v xscreensaver > /dev/null || ! command -v xscreensaver-command > /dev/null; then
  echo "skip: xscreensaver is not installed"; exit 0
fi
as_user() { "$@"; }
if [ "$(id -u)" -eq 0 ]; then
  as_user() { runuser -u nobody -- env HOME="$XHOME" DISPLAY="$DISPLAY" "$@"; }
fi
xrandr --setmonitor left 512/135x768/203+0+0 screen > /dev/null 2>&1
xrandr --setmonitor right 512/135x768/203+512+0 none > /dev/null 2>&1
if [ "$(xrandr --listmonitors | head -n 1)" != "Monitors: 2" ]; then
  echo "skip: this server cannot be split into monitors"; exit 0
fi
xhost +local: > /dev/null

# A home the daemon's user can read, with the hack as its only program.
XHOME=$ROOT/home
mkdir -p "$XHOME"
cp "$BIN" "$XHOME/nereval"
cat > "$XHOME/.xscreensaver" <<X
mode: one
selected: 0
timeout: 0:30:00
lock: False
splash: False
fade: False
unfade: False
programs: GL: $XHOME/nereval --root \n
X
chmod 755 "$ROOT" "$XHOME"; chmod 644 "$XHOME/.xscreensaver"
[ "$(id -u)" -eq 0 ] && chown -R nobody "$XHOME"

as_user xscreensaver -no-splash -verbose > "$ROOT/daemon.log" 2>&1 & daemon=$!
sleep 3
as_user xscreensaver-command -activate > /dev/null
hacks=0
for t in $(seq 1 40); do
  hacks=$(pgrep -f -c "$XHOME/nereval --root"); [ "$hacks" -ge 2 ] && break; sleep 0.25
done
check "activating starts one hack per monitor ($hacks)" [ "$hacks" -eq 2 ]
grey() { import -window root -crop "$1" +repage -colorspace Gray -format '%[fx:mean]' info:; }
for t in $(seq 1 30); do
  l=$(grey 492x748+10+10); r=$(grey 492x748+522+10)
  awk -v a="$l" -v b="$r" 'BEGIN { exit !(a > 0.3 && b > 0.3) }' && break
  sleep 0.5
done
check "both monitors show the sea ($l, $r)" awk -v a="$l" -v b="$r" 'BEGIN { exit !(a > 0.3 && b > 0.3) }'
as_user xscreensaver-command -deactivate > /dev/null
sleep 2
live=$(ps -o stat=,args= -C nereval | grep -F "$XHOME/nereval --root" | grep -vc '^Z')  # exited, unreaped: not running
check "2 s after deactivating no hack runs ($live)" [ "$live" -eq 0 ]
as_user xscreensaver-command -exit > /dev/null
wait_exit $daemon 5
if [ "$failures" -ne 0 ]; then echo "--- daemon log:"; grep -v "^   |^	" "$ROOT/daemon.log" | tail -40; fi

finish
