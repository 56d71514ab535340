# Starts that cannot succeed: each ends at once with a non-zero status and a
# line naming the failing stage, and none of them damages the user's files.
source "$(dirname "$0")/lib.inc"
XINFO=$(dirname "$BIN")/tools/xinfo

# The user's settings, written by hand, with a path too long for the field.
mkdir -p "$(dirname "$SETTINGS")"
long=$(printf '/music/%0300d.mid' 0)
cat > "$SETTINGS" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Ostrelin\\NerevalSaver\\1.4]
"intWhlNumCur"=dword:00000007
"intWhlSpeedCur"=77
"strBGMUsr"="$long"
REG
cp "$SETTINGS" "$ROOT/settings.orig"

# No window: the video system cannot start.
SDL_VIDEODRIVER=nosuchdriver timeout 20 "$BIN" w 2> "$ROOT/err"; code=$?
check "a start without a window exits 1 (got $code)" [ "$code" -eq 1 ]
check "and says so ($(tail -n 1 "$ROOT/err"))" grep -q "start failed: the saver window could not be created" "$ROOT/err"
check "the user's settings are left as they were" cmp -s "$SETTINGS" "$ROOT/settings.orig"

# No display at all: the video system would fall back to a driver that shows
# nothing; the saver refuses it instead of running unseen.
rm -f "$LOG"
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 20 "$BIN" s 2> "$ROOT/err"; code=$?
check "with no display the saver ends at once with 1 (got $code)" [ "$code" -eq 1 ]
check "saying the cause first, then the stage and the log ($(tail -n 1 "$ROOT/err"))" \
  grep -qxF "nereval: cannot open an OpenGL 3.3 window on this display (start failed at InitiateD3D; see $LOG)" "$ROOT/err"
check "the log shows Direct3DCreate8 failing" grep -qzP 'Direct3DCreate8...\n\tFailed\nFailed\n$' "$LOG"
stored_values_kept() {
  grep -q '"intWhlNumCur"=dword:00000007' "$SETTINGS" && grep -qF "\"strBGMUsr\"=\"$long\"" "$SETTINGS"
}
check "the stored values survive that too" stored_values_kept

# A normal run keeps the over-long stored path on disk (it cannot be used,
# but it is the user's), and the line it cannot read, and adds the missing
# values. A value changed while it runs (the dialog's OK) survives its exit.
"$BIN" w 2> "$ROOT/err" & pid=$!
if wait_window; then pass "the test window opens"; else fail "the test window opens"; fi
sleep 1
sed -i '/^"intChkCol"=/d' "$SETTINGS"   # as the dialog's OK would write it
echo '"intChkCol"=dword:00000001' >> "$SETTINGS"
kill -TERM $pid
wait_exit $pid 15; check "it ends with 0 (got $STATUS)" [ "$STATUS" = 0 ]
check "the value changed meanwhile survives" grep -qx '"intChkCol"=dword:00000001' "$SETTINGS"
check "it is not written back" [ "$(grep -c '"intChkCol"' "$SETTINGS")" = 1 ]
check "the unreadable line stays as written" grep -qx '"intWhlSpeedCur"=77' "$SETTINGS"
check "and is named once on stderr" [ "$(grep -c '"intWhlSpeedCur"=77' "$ROOT/err")" = 1 ]
check "the over-long strBGMUsr is still on disk" grep -qF "\"strBGMUsr\"=\"$long\"" "$SETTINGS"
check "the stored whale count is kept" grep -q '"intWhlNumCur"=dword:00000007' "$SETTINGS"
check "all $SETTINGS_VALUES values are written" [ "$(grep -c '^"' "$SETTINGS")" -eq "$SETTINGS_VALUES" ]

# A runtime folder others can write to is not used, and another user's
# symlink named as the lock there neither stops the saver nor is followed:
# the lock lives in the state folder instead.
shared=$ROOT/shared
mkdir -m 1777 "$shared"
ln -s "$ROOT/planted" "$shared/NEREVAL_SCREEN_SAVER.lock"
XDG_RUNTIME_DIR=$shared "$BIN" w & pid=$!
if wait_window; then pass "a world-writable runtime folder does not stop the saver"; else fail "a world-writable runtime folder does not stop the saver"; fi
check "the lock is in the state folder" [ -f "$XDG_STATE_HOME/NEREVAL_SCREEN_SAVER.lock" ]
check "nothing is created through the planted symlink" [ ! -e "$ROOT/planted" ]
kill -TERM $pid; wait_exit $pid 15

# Without a home folder (no HOME, no passwd entry) the saver refuses to start
# rather than keep its settings and log in a shared folder. Only root can
# take a user id that has no passwd entry.
if [ "$(id -u)" = 0 ] && command -v setpriv > /dev/null && ! getent passwd 54321 > /dev/null; then
  setpriv --reuid 54321 --regid 54321 --clear-groups \
    env -u HOME -u XDG_CONFIG_HOME -u XDG_STATE_HOME -u XDG_RUNTIME_DIR "$BIN" w 2> "$ROOT/err"; code=$?
  check "without a home folder the saver refuses with 1 (got $code)" [ "$code" -eq 1 ]
  check "in one line ($(cat "$ROOT/err"))" grep -qx "nereval: start failed: no folder for the settings and the log: .*" "$ROOT/err"
fi

# No usable OpenGL (an indirect GLX context, as over ssh -X, which this
# server refuses): the GLX request's X error does not end the process behind
# the saver's back; the start fails in one line, in every mode.
rm -f "$SETTINGS"  # the hand-written file above has a line it reports
not() { ! "$@"; }
one_gl_line() {
  [ "$(grep -c '' "$ROOT/err")" = 1 ] && grep -q "^nereval: no usable OpenGL 3.3 context could be made" "$ROOT/err"
}
for mode in w --root; do
  LIBGL_ALWAYS_INDIRECT=1 timeout 20 "$BIN" $mode 2> "$ROOT/err"; code=$?
  check "without usable OpenGL '$mode' exits 1 (got $code)" [ "$code" -eq 1 ]
  check "in one line of its own ($(head -c 300 "$ROOT/err"))" one_gl_line
  check "and not in Xlib's words" not grep -q "X Error of failed request" "$ROOT/err"
done

# xinfo: a folder is refused with a message, --help is help.
"$XINFO" "$ROOT" 2> "$ROOT/err"; code=$?
check "xinfo on a folder exits 1 (got $code)" [ "$code" -eq 1 ]
check "with a message ($(cat "$ROOT/err"))" grep -q "is a directory" "$ROOT/err"
"$XINFO" --help > "$ROOT/out"; code=$?
check "xinfo --help exits 0 (got $code)" [ "$code" -eq 0 ]
check "and prints the usage" grep -q "usage: xinfo FILE.x" "$ROOT/out"
"$XINFO" --bogus 2> /dev/null; code=$?
check "xinfo with an unknown option exits 2 (got $code)" [ "$code" -eq 2 ]

finish
