#!/usr/bin/env bash
# Regenerates the review images under docs/: a contact sheet of every rigid
# model (tools/modelview) and screenshots of the saver in its test window in
# normal and deep-sea colours; and the tune excerpt docs/tune-excerpt.ogg
# (tools/render-tune-excerpt.sh). Needs a build (make build), xvfb-run and sox.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

models=$(awk '$2 == "Model" { print $1 }' resources/manifest.txt)
tiles=()
for m in $models; do
  "$build/tools/modelview" "$m" "$tmp/$m.png" --angles 4 --size 150
  convert "$tmp/$m.png" -gravity North -background white -splice 0x18 -font DejaVu-Sans -pointsize 13 -annotate +0+2 "$m" "$tmp/$m.l.png"
  tiles+=("$tmp/$m.l.png")
done
montage -font DejaVu-Sans "${tiles[@]}" -tile 2x -geometry +6+6 -background '#dddddd' "$out/models.png"

shot() {  # shot NAME SETTINGS-LINES...
  local name=$1; shift
  local home="$tmp/$name"
  mkdir -p "$home/cfg/Ostrelin/NerevalSaver" "$home/state" "$home/run"
  printf '%s\n' "$@" > "$home/cfg/Ostrelin/NerevalSaver/1.4.reg"
  XDG_CONFIG_HOME="$home/cfg" XDG_STATE_HOME="$home/state" XDG_RUNTIME_DIR="$home/run" DISPLAY= \
    NEREVAL_SHOT_DELAY=3 ./tools/run-saver.sh "$build/nereval" >/dev/null
  cp "$build/screenshot.png" "$out/$name.png"
}
shot scene-normal '"intChkCol"=dword:00000000'
shot scene-deepsea '"intChkCol"=dword:00000001'
echo "Wrote $out/models.png, $out/scene-normal.png, $out/scene-deepsea.png"
./tools/render-tune-excerpt.sh "$build"
