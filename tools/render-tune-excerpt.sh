#!/usr/bin/env bash
# Renders an excerpt of the built-in tune to docs/tune-excerpt.ogg so that it
# can be heard without running the saver: 30 s from bar 13 (a whale phrase
# over the pads, then the strings' entry with celesta and horn), through the
# saver's own music path (tools/tunerender), with a short fade at both ends.
# Prints sox's level figures. Needs a build (make build) and sox.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs/tune-excerpt.ogg
start=45   # bar 13 at 64 beats per minute (3.75 s a bar)
length=30
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/tools/tunerender" tune_main.mid "$tmp/tune.wav" --seconds $((start + length)) >/dev/null
sox "$tmp/tune.wav" -C 3 "$out" trim "$start" "$length" fade t 1 0 2
sox "$tmp/tune.wav" -n trim "$start" "$length" stat 2>&1 | grep -E 'Length|Maximum amplitude|RMS +amplitude'
echo "Wrote $out ($(stat -c %s "$out") bytes)"
