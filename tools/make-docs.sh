#!/usr/bin/env bash
# Regenerates the review images under docs/: a contact sheet of every rigid
# model (tools/modelview), a strip of the skinned whales swimming (side and
# top views, frames a second apart over one loop), screenshots of the saver
# in its test window in normal and deep-sea colours, plain and with the screen
# effects (cellophane tint and frame rate), the configuration dialog in
# English and in Japanese with the default settings, the animated school at
# the top of the README (tools/make-school-anim.sh) and the tune excerpt
# docs/tune-excerpt.ogg (tools/render-tune-excerpt.sh). Needs a build (make
# build), xvfb-run, sox and the ja_JP.UTF-8 locale.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Rigid models only: the skinned ones (WHALESKINNED*, Dammy.x) go to the strip below.
models=$(awk '$2 == "Model" && $1 !~ /^WHALESKINNED/ && $1 != "Dammy.x" { print $1 }' resources/manifest.txt)
tiles=()
for m in $models; do
  "$build/tools/modelview" "$m" "$tmp/$m.png" --angles 4 --size 150
  convert "$tmp/$m.png" -gravity North -background white -splice 0x18 -font DejaVu-Sans -pointsize 13 -annotate +0+2 "$m" "$tmp/$m.l.png"
  tiles+=("$tmp/$m.l.png")
done
montage -font DejaVu-Sans "${tiles[@]}" -tile 2x -geometry +6+6 -background '#dddddd' "$out/models.png"

# The skinned whales: rows side and top, columns 0 s, 1 s, ... 9 s of the
# 9.365 s loop.
strips=()
for m in WHALESKINNED01.X WHALESKINNED02.X WHALESKINNED03.X; do
  "$build/tools/modelview" "$m" "$tmp/$m.strip.png" --strip 1 --frames 10 --size 150 >/dev/null
  convert "$tmp/$m.strip.png" -gravity North -background white -splice 0x18 -font DejaVu-Sans -pointsize 13 \
    -annotate +0+2 "$m: side (top row) and top (bottom row), 0 s to 9 s, one second apart" "$tmp/$m.strip.l.png"
  strips+=("$tmp/$m.strip.l.png")
done
convert "${strips[@]}" -background '#dddddd' -splice 0x6 -append "$out/whales-strip.png"

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
shot effects-normal '"intChkCol"=dword:00000000' '"intChkCelphn"=dword:00000001' '"intChkFPS"=dword:00000001'
shot effects-deepsea '"intChkCol"=dword:00000001' '"intChkCelphn"=dword:00000001' '"intChkFPS"=dword:00000001'

# The configuration dialog in English and in Japanese, each cut out of a
# screenshot of the whole virtual screen.
mkdir -p "$tmp/dialog/cfg" "$tmp/dialog/state" "$tmp/dialog/run"
for shot in dialog:C dialog-ja:ja_JP.UTF-8; do
  env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG="${shot#*:}" \
  XDG_CONFIG_HOME="$tmp/dialog/cfg" XDG_STATE_HOME="$tmp/dialog/state" XDG_RUNTIME_DIR="$tmp/dialog/run" \
  xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash -c '
  set -u
  "$1" c & pid=$!
  for i in $(seq 100); do win=$(xdotool search --name "^Nereval1\.4$" 2>/dev/null | head -n 1); [ -n "$win" ] && break; sleep 0.1; done
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$win")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
  kill -TERM "$pid"; wait "$pid" || true
' _ "$build/nereval" "$out/${shot%%:*}.png"
done
./tools/make-school-anim.sh "$build"
./tools/render-tune-excerpt.sh "$build"
echo "Wrote $out/models.png, $out/whales-strip.png, the scene and effects screenshots, $out/dialog.png, $out/dialog-ja.png, $out/school.gif and $out/tune-excerpt.ogg under $out/"
