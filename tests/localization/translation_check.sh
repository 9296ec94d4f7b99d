#!/usr/bin/env bash
# The checked-in translation must hold every window text of the sources, each
# translated, and nothing the sources no longer use: lupdate run over a copy
# must leave it as it is.
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source_dir/localization/localization.ts" "$work/localization.ts"
"$source_dir/scripts/update-translations.sh" "$work/localization.ts" 2>/dev/null
if ! diff -u "$source_dir/localization/localization.ts" "$work/localization.ts"; then
  echo "localization.ts is out of date: run scripts/update-translations.sh and translate" >&2
  exit 1
fi
if grep -n 'type="unfinished"' "$work/localization.ts"; then
  echo "localization.ts has texts without a translation" >&2
  exit 1
fi
