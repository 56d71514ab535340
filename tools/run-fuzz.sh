#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build (make fuzz) for SECONDS each,
# on a corpus under BUILD/fuzz-corpus/<name> seeded from the project's own
# files (the list is BUILD/fuzz-targets.txt, written by tests/fuzz/CMakeLists.txt).
# An input that fails a target is left in BUILD/fuzz-artifacts/; copy it to
# tests/fuzz/regressions/<name>/ once fixed, so every test run replays it.
# Usage: tools/run-fuzz.sh BUILD [SECONDS]. Exit status 1 when a target failed.
set -u
build=${1:?usage: run-fuzz.sh BUILD [SECONDS]}
seconds=${2:-60}
list=$build/fuzz-targets.txt
[ -f "$list" ] || { echo "run-fuzz: $list is missing: configure with -DNEREVAL_FUZZ=ON" >&2; exit 2; }
mkdir -p "$build/fuzz-artifacts"
status=0
targets=0
while read -r name rest; do
  [ -n "$name" ] || continue
  options=()
  seeds=()
  for word in $rest; do
    case $word in -*) options+=("$word") ;; *) seeds+=("$word") ;; esac
  done
  targets=$((targets + 1))
  corpus=$build/fuzz-corpus/$name
  mkdir -p "$corpus"
  for s in "${seeds[@]}"; do
    if [ -d "$s" ]; then cp -n "$s"/* "$corpus"/ 2>/dev/null; else cp -n "$s" "$corpus"/; fi
  done
  log=$build/fuzz-artifacts/$name.log
  "$build/tests/fuzz/${name}_fuzz" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 "${options[@]}" \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" "$corpus" > "$log" 2>&1
  rc=$?
  runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log")
  echo "fuzz: $name: exit $rc, ${runs:-0} runs in $seconds s, corpus $(ls "$corpus" | wc -l) inputs"
  if [ $rc -ne 0 ]; then
    status=1
    grep -E 'ERROR|SUMMARY|Test unit written|==[0-9]+==' "$log" | head -n 20
  fi
done < "$list"
echo "fuzz: $targets targets, $([ $status = 0 ] && echo 'none failed' || echo 'FAILURES above')"
exit $status
