# Whole program with background music: with no audio device the saver does
# not start and its log ends with the music lines; with an output (the
# silent real-time one) and a missing user file it runs on the built-in tune
# and ends normally.
source "$(dirname "$0")/lib.inc"
mkdir -p "$(dirname "$SETTINGS")"

# No audio device at all.
printf '%s\n' '"intChkBGM"=dword:00000001' > "$SETTINGS"
rm -f "$LOG"
NEREVAL_AUDIO_DRIVER=none "$BIN" w; code=$?
check "a start without an audio device exits 1 (got $code)" [ "$code" -eq 1 ]
check "no saver window stays" [ -z "$(xdotool search --name 'Nereval Screen Saver' 2>/dev/null)" ]
check "and writes the log" [ -f "$LOG" ]
if [ -f "$LOG" ]; then
  echo "--- log:"; cat "$LOG"; echo "---"
  expected=$(printf 'InitiateBGM...\n\tpMusicManager->Initialize...\n\tFailed\nFailed')
  check "the log ends with the music lines" [ "$(tail -n 4 "$LOG")" = "$expected" ]
fi

# A user file that does not exist: the built-in tune plays, the saver runs.
printf '%s\n' '"intChkBGM"=dword:00000001' '"strBGMUsr"="/nonexistent/song.mid"' > "$SETTINGS"
rm -f "$LOG"
NEREVAL_AUDIO_DRIVER=null "$BIN" w & pid=$!
if wait_window; then pass "music on with a missing file opens the saver"; else fail "music on with a missing file opens the saver"; fi
sleep 2
check "it keeps running" kill -0 $pid
close_window $pid; check "its close command ends it with 0 (got $STATUS)" [ "$STATUS" = 0 ]
check "no log is written" [ ! -f "$LOG" ]
check "the user's choice is kept" grep -q '"strBGMUsr"="/nonexistent/song.mid"' "$SETTINGS"

finish
