# The installed layout and the Debian package: the hack where XScreenSaver
# looks, bin/nereval linked to it, a settings page that xmllint accepts and
# the manual page, both naming every flag --help lists, the desktop entry.
source "$(dirname "$0")/lib.inc"
BUILD=$1

DESTDIR=$ROOT/stage cmake --install "$BUILD" --prefix /opt/nrv > "$ROOT/log" 2>&1; code=$?
S=$ROOT/stage/opt/nrv
expect "the install runs (exit $code)" '[ "$code" -eq 0 ]'
expect "it says how to switch the saver on" 'grep -q "GL: .*/libexec/xscreensaver/nereval --root" "$ROOT/log"'
expect "the hack is in libexec/xscreensaver" '[ -x "$S/libexec/xscreensaver/nereval" ]'
expect "the settings dialog module is in lib/nereval" '[ -f "$S/lib/nereval/nereval-dialog.so" ]'
# The program opens it from the prefix it was configured with: installing
# elsewhere says so.
if [ "$(cache CMAKE_INSTALL_PREFIX)" != /opt/nrv ]; then
  expect "installing under another prefix than configured says so" 'grep -q "opens its settings dialog from" "$ROOT/log"'
fi
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
# the window options, and the own full screen's picture size and aspect).
flags=$("$S/bin/nereval" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u)
man=$(sed 's/\\-/-/g' "$S/share/man/man6/nereval.6x")
for f in $flags; do
  grep -qe "$f" <<< "$man" || { echo "FAIL: the manual page lacks $f"; failures=$((failures + 1)); }
  case $f in --help|--version|--root|--window-id|--picture-size|--aspect) continue ;; esac
  # a check box gives a switch one way: --NAME or --no-NAME
  base=${f#--no-}; base=${base#--}
  grep -qE "\"--(no-)?$base[ \"]" "$S/share/xscreensaver/config/nereval.xml" ||
    { echo "FAIL: the settings page lacks $f"; failures=$((failures + 1)); }
done
expect "flags were found in --help" '[ "$(wc -w <<< "$flags")" -gt 30 ]'

# The package: the same layout under /usr, with its dependencies declared,
# the documents Debian asks for, no maintainer scripts, and the size dpkg
# counts (each file rounded up to whole KiB, 1 KiB a folder, the control
# folder too, as dpkg-gencontrol counts it).
if command -v dpkg-shlibdeps > /dev/null; then
  "$SRC/tools/make-deb.sh" --any-prefix "$BUILD" "$ROOT/pkg" > "$ROOT/deb.log" 2>&1; code=$?
  deb=$(ls "$ROOT"/pkg/nereval_*.deb 2>/dev/null | head -n 1)
  expect "make-deb makes nereval_*.deb (exit $code)" '[ -n "$deb" ]'
  [ -n "$deb" ] || cat "$ROOT/deb.log"
  if [ -n "$deb" ]; then
    list=$(dpkg-deb -c "$deb")
    for p in ./usr/libexec/xscreensaver/nereval ./usr/bin/nereval ./usr/lib/nereval/nereval-dialog.so \
             ./usr/share/xscreensaver/config/nereval.xml \
             ./usr/share/man/man6/nereval.6x.gz ./usr/share/applications/screensavers/nereval.desktop \
             ./usr/share/doc/nereval/copyright ./usr/share/doc/nereval/changelog.gz; do
      grep -q " $p\( \|$\)" <<< "$list" || { echo "FAIL: the package lacks $p"; failures=$((failures + 1)); }
    done
    depends=$(dpkg-deb -f "$deb" Depends)
    expect "it depends on the libraries and the data it loads ($depends)" \
      'grep -q libsdl2 <<< "$depends" && grep -q fonts-ipafont-gothic <<< "$depends" && grep -q libgl1-mesa-dri <<< "$depends" &&
       grep -q libgtk-3 <<< "$depends" && grep -q libfluidsynth3 <<< "$depends" && grep -q libglib2.0-0 <<< "$depends" &&
       grep -q tzdata <<< "$depends"'
    expect "every file is root's" '! grep -v " root/root " <<< "$list"'
    expect "no maintainer scripts ($(dpkg-deb --ctrl-tarfile "$deb" | tar -t | xargs))" \
      '[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -vxE "\./|\./(control|md5sums)")" = "" ]'
    counted=$(awk '{ if ($1 ~ /^-/) s += int(($3 + 1023) / 1024); else s += 1 } END { print s + 1 }' <<< "$list")
    expect "Installed-Size is what dpkg counts ($(dpkg-deb -f "$deb" Installed-Size), $counted KiB)" \
      '[ "$(dpkg-deb -f "$deb" Installed-Size)" -eq "$counted" ]'
    dpkg-deb -x "$deb" "$ROOT/unpacked"
    expect "the copyright file is machine-readable, with the licence in LICENSE" \
      'grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" "$ROOT/unpacked/usr/share/doc/nereval/copyright" &&
       grep -qx "License: Expat" "$ROOT/unpacked/usr/share/doc/nereval/copyright" && head -n 1 "$SRC/LICENSE" | grep -qx "MIT License"'
    if command -v lintian > /dev/null; then
      lintian --fail-on error,warning "$deb" > "$ROOT/lintian.log" 2>&1; code=$?
      expect "lintian finds no error or warning (exit $code)" '[ "$code" -eq 0 ]'
      [ "$code" -eq 0 ] || cat "$ROOT/lintian.log"
    fi
  fi
else
  echo "skip: no dpkg-shlibdeps for the package"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
