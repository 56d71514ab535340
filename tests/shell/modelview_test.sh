# tools/modelview takes a model by its embedded name or by the path of a text
# X file, and both give the same picture; a missing file is refused clearly.
source "$(dirname "$0")/lib.inc"
MODELVIEW=$1/tools/modelview
export SDL_VIDEODRIVER=offscreen

"$MODELVIEW" OBSTACLE01.X "$ROOT/by-name.png" --angles 2 --size 64; code=$?
expect "an embedded name renders (exit $code)" '[ "$code" -eq 0 ] && [ -s "$ROOT/by-name.png" ]'
cp "$SRC/resources/models/obstacle01.x" "$ROOT/my spire.x"
"$MODELVIEW" "$ROOT/my spire.x" "$ROOT/by-path.png" --angles 2 --size 64; code=$?
expect "a file path renders (exit $code)" '[ "$code" -eq 0 ]'
expect "to the same picture" 'cmp -s "$ROOT/by-name.png" "$ROOT/by-path.png"'
"$MODELVIEW" "$SRC/resources/models/whaleskinned01.x" "$ROOT/strip.png" --strip 1 --frames 2 --size 64 > /dev/null; code=$?
expect "a skinned model's file renders as a strip (exit $code)" '[ "$code" -eq 0 ] && [ -s "$ROOT/strip.png" ]'
"$MODELVIEW" NOSUCHMODEL.X "$ROOT/none.png" 2> "$ROOT/err"; code=$?
expect "an unknown model is refused with 1 (exit $code)" '[ "$code" -eq 1 ] && grep -q "cannot load" "$ROOT/err"'
[ "$failures" -eq 0 ]
