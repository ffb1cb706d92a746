#!/usr/bin/env bash
# Remakes the sample report's page metafiles (pages/page-NNNN.emf beside this script), the document the
# README's main job exports: make_report.py writes the document, scripts/document-to-emf.sh turns it
# into page metafiles framed as Office frames its pages, and scripts/emf_add_link.py marks its link with
# the comment record Office writes for links.
#   bash samples/report/remake.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts=$here/../../scripts
work=$(mktemp -d -t brindlepage.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
IFS=$'\t' read -r text url < <(/usr/bin/python3 "$here/make_report.py" "$work/report.fodt")
rm -rf "$here/pages"
bash "$scripts/document-to-emf.sh" "$work/report.fodt" "$here/pages"
/usr/bin/python3 "$scripts/emf_add_link.py" "$text" "$url" "$here"/pages/page-*.emf
