#!/usr/bin/env bash
# Remakes the renderer tests' page metafiles beside this script, as LibreOffice writes them
# (scripts/document-to-emf.sh): the first page of a Word-like A4 report (text runs, a table, a coloured
# call-out box, a photo) and of a 16:9 slide deck (coloured shapes, text, a photo), from
# bench/make_office_docs.py with photos small enough to keep the files small.
#   bash tests/Brindlepage/data/remake.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../../..
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$root/bench/make_office_docs.py" 1 "$work" 120x80
for doc in report:report.fodt slides:slides.fodp; do
  name=${doc%%:*}
  bash "$root/scripts/document-to-emf.sh" "$work/${doc#*:}" "$work/$name"
  cp "$work/$name/page-0001.emf" "$here/$name-page.emf"
done
