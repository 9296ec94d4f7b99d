#!/usr/bin/env bash
# Brings the Russian translation of the windows' texts up to date with the
# sources: new texts come in unfinished, texts no longer used go. Give another
# file to update that one instead (the build's check does). Then translate
# the unfinished entries, for instance with Qt Linguist.
set -euo pipefail
cd "$(dirname "$0")/.."
TS_FILE=${1:-localization/localization.ts}
lupdate -silent -recursive -extensions cpp,h -locations none -no-obsolete \
  -source-language en_US -target-language ru_RU src libs modules -ts "$TS_FILE"
