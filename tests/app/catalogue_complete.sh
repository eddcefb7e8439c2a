#!/usr/bin/env bash
# Every text the sources pass through the catalogue is in po/routewarden.pot, and every entry
# of the template has a (not fuzzy) Russian translation.
#   catalogue_complete.sh <source root>
set -euo pipefail
root=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

find "$root"/app "$root"/log "$root"/formats "$root"/delivery "$root"/coordinates "$root"/telemetry "$root"/worker_base \
  \( -name '*.cpp' -o -name '*.hpp' \) | sort >"$tmp/files"
xgettext --from-code=UTF-8 --language=C++ --keyword=_ --keyword=wxTRANSLATE --keyword=wxGetTranslation:1 \
  --files-from="$tmp/files" --output="$tmp/sources.pot"
if [ -f "$tmp/sources.pot" ]; then
  msgcmp --use-untranslated "$root/po/routewarden.pot" "$tmp/sources.pot"
fi
msgcmp "$root/po/ru.po" "$root/po/routewarden.pot"
echo "catalogue complete"
