# xsecurelock locks a screen split into two monitors and runs the saver as
# its saver module (the README's two-line wrapper): one copy per monitor, both
# show the scene, and ending the lock ends them. As root the locker runs as
# the user nobody, as a desktop user would run it.
source "$(dirname "$0")/lib.inc"

if ! command -v xsecurelock > /dev/null; then
  echo "skip: xsecurelock is not installed"; exit 0
fi
if ! split_monitors; then
  echo "skip: this server cannot be split into monitors"; exit 0
fi

copy_hack
printf '#!/bin/sh\nexec %s/nereval --root "$@"\n' "$XHOME" > "$XHOME/saver"
chmod 755 "$XHOME/saver"
[ "$(id -u)" -eq 0 ] && chown -R nobody "$XHOME"

run_as_daemon_user env XSECURELOCK_SAVER="$XHOME/saver" xsecurelock > "$ROOT/locker.log" 2>&1 & locker=$!
wait_hacks 2
check "locking starts one saver per monitor ($HACKS)" [ "$HACKS" -eq 2 ]
both_halves_show_the_sea; sea=$?
check "both monitors show the sea ($LEFT, $RIGHT)" [ "$sea" -eq 0 ]
pkill -TERM -P "$locker"  # this test's locker only (as root, runuser passes the signal on)
wait_exit $locker 5
sleep 2
live=$(live_hacks)
check "2 s after the lock ends no saver runs ($live)" [ "$live" -eq 0 ]
if [ "$failures" -ne 0 ]; then echo "--- locker log:"; tail -20 "$ROOT/locker.log"; fi

finish
