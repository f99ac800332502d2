#!/usr/bin/env bash
# Brings po/zentor.pot up to date with the messages of the sources, the calls
# ZT("id", "Русский текст {0}", ...), and merges it into po/en.po: a new message
# arrives there with an empty msgstr to translate, a changed Russian text comes
# back untranslated, a message gone is kept as obsolete (#~). Translate with any
# PO editor (poedit, Lokalize, Emacs po-mode) or by hand, then rebuild: the build
# compiles po/en.po into the programs. The tests fail while a message has no
# English text.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

list=$(mktemp)
trap 'rm -f "$list"' EXIT
find core cli gui -name '*.h' -o -name '*.cpp' | grep -v '^core/text/' | LC_ALL=C sort >"$list"
xgettext --language=C++ --from-code=UTF-8 --keyword= --keyword=ZT:1c,2 \
    --add-location=file --sort-output --package-name=zentor \
    --msgid-bugs-address=- --files-from="$list" -o po/zentor.pot
# The creation date alone changes on every run: it is kept out.
sed -i '/^"POT-Creation-Date:/d' po/zentor.pot
msgmerge --quiet --update --backup=none --no-fuzzy-matching --add-location=file --sort-output \
    po/en.po po/zentor.pot
echo "po/zentor.pot: $(grep -c '^msgctxt' po/zentor.pot) messages;" \
    "po/en.po: $(msgattrib --untranslated po/en.po | grep -c '^msgctxt' || true) untranslated"
