# The installed program and its dialog module: hardened (full RELRO, a
# position-independent program, the stack protector and the checked glibc
# calls of _FORTIFY_SOURCE) and without the build tree's path, which the
# program in the build tree carries to find its module there.
source "$(dirname "$0")/lib.inc"
BUILD=$1

prefix=$(cache CMAKE_INSTALL_PREFIX)
DESTDIR=$ROOT/stage cmake --install "$BUILD" > "$ROOT/log" 2>&1; code=$?
expect "the install runs (exit $code)" '[ "$code" -eq 0 ]'
program=$ROOT/stage$prefix/libexec/xscreensaver/nereval
module=$ROOT/stage$prefix/lib/nereval/nereval-dialog.so
expect "the program in the build tree names the build tree" 'strings "$BUILD/nereval" | grep -qF "$BUILD"'
for f in "$program" "$module"; do
  name=$(basename "$f")
  expect "the installed $name does not" '! strings "$f" | grep -qF "$BUILD"'
  expect "$name: relocations read-only and bound at start (full RELRO)" \
    'readelf -lW "$f" | grep -q GNU_RELRO && readelf -dW "$f" | grep -qE "\(FLAGS\).*BIND_NOW"'
  expect "$name: the stack protector" 'nm -D "$f" | grep -q " U __stack_chk_fail"'
  # The checked calls need the optimiser; the sanitizers bring their own checks.
  if [ "$(cache CMAKE_BUILD_TYPE)" != Debug ] && [ "$(cache NEREVAL_SANITIZE)" != ON ] && [ "$(cache NEREVAL_FUZZ)" != ON ]; then
    expect "$name: checked glibc calls ($(nm -D "$f" | grep -c "_chk@") of them)" 'nm -D "$f" | grep -qE " U __[a-z_]+_chk@"'
  fi
done
expect "the program is position-independent" 'readelf -hW "$program" | grep -q "DYN (Position-Independent Executable"'

echo "$failures failed"
[ "$failures" -eq 0 ]
