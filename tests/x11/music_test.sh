# Whole program with background music: with no audio device or no soundfont
# the saver runs without music and says why; with an output (the
# silent real-time one) and a missing user file it runs on the built-in tune
# and ends normally.
source "$(dirname "$0")/lib.inc"
mkdir -p "$(dirname "$SETTINGS")"

# No audio device, or no soundfont: the saver runs without music and says why.
printf '%s\n' '"intChkBGM"=dword:00000001' > "$SETTINGS"
for case in "NEREVAL_AUDIO_DRIVER=none" "NEREVAL_SOUNDFONT=/nonexistent.sf2"; do
  rm -f "$LOG"
  env NEREVAL_AUDIO_DRIVER=null "$case" "$BIN" w 2> "$ROOT/err" & pid=$!
  if wait_window; then pass "$case: the saver window opens"; else fail "$case: the saver window opens"; fi
  sleep 1
  close_window $pid; check "$case: it ends with 0 (got $STATUS)" [ "$STATUS" = 0 ]
  check "$case: one line says why ($(cat "$ROOT/err"))" [ "$(grep -c 'nereval: music off: ' "$ROOT/err")" = 1 ]
  check "$case: no log is written" [ ! -f "$LOG" ]
done

# A user file that does not exist: the built-in tune plays, the saver runs.
printf '%s\n' '"intChkBGM"=dword:00000001' '"strBGMUsr"="/nonexistent/song.mid"' > "$SETTINGS"
rm -f "$LOG"
NEREVAL_AUDIO_DRIVER=null "$BIN" w 2> "$ROOT/err" & pid=$!
if wait_window; then pass "music on with a missing file opens the saver"; else fail "music on with a missing file opens the saver"; fi
sleep 2
check "it keeps running" kill -0 $pid
close_window $pid; check "its close command ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]
check "no log is written" [ ! -f "$LOG" ]
check "the user's choice is kept" grep -q '"strBGMUsr"="/nonexistent/song.mid"' "$SETTINGS"
check "the refusal is said once ($(cat "$ROOT/err"))" [ "$(grep -c '/nonexistent/song.mid cannot be played' "$ROOT/err")" = 1 ]

finish
