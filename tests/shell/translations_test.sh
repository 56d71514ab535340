# The dialog's message catalogs: every English text the sources mark has its
# Japanese translation (none fuzzy, formats matching), the catalog is built in
# the build tree and installed under share/locale where the installed program
# looks, and the desktop entry's Japanese name and comment are the catalog's.
source "$(dirname "$0")/lib.inc"
BUILD=$1

"$SRC/po/make-pot.sh" "$ROOT/nereval.pot"
expect "the template lists the dialog's texts ($(grep -c '^msgid "[^"]' "$ROOT/nereval.pot"))" \
  '[ "$(grep -c "^msgid \"[^\"]" "$ROOT/nereval.pot")" -ge 40 ]'
for po in "$SRC"/po/*.po; do
  lang=$(basename "$po" .po)
  expect "$lang: every text is translated" 'msgcmp "$po" "$ROOT/nereval.pot"'
  stats=$(msgfmt --check --statistics -o /dev/null "$po" 2>&1)
  expect "$lang: none fuzzy or untranslated, formats match ($stats)" '! grep -qE "fuzzy|untranslated|error" <<< "$stats"'
  expect "$lang: built in the build tree" '[ -s "$BUILD/locale/$lang/LC_MESSAGES/nereval.mo" ]'
  # The desktop entry's translations, as msgfmt would write them from the catalog.
  grep -v '^[A-Za-z]*\[' "$SRC/tools/install/nereval.desktop.in" > "$ROOT/plain.desktop"
  msgfmt --desktop --template="$ROOT/plain.desktop" -l "$lang" -o "$ROOT/made.desktop" "$po"
  for key in Name Comment; do
    made=$(grep "^$key\[$lang\]=" "$ROOT/made.desktop")
    expect "$lang: the desktop entry's $key is the catalog's ($made)" \
      '[ -n "$made" ] && grep -qxF "$made" "$SRC/tools/install/nereval.desktop.in"'
  done
done

prefix=$(cache CMAKE_INSTALL_PREFIX)
DESTDIR=$ROOT/stage cmake --install "$BUILD" > "$ROOT/log" 2>&1; code=$?
expect "the install runs (exit $code)" '[ "$code" -eq 0 ]'
expect "the Japanese catalog is installed" '[ -s "$ROOT/stage$prefix/share/locale/ja/LC_MESSAGES/nereval.mo" ]'
expect "the installed program reads the catalogs from there" \
  'strings "$ROOT/stage$prefix/libexec/xscreensaver/nereval" | grep -qxF "$prefix/share/locale"'

echo "$failures failed"
[ "$failures" -eq 0 ]
