#!/usr/bin/env bash
# Starts the saver in its 640 x 480 test window. Without a display it runs
# under a virtual X server for a few seconds and saves a screenshot.
set -euo pipefail
bin=${1:-build/nereval}
shot=$(dirname "$bin")/screenshot.png

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$bin" w
fi

echo "No display: running the saver under a virtual X server for a few seconds."
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash -c '
  set -u
  "$1" w &
  pid=$!
  sleep "${NEREVAL_SHOT_DELAY:-4}"
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"; echo "the saver ended early (exit code $?); see ${XDG_STATE_HOME:-$HOME/.local/state}/NerevalErrLog.txt" >&2; exit 1
  fi
  win=$(xdotool search --name "Nereval Screen Saver" | head -n 1)
  if [ -n "$win" ]; then import -window "$win" "$2"; else import -window root "$2"; fi
  kill -TERM "$pid"; wait "$pid" || true
' _ "$bin" "$shot"
echo "Screenshot saved to $shot"
