#!/usr/bin/env bash
# Makes docs/school.gif, the animated image at the top of the README: nine
# seconds of the saver's test window (640 x 480) at ten frames per second,
# rendered headless (tools/schoolshots: the whole saver on the offscreen
# driver with a fixed 50 ms step) from the first second on, when the floating
# camera (mode 1) is close to the school as it forms and swims off through
# the spires; kept under 4 MB. Needs a build (make build) and ImageMagick.
#   tools/make-school-anim.sh [BUILD_DIR] [extra schoolshots options...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
out=docs/school.gif
limit=$((4 * 1024 * 1024))
mkdir -p docs
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The frame-rate text is off: the hand-driven clock would show a rate no
# real run has.
"$build/tools/schoolshots" "$tmp/frames" --warmup 1 --seconds 9 --fps 10 --set intCamMod=1 --set intChkFPS=0 "$@"
# Fewer colours until it fits. No dithering: it speckles the pale fog and
# costs size; toon bands and fog quantise cleanly.
for colours in 128 64 32 16; do
  convert -delay 10 -loop 0 "$tmp"/frames/frame_*.png +dither -colors "$colours" -layers Optimize \
    "$tmp/school.gif"
  size=$(stat -c %s "$tmp/school.gif")
  if [ "$size" -lt "$limit" ]; then
    cp "$tmp/school.gif" "$out"
    echo "Wrote $out ($size bytes, $colours colours)"
    exit 0
  fi
done
echo "make-school-anim: $out would be larger than 4 MB even with 16 colours" >&2
exit 1
