# The soak is headless: with DISPLAY and WAYLAND_DISPLAY naming servers that
# are not there it still runs and prints its summary.
set -u
BUILD=$1
out=$(DISPLAY=:99 WAYLAND_DISPLAY=nereval-no-such-display timeout 50 "$BUILD/tools/soak" --seconds 1 --simulated 1 2>&1)
code=$?
echo "$out" | tail -n 3
echo "$out" | grep -q '^soak: simulated 1 s, frames 20, .*rss growth .* MiB/h' || { echo "FAIL: no summary line"; exit 1; }
[ "$code" -eq 0 ] || { echo "FAIL: exit $code"; exit 1; }
echo "ok: the soak ran headless with a stale DISPLAY"
