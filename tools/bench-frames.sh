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
# (`s`) on every one.
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

# One measured run: run_case NAME SCREEN SETTINGS COMMAND... ; appends
# "NAME SCREEN cpu_per_frame wall_per_frame frames" to $raw.
run_case() {
  local name=$1 screen=$2 settings=$3; shift 3
  local home=$tmp/home.$$.$RANDOM
  mkdir -p "$home/cfg" "$home/state" "$home/run"
  [ "$settings" = heavy ] && cp -r "$tmp/heavy/Ostrelin" "$home/cfg/"
  chmod 700 "$home/run"
  XDG_CONFIG_HOME=$home/cfg XDG_STATE_HOME=$home/state XDG_RUNTIME_DIR=$home/run \
    NEREVAL_UNPACED=1 NEREVAL_FRAME_REPORT=1 "$@" 2> "$home/err" > /dev/null &
  local pid=$!
  sleep "$SECS"
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" || true
  local line
  line=$(grep -E '(nereval frame report|frame_floor [0-9]+x[0-9]+):' "$home/err" | tail -n 1 || true)
  if [ -z "$line" ]; then
    echo "bench-frames: $name on $screen printed no frame report:" >&2
    tail -n 5 "$home/err" >&2
    return 0
  fi
  local cpu wall frames
  cpu=$(sed -E 's/.*cpu_per_frame_ms ([0-9.]+).*/\1/' <<< "$line")
  wall=$(sed -E 's/.*wall_per_frame_ms ([0-9.]+).*/\1/' <<< "$line")
  frames=$(sed -E 's/.* measured ([0-9]+) .*/\1/' <<< "$line")
  echo "$name $screen $cpu $wall $frames" >> "$raw"
  [ -n "${BENCH_FRAMES_VERBOSE:-}" ] && echo "bench-frames: $name $screen $line" >&2
  rm -rf "$home"
}

# The cases of one X screen: screen_cases SIZE WINDOW(0/1).
screen_cases() {
  local screen=$1 window=$2
  for ((r = 0; r < RUNS; ++r)); do
    if [ "$window" = 1 ]; then
      run_case floor-w "$screen" default "$floor" w
      run_case saver-w-default "$screen" default "$saver" w
      run_case saver-w-heavy "$screen" heavy "$saver" w
    fi
    run_case floor-s "$screen" default "$floor" s
    run_case saver-s-default "$screen" default "$saver" s
    run_case saver-s-heavy "$screen" heavy "$saver" s
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
export BENCH_FRAMES_TMP=$tmp RUNS SECS

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
  echo "| case | screen | CPU per frame (ms) | wall per frame (ms) | frames/s | CPU × floor | runs |"
  echo "|---|---|---|---|---|---|---|"
  awk '
    function median(arr, n,   i, j, t) {
      for (i = 2; i <= n; ++i) { t = arr[i]; for (j = i - 1; j >= 1 && arr[j] > t; --j) arr[j + 1] = arr[j]; arr[j + 1] = t }
      return n % 2 ? arr[(n + 1) / 2] : (arr[n / 2] + arr[n / 2 + 1]) / 2
    }
    { key = $1 " " $2; n[key]++; cpu[key, n[key]] = $3; wall[key, n[key]] = $4; if (!(key in seen)) { seen[key] = 1; order[++k] = key } }
    END {
      for (i = 1; i <= k; ++i) {
        key = order[i]; m = n[key]
        for (j = 1; j <= m; ++j) { a[j] = cpu[key, j]; b[j] = wall[key, j] }
        mc[key] = median(a, m); mw[key] = median(b, m)
      }
      for (i = 1; i <= k; ++i) {
        key = order[i]; split(key, p, " ")
        kind = p[1] ~ /-w/ ? "floor-w" : "floor-s"
        f = kind " " p[2]
        ratio = (f in mc && mc[f] > 0) ? sprintf("%.1f", mc[key] / mc[f]) : "-"
        printf "| %s | %s | %.2f | %.2f | %.0f | %s | %d |\n", p[1], p[2], mc[key], mw[key], (mw[key] > 0 ? 1000 / mw[key] : 0), ratio, n[key]
      }
    }' "$raw"
}

{
  echo "Frame cost, $(date -u '+%Y-%m-%d %H:%M UTC'): $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"
  echo "Mesa $(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo unknown) (llvmpipe). Binary: $saver."
  echo "RUNS=$RUNS SECS=$SECS; medians; CPU = whole process (all threads) per presented frame."
  echo
  summary
  if [ "$PACED" = 1 ]; then
    echo
    echo "Paced test window (60 Hz), the saver's own CPU as top shows it: $(BENCH_FRAMES_INNER=paced xvfb-run -a -s '-screen 0 1280x720x24 -noreset' "$self" "$build") % of one core"
  fi
} | tee "$out"
echo "bench-frames: written to $out" >&2
