# The X server goes away while the saver is closing (a session ends as the
# host stops its saver): the saver must end too, not linger on a dead
# connection burning a core.
source "$(dirname "$0")/lib.inc"

for round in 1 2 3; do
  exec 3> "$ROOT/display"
  Xvfb -displayfd 3 -screen 0 800x600x24 >/dev/null 2>&1 & xpid=$!
  exec 3>&-
  for t in $(seq 1 50); do [ -s "$ROOT/display" ] && break; sleep 0.1; done
  display=":$(head -n 1 "$ROOT/display")"
  DISPLAY=$display "$BIN" s >/dev/null 2>&1 & pid=$!
  sleep 2
  kill -TERM $pid; kill $xpid
  wait_exit $pid 10
  check "round $round: the saver ends when its X server goes away (got $STATUS)" [ "$STATUS" != running ]
  [ "$STATUS" = running ] && kill -9 $pid
  wait $xpid 2>/dev/null
done

finish
