# The installed layout and the Debian package: the hack where XScreenSaver
# looks, bin/nereval linked to it, a settings page that xmllint accepts and
# the manual page, both naming every flag --help lists, the desktop entry.
set -u
BUILD=$1
ROOT=$(mktemp -d)
trap 'rm -rf "$ROOT"' EXIT
failures=0
expect() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi; }

DESTDIR=$ROOT/stage cmake --install "$BUILD" --prefix /opt/nrv > "$ROOT/log" 2>&1; code=$?
S=$ROOT/stage/opt/nrv
expect "the install runs (exit $code)" '[ "$code" -eq 0 ]'
expect "it says how to switch the saver on" 'grep -q "GL: .*/libexec/xscreensaver/nereval --root" "$ROOT/log"'
expect "the hack is in libexec/xscreensaver" '[ -x "$S/libexec/xscreensaver/nereval" ]'
expect "the settings dialog module is where the hack looks for it" \
  '[ -f "$S/libexec/xscreensaver/../../lib/nereval/nereval-dialog.so" ]'
expect "bin/nereval leads to it" '[ "$(readlink "$S/bin/nereval")" = ../libexec/xscreensaver/nereval ] && [ -x "$S/bin/nereval" ]'
expect "the settings page is well-formed" 'xmllint --noout "$S/share/xscreensaver/config/nereval.xml"'
expect "it starts the hack with --root, as GL" \
  'grep -q "<command arg=\"--root\"/>" "$S/share/xscreensaver/config/nereval.xml" && grep -q "gl=\"yes\"" "$S/share/xscreensaver/config/nereval.xml"'
expect "the manual page is there" '[ -s "$S/share/man/man6/nereval.6x" ]'
expect "the desktop entry starts the hack" 'grep -q "^Exec=.*/libexec/xscreensaver/nereval --root" "$S/share/applications/screensavers/nereval.desktop"'
version=$("$S/bin/nereval" --version | cut -d" " -f2)
expect "the manual page carries the version ($version)" 'grep -q "^\.TH nereval 6x \"$version\"" "$S/share/man/man6/nereval.6x"'

# Every flag of --help is on the settings page and in the manual page (the
# page may leave out what a daemon's window has no use for: help, version,
# the window options).
flags=$("$S/bin/nereval" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u)
man=$(sed 's/\\-/-/g' "$S/share/man/man6/nereval.6x")
for f in $flags; do
  grep -qe "$f" <<< "$man" || { echo "FAIL: the manual page lacks $f"; failures=$((failures + 1)); }
  case $f in --help|--version|--root|--window-id) continue ;; esac
  # a check box gives a switch one way: --NAME or --no-NAME
  base=${f#--no-}; base=${base#--}
  grep -qE "\"--(no-)?$base[ \"]" "$S/share/xscreensaver/config/nereval.xml" ||
    { echo "FAIL: the settings page lacks $f"; failures=$((failures + 1)); }
done
expect "flags were found in --help" '[ "$(wc -w <<< "$flags")" -gt 30 ]'

# The package: the same layout under /usr, with its dependencies declared.
if command -v dpkg-shlibdeps > /dev/null; then
  (cd "$BUILD" && cpack -G DEB -B "$ROOT/pkg" > "$ROOT/cpack.log" 2>&1); code=$?
  deb=$(ls "$ROOT"/pkg/nereval_*.deb 2>/dev/null | head -n 1)
  expect "cpack makes nereval_*.deb (exit $code)" '[ -n "$deb" ]'
  if [ -n "$deb" ]; then
    list=$(dpkg-deb -c "$deb")
    for p in ./usr/libexec/xscreensaver/nereval ./usr/bin/nereval ./usr/lib/nereval/nereval-dialog.so \
             ./usr/share/xscreensaver/config/nereval.xml \
             ./usr/share/man/man6/nereval.6x ./usr/share/applications/screensavers/nereval.desktop; do
      grep -q " $p" <<< "$list" || { echo "FAIL: the package lacks $p"; failures=$((failures + 1)); }
    done
    depends=$(dpkg-deb -f "$deb" Depends)
    expect "it depends on the libraries and the data it loads ($depends)" \
      'grep -q libsdl2 <<< "$depends" && grep -q fonts-ipafont-gothic <<< "$depends" && grep -q libgl1-mesa-dri <<< "$depends" &&
       grep -q libgtk-3 <<< "$depends" && grep -q libfluidsynth3 <<< "$depends" && grep -q libglib2.0-0 <<< "$depends" &&
       grep -q tzdata <<< "$depends"'
  fi
else
  echo "skip: no dpkg-shlibdeps for the package"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
