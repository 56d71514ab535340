#!/usr/bin/env bash
# Frame cost benchmark (`make bench`): runs the saver's real frame loop unpaced
# under a virtual X server (and headless on SDL's offscreen driver) next to the
# floor program bench/frame_floor, and reports the whole-process CPU and the
# wall time per presented frame, medians of several runs, and the ratio to the
# floor measured in the same run. Finally the paced test window's own CPU.
#
#   tools/bench-frames.sh [BUILD]     environment: RUNS (3), SECS (8 per run),
#   SIZES ("640x480 800x600 1280x720 1920x1080"), PACED (1), OUT (BUILD/bench-frames.md)
#
# Each run sets NEREVAL_UNPACED=1 (the device presents without waiting) and
# NEREVAL_FRAME_REPORT=1 (the device prints presented frames and the process
# CPU of all threads, CLOCK_PROCESS_CPUTIME_ID = utime + stime, over the frames
# after a 2 s warm-up), then ends the program with SIGTERM after SECS seconds.
# The test window (`w`) is measured on the first screen size, full screen
# (`s`, and hack mode: `--root` in the root window) on every one.
#
# The comparable savers atlantis and glschool (packages xscreensaver-gl and
# xscreensaver-gl-extra; `make bench` installs them) run beside the saver in
# the same run when installed: unpaced (-delay 0) in a 640 x 480 window
# (-window -geometry 640x480) and on the whole screen (-root), measured the
# same way by bench/peer_meter (LD_PRELOAD: the same frame meter around their
# glXSwapBuffers). PEERS ("atlantis glschool") chooses them, PEERS= none.
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$0")/.."
build=${1:-build}
RUNS=${RUNS:-3}
SECS=${SECS:-8}
SIZES=${SIZES:-"640x480 800x600 1280x720 1920x1080"}
PACED=${PACED:-1}
out=${OUT:-$build/bench-frames.md}
saver=$build/nereval
floor=$build/bench/frame_floor
meter=$(realpath -m "$build/bench/libpeer_meter.so")
hacks=${HACKS:-/usr/libexec/xscreensaver}
PEERS=${PEERS-"atlantis glschool"}
peers=()
for p in $PEERS; do
  if [ -x "$hacks/$p" ] && [ -f "$meter" ]; then peers+=("$p"); else echo "bench-frames: $p not measured ($hacks/$p or $meter missing)" >&2; fi
done

# One measured run: run_case NAME SCREEN SETTINGS COMMAND... ; appends
# "NAME SCREEN cpu_per_frame wall_per_frame frames startup_ms peak_rss_mib" to
# $raw. Start-up: from the launch to the first present (the meter's wall-clock
# time of it); peak RSS: VmHWM of the process just before it is ended.
run_case() {
  local name=$1 screen=$2 settings=$3; shift 3
  local home=$tmp/home.$$.$RANDOM
  mkdir -p "$home/cfg" "$home/state" "$home/run"
  [ "$settings" = heavy ] && cp -r "$tmp/heavy/Ostrelin" "$home/cfg/"
  chmod 700 "$home/run"
  local launch rss
  launch=$(date +%s%6N)
  XDG_CONFIG_HOME=$home/cfg XDG_STATE_HOME=$home/state XDG_RUNTIME_DIR=$home/run \
    NEREVAL_UNPACED=1 NEREVAL_FRAME_REPORT=1 "$@" 2> "$home/err" > /dev/null &
  local pid=$!
  sleep "$SECS"
  rss=$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status" 2>/dev/null || true)
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" || true
  local line
  line=$(grep -E '(nereval frame report|peer frame report|frame_floor [0-9]+x[0-9]+):' "$home/err" | tail -n 1 || true)
  if [ -z "$line" ]; then
    echo "bench-frames: $name on $screen printed no frame report:" >&2
    tail -n 5 "$home/err" >&2
    return 0
  fi
  local cpu wall frames
  cpu=$(sed -E 's/.*cpu_per_frame_ms ([0-9.]+).*/\1/' <<< "$line")
  wall=$(sed -E 's/.*wall_per_frame_ms ([0-9.]+).*/\1/' <<< "$line")
  frames=$(sed -E 's/.* measured ([0-9]+) .*/\1/' <<< "$line")
  local first startup=-
  first=$(sed -nE 's/.*first_present_unix_us ([0-9]+).*/\1/p' <<< "$line")
  [ -n "$first" ] && [ "$first" -gt 0 ] && startup=$(awk -v a="$launch" -v b="$first" 'BEGIN { printf "%.0f", (b - a) / 1000 }')
  echo "$name $screen $cpu $wall $frames $startup ${rss:--}" >> "$raw"
  [ -n "${BENCH_FRAMES_VERBOSE:-}" ] && echo "bench-frames: $name $screen $line" >&2
  rm -rf "$home"
}

# The root window of the display, as xwininfo names it (0x...).
root_window() { xwininfo -root | awk '/Window id:/ { print $4 }'; }

# The cases of one X screen: screen_cases SIZE WINDOW(0/1).
screen_cases() {
  local screen=$1 window=$2
  for ((r = 0; r < RUNS; ++r)); do
    if [ "$window" = 1 ]; then
      run_case floor-w "$screen" default "$floor" w
      run_case saver-w-default "$screen" default "$saver" w
      run_case saver-w-heavy "$screen" heavy "$saver" w
      for p in "${peers[@]}"; do
        run_case "$p-w" "$screen" default env LD_PRELOAD="$meter" "$hacks/$p" -window -geometry 640x480 -delay 0
      done
    fi
    run_case floor-s "$screen" default "$floor" s
    run_case saver-s-default "$screen" default "$saver" s
    run_case saver-s-heavy "$screen" heavy "$saver" s
    # Hack mode: drawn into the root window at the screen's size, no scaling
    # (the window XScreenSaver names in XSCREENSAVER_WINDOW).
    run_case saver-root-default "$screen" default env XSCREENSAVER_WINDOW="$(root_window)" "$saver" --root
    for p in "${peers[@]}"; do
      run_case "$p-s" "$screen" default env LD_PRELOAD="$meter" "$hacks/$p" -root -delay 0
    done
  done
}

# The saver's own CPU in its paced test window, as top shows it: the share of
# one core over 10 s after a 4 s start, from /proc/<pid>/stat utime + stime.
paced_cpu() {
  local home=$tmp/paced
  mkdir -p "$home/cfg" "$home/state" "$home/run"
  chmod 700 "$home/run"
  XDG_CONFIG_HOME=$home/cfg XDG_STATE_HOME=$home/state XDG_RUNTIME_DIR=$home/run "$saver" w 2>/dev/null &
  local pid=$! hz t0 t1
  hz=$(getconf CLK_TCK)
  sleep 4
  t0=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  sleep 10
  t1=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  kill -TERM "$pid"; wait "$pid" || true
  awk -v a="$t0" -v b="$t1" -v hz="$hz" 'BEGIN { printf "%.1f", (b - a) / hz / 10 * 100 }'
}

# Inside a virtual X server this script runs again with BENCH_FRAMES_INNER set
# (xvfb-run's shell does not pass exported functions on).
if [ -n "${BENCH_FRAMES_INNER:-}" ]; then
  tmp=$BENCH_FRAMES_TMP
  raw=$tmp/raw.txt
  case $BENCH_FRAMES_INNER in
    screen) screen_cases "$2" "$3" ;;
    paced) paced_cpu ;;
  esac
  exit 0
fi

for f in "$saver" "$floor"; do
  [ -x "$f" ] || { echo "bench-frames: $f is missing; build first (make build)" >&2; exit 2; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
raw=$tmp/raw.txt
: > "$raw"
export BENCH_FRAMES_TMP=$tmp RUNS SECS PEERS

# Settings: the defaults (no file) and the heaviest settings.
mkdir -p "$tmp/heavy/Ostrelin/NerevalSaver"
cat > "$tmp/heavy/Ostrelin/NerevalSaver/1.4.reg" <<'REG'
"intWhlNumCur"=dword:00000032
"intChkCol"=dword:00000001
"intChkEarth"=dword:00000001
"intChkPillar"=dword:00000001
"intChkFltPillar"=dword:00000001
"intChkMoon"=dword:00000001
"intChkClock"=dword:00000001
"intChkCelphn"=dword:00000001
"intChkFPS"=dword:00000001
REG

first=1
for size in $SIZES; do
  echo "bench-frames: screen $size" >&2
  BENCH_FRAMES_INNER=screen xvfb-run -a -s "-screen 0 ${size}x24 -noreset" "$self" "$build" "$size" "$first"
  first=0
done
echo "bench-frames: headless (SDL offscreen driver)" >&2
for ((r = 0; r < RUNS; ++r)); do
  SDL_VIDEODRIVER=offscreen DISPLAY= run_case floor-w headless default "$floor" w
  SDL_VIDEODRIVER=offscreen DISPLAY= run_case saver-w-default headless default "$saver" w
  SDL_VIDEODRIVER=offscreen DISPLAY= run_case saver-w-heavy headless heavy "$saver" w
done

# Medians per case and screen; the ratio is to the floor of the same kind
# (window or full screen) on the same screen, from the same run of this script.
summary() {
  echo "| case | screen | CPU per frame (ms) | wall per frame (ms) | frames/s | CPU × floor | start-up (ms) | peak RSS (MiB) | runs |"
  echo "|---|---|---|---|---|---|---|---|---|"
  awk '
    function median(arr, n,   i, j, t) {
      for (i = 2; i <= n; ++i) { t = arr[i]; for (j = i - 1; j >= 1 && arr[j] > t; --j) arr[j + 1] = arr[j]; arr[j + 1] = t }
      return n % 2 ? arr[(n + 1) / 2] : (arr[n / 2] + arr[n / 2 + 1]) / 2
    }
    { key = $1 " " $2; n[key]++; cpu[key, n[key]] = $3; wall[key, n[key]] = $4; st[key, n[key]] = $6; rs[key, n[key]] = $7
      if (!(key in seen)) { seen[key] = 1; order[++k] = key } }
    END {
      for (i = 1; i <= k; ++i) {
        key = order[i]; m = n[key]; ms = 0; mr = 0
        for (j = 1; j <= m; ++j) {
          a[j] = cpu[key, j]; b[j] = wall[key, j]
          if (st[key, j] ~ /^[0-9]/) c[++ms] = st[key, j]
          if (rs[key, j] ~ /^[0-9]/) d[++mr] = rs[key, j]
        }
        mc[key] = median(a, m); mw[key] = median(b, m)
        mst[key] = ms ? sprintf("%.0f", median(c, ms)) : "-"; mrs[key] = mr ? sprintf("%.0f", median(d, mr)) : "-"
      }
      for (i = 1; i <= k; ++i) {
        key = order[i]; split(key, p, " ")
        kind = p[1] ~ /-w/ ? "floor-w" : "floor-s"
        f = kind " " p[2]
        ratio = (f in mc && mc[f] > 0) ? sprintf("%.1f", mc[key] / mc[f]) : "-"
        printf "| %s | %s | %.2f | %.2f | %.0f | %s | %s | %s | %d |\n", p[1], p[2], mc[key], mw[key], (mw[key] > 0 ? 1000 / mw[key] : 0), ratio, mst[key], mrs[key], n[key]
      }
    }' "$raw"
}

# The saver beside the comparable savers: CPU per presented frame (medians),
# default settings, and the saver's ratio to the cheaper peer of the row.
side_by_side() {
  [ ${#peers[@]} -gt 0 ] || return 0
  local head="| | nereval" sep="|---|---"
  for p in "${peers[@]}"; do head+=" | $p"; sep+="|---"; done
  echo "$head | nereval × cheaper peer |"
  echo "$sep|---|"
  awk -v peers="${peers[*]}" '
    function median(arr, n,   i, j, t) {
      for (i = 2; i <= n; ++i) { t = arr[i]; for (j = i - 1; j >= 1 && arr[j] > t; --j) arr[j + 1] = arr[j]; arr[j + 1] = t }
      return n % 2 ? arr[(n + 1) / 2] : (arr[n / 2] + arr[n / 2 + 1]) / 2
    }
    { key = $1 " " $2; n[key]++; cpu[key, n[key]] = $3; if (!($2 in seenScreen) && $2 != "headless") { seenScreen[$2] = 1; screens[++ns] = $2 } }
    END {
      np = split(peers, pl, " ")
      for (key in n) { for (j = 1; j <= n[key]; ++j) a[j] = cpu[key, j]; mc[key] = median(a, n[key]) }
      for (s = 1; s <= ns; ++s) {
        for (m = 1; m <= 3; ++m) {
          mode = m == 1 ? "w" : m == 2 ? "s" : "root"
          self = "saver-" mode "-default " screens[s]
          if (!(self in mc)) continue
          label = mode == "w" ? "640×480 window" : mode == "s" ? "full screen " screens[s] " (saver: s, 640×480 scaled)" : "full screen " screens[s] " (saver: --root, hack mode)"
          line = sprintf("| %s | %.2f", label, mc[self]); cheap = -1
          for (i = 1; i <= np; ++i) {
            k = pl[i] "-" (mode == "w" ? "w" : "s") " " screens[s]
            if (k in mc) { line = line sprintf(" | %.2f", mc[k]); if (cheap < 0 || mc[k] < cheap) cheap = mc[k] } else line = line " | -"
          }
          print line " | " (cheap > 0 ? sprintf("%.2f", mc[self] / cheap) : "-") " |"
        }
      }
    }' "$raw"
}

{
  echo "Frame cost, $(date -u '+%Y-%m-%d %H:%M UTC'): $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"
  echo "Mesa $(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo unknown) (llvmpipe). Binary: $saver."
  echo "RUNS=$RUNS SECS=$SECS; medians; CPU = whole process (all threads) per presented frame."
  echo
  summary
  if [ ${#peers[@]} -gt 0 ]; then
    echo
    echo "Beside the comparable savers (default settings; CPU per presented frame in ms, medians):"
    echo
    side_by_side
  fi
  if [ "$PACED" = 1 ]; then
    echo
    echo "Paced test window (60 Hz), the saver's own CPU as top shows it: $(BENCH_FRAMES_INNER=paced xvfb-run -a -s '-screen 0 1280x720x24 -noreset' "$self" "$build") % of one core"
  fi
} | tee "$out"
echo "bench-frames: written to $out" >&2
