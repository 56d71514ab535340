#!/usr/bin/env bash
# A short memcheck run of the saver: the test window on SDL's offscreen
# driver (no X server) for SECONDS, then SIGTERM, which ends it like a close
# (settings saved, everything released). Reports from Mesa and the other
# system libraries are suppressed (tools/valgrind-mesa.supp); the summary and
# any error left are printed; the whole report stays in valgrind-saver.log
# beside the program. Private settings, state and runtime folders.
# Usage: tools/valgrind-saver.sh BUILD/nereval [SECONDS]. Exit status 1 when
# memcheck reported an error or a definite leak.
set -u
bin=${1:?usage: valgrind-saver.sh NEREVAL [SECONDS]}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d)
log=$(dirname "$bin")/valgrind-saver.log
trap 'rm -rf "$root"' EXIT
export XDG_CONFIG_HOME=$root/config XDG_STATE_HOME=$root/state XDG_RUNTIME_DIR=$root/run SDL_VIDEODRIVER=offscreen
mkdir -p "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
  --suppressions="$here/valgrind-mesa.supp" --num-callers=40 --error-exitcode=1 --log-file="$log" \
  "$bin" w & pid=$!
sleep "$seconds"
kill -TERM $pid
wait $pid; status=$?
grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|suppressed:' "$log"
if [ $status -ne 0 ]; then
  echo "--- unsuppressed reports:"
  sed -n '/Invalid\|uninitialised\|definitely lost\|Mismatched\|Syscall/,/^==[0-9]*== $/p' "$log" | head -n 200
fi
exit $status
