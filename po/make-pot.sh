#!/usr/bin/env bash
# Writes the message template of the dialog's texts to $1 (default
# po/nereval.pot): the texts marked N_() or passed to DialogText in the
# dialog's sources, and the desktop entry's Name and Comment. To bring a
# translation up to date after the English texts change:
#   po/make-pot.sh /tmp/nereval.pot && msgmerge --update --no-fuzzy-matching po/ja.po /tmp/nereval.pot
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-po/nereval.pot}
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
xgettext --from-code=UTF-8 --language=C++ --keyword=N_ --keyword=DialogText --add-comments=TRANSLATORS: \
  --add-location=file --package-name=nereval --package-version=1.4.0 -o "$tmp/code.pot" settings/config_dialog.cpp
xgettext --language=Desktop --add-location=file -o "$tmp/desktop.pot" tools/install/nereval.desktop.in
msgcat --use-first -o "$out" "$tmp/code.pot" "$tmp/desktop.pot"
