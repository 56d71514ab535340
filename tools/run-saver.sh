#!/usr/bin/env bash
# Starts the saver in its 640 x 480 test window. Without a display it runs
# under a virtual X server for a few seconds and saves a screenshot (the
# device writes it: NEREVAL_SCREENSHOT).
set -euo pipefail
bin=${1:-build/nereval}
shot=$(dirname "$bin")/screenshot.png

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$bin" w
fi

echo "No display: running the saver under a virtual X server for a few seconds."
rm -f "$shot"
delay=${NEREVAL_SHOT_DELAY:-4}
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash -c '
  set -u
  NEREVAL_SCREENSHOT="$2" NEREVAL_SCREENSHOT_AFTER="$3" "$1" w &
  pid=$!
  for _ in $(seq 1 $(( ${3%.*} * 10 + 100 ))); do
    [ -s "$2" ] && break
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"; echo "the saver ended early (exit code $?); see ${XDG_STATE_HOME:-$HOME/.local/state}/NerevalErrLog.txt" >&2; exit 1
    fi
    sleep 0.1
  done
  kill -TERM "$pid"; wait "$pid" || true
' _ "$bin" "$shot" "$delay"
if [ ! -s "$shot" ]; then echo "No screenshot was written." >&2; exit 1; fi
echo "Screenshot saved to $shot"
