#!/bin/bash
# Start-up of two builds side by side: N single starts of each in the test
# window, alternating, music off, each in a private home, measured from the
# launch to the first present by bench/first_present (LD_PRELOAD). Prints the
# medians of wall time, process CPU and main-thread CPU in ms. Needs an X
# display (DISPLAY) and a build with the benchmarks.
#   tools/startup-pairs.sh N BUILD_DIR PROGRAM_A [PROGRAM_B ...]
# e.g. tools/startup-pairs.sh 30 build build/bench/frame_floor /tmp/old/nereval build/nereval
set -u
if [ $# -lt 3 ]; then
  echo "usage: $0 N BUILD_DIR PROGRAM [PROGRAM ...]" >&2
  exit 2
fi
runs=$1 build=$2
shift 2
probe=$(readlink -f "$build/bench/libfirst_present.so")
[ -f "$probe" ] || { echo "$0: no $build/bench/libfirst_present.so (build the benchmarks)" >&2; exit 2; }
[ -n "${DISPLAY:-}" ] || { echo "$0: no DISPLAY" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for ((i = 0; i < runs; i++)); do
  for p in "$@"; do
    home=$(mktemp -d)
    mkdir -p "$home/cfg" "$home/state" "$home/run"
    chmod 700 "$home/run"
    NEREVAL_LAUNCH_US=$(date +%s%6N) LD_PRELOAD=$probe XDG_CONFIG_HOME=$home/cfg XDG_STATE_HOME=$home/state \
      XDG_RUNTIME_DIR=$home/run timeout 20 "$p" w 2>&1 >/dev/null |
      sed -nE 's/^first present: wall_ms ([0-9.-]+) cpu_ms ([0-9.]+) main_thread_cpu_ms ([0-9.]+)/\1 \2 \3/p' \
      >> "$out/$(echo "$p" | tr '/' '_')"
    rm -rf "$home"
  done
done
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf "%-40s %5s %9s %9s %9s\n" program starts wall_ms cpu_ms main_ms
for p in "$@"; do
  f=$out/$(echo "$p" | tr '/' '_')
  [ -f "$f" ] || touch "$f"
  printf "%-40s %5s %9s %9s %9s\n" "$p" "$(wc -l < "$f")" "$(cut -d' ' -f1 "$f" | median)" \
    "$(cut -d' ' -f2 "$f" | median)" "$(cut -d' ' -f3 "$f" | median)"
done
