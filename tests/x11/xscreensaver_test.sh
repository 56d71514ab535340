# The real XScreenSaver daemon runs the saver as its hack on a screen split
# into two monitors: activating starts one copy per monitor, both monitors
# show the scene, and deactivating leaves no copy running. The daemon will
# not run hacks as root, so as root the daemon runs as the user nobody.
source "$(dirname "$0")/lib.inc"

if ! command -v xscreensaver > /dev/null || ! command -v xscreensaver-command > /dev/null; then
  echo "skip: xscreensaver is not installed"; exit 0
fi
if ! split_monitors; then
  echo "skip: this server cannot be split into monitors"; exit 0
fi

# A home the daemon's user can read, with the hack as its only program.
copy_hack
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
chmod 644 "$XHOME/.xscreensaver"
[ "$(id -u)" -eq 0 ] && chown -R nobody "$XHOME"

run_as_daemon_user xscreensaver -no-splash -verbose > "$ROOT/daemon.log" 2>&1 & daemon=$!
sleep 3
run_as_daemon_user xscreensaver-command -activate > /dev/null
wait_hacks 2
check "activating starts one hack per monitor ($HACKS)" [ "$HACKS" -eq 2 ]
both_halves_show_the_sea; sea=$?
check "both monitors show the sea ($LEFT, $RIGHT)" [ "$sea" -eq 0 ]
run_as_daemon_user xscreensaver-command -deactivate > /dev/null
sleep 2
live=$(live_hacks)
check "2 s after deactivating no hack runs ($live)" [ "$live" -eq 0 ]
run_as_daemon_user xscreensaver-command -exit > /dev/null
wait_exit $daemon 5
if [ "$failures" -ne 0 ]; then echo "--- daemon log:"; grep -v "^   |^	" "$ROOT/daemon.log" | tail -40; fi

finish
