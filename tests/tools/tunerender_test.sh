# tools/tunerender: its one line of output, its exit codes, and the WAV it writes.
# Arguments: the tunerender binary, a valid MIDI file.
set -u
BIN=$1
GOOD=$2
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
failures=0
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi; }

"$BIN" >/dev/null 2>&1; code=$?
check "no arguments is a usage error (got $code)" [ $code -eq 2 ]
"$BIN" "$GOOD" "$TMP/a.wav" --seconds -3 >/dev/null 2>&1; code=$?
check "a negative length is a usage error (got $code)" [ $code -eq 2 ]
"$BIN" "$GOOD" "$TMP/no/such/folder/a.wav" --seconds 1 >/dev/null 2>&1; code=$?
check "an unwritable output is its own error (got $code)" [ $code -eq 1 ]

out=$("$BIN" "$GOOD" "$TMP/good.wav" --seconds 2); code=$?
check "a valid file is accepted with its length: '$out'" [ "$out" = "accepted, length 150.00 s" -a $code -eq 0 ]
size=$(stat -c %s "$TMP/good.wav")
check "2 s of 16-bit stereo at 44.1 kHz ($size bytes)" [ "$size" -eq $((44 + 2 * 44100 * 4)) ]
rms=$(sox "$TMP/good.wav" -n stat 2>&1 | awk '/RMS +amplitude/ { print $3 }')
check "and it is not silent (RMS $rms)" awk -v r="$rms" 'BEGIN { exit !(r > 0.002) }'

# One pass of the tune at the saver's gain: loud enough to be heard (peaks
# near -3 dBFS, RMS near -20 dBFS) and never clipped.
"$BIN" "$GOOD" "$TMP/pass.wav" >/dev/null
levels=$(sox "$TMP/pass.wav" -n stats 2>&1 | awk '/^Pk lev dB/ { pk = $4 } /^RMS lev dB/ { rms = $4 } END { print pk, rms }')
check "one pass peaks between -6 and -1.5 dBFS, RMS between -23 and -17 dBFS (got $levels)" \
  awk -v l="$levels" 'BEGIN { split(l, v, " "); exit !(v[1] >= -6 && v[1] <= -1.5 && v[2] >= -23 && v[2] <= -17) }'

printf 'not a tune' > "$TMP/text.mid"
out=$("$BIN" "$TMP/text.mid" "$TMP/text.wav" --seconds 1); code=$?
check "a text file falls back: '$out'" [ "$out" = "fell back: not a MIDI file" -a $code -eq 0 ]
check "and the built-in tune is rendered" [ "$(stat -c %s "$TMP/text.wav")" -eq $((44 + 44100 * 4)) ]
out=$("$BIN" "$TMP/missing.mid" "$TMP/missing.wav" --seconds 1); code=$?
check "a missing file falls back: '$out'" [ "$out" = "fell back: the file cannot be opened" -a $code -eq 0 ]

echo "$failures failed"
[ $failures -eq 0 ]
