#!/usr/bin/env bash
# Page metafiles made by scripts/document-to-emf.sh from a three-page A4 text document (through
# LibreOffice's PDF export) and a two-slide 16:9 presentation (given as its PDF) are framed as their pages
# and, played by Windows' own player at 300 dpi, put their content where pdftoppm puts it, down to the
# squares in the pages' last millimetres; the script says one line per page.
#   document_to_emf_test.sh EMULATOR EMF_PAGE_RASTER.exe
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
emulator=$1 raster=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

python3 "$here/tests/scripts/make_page_documents.py" "$work"
soffice "-env:UserInstallation=file://$work/profile" --headless --convert-to pdf --outdir "$work" \
  "$work/a4.fodt" "$work/slides.fodp" </dev/null >/dev/null 2>&1

check() { # check NAME INPUT PDF PAGES: convert INPUT, then set its metafiles beside the PDF's renders
  local name=$1 input=$2 pdf=$3 pages=$4 dir=$work/$1 page
  mkdir -p "$dir"
  bash "$here/scripts/document-to-emf.sh" "$input" "$dir/emf" >"$dir/progress" || { fail "$name: conversion failed"; return; }
  local expected=""
  for ((page = 1; page <= pages; page++)); do expected+="page $page of $pages: $dir/emf/page-$(printf %04d $page).emf"$'\n'; done
  [ "$(sed 's/ (.*//' "$dir/progress")"$'\n' = "$expected" ] || fail "$name: progress lines were: $(cat "$dir/progress")"
  for ((page = 1; page <= pages; page++)); do
    (cd "$dir" && "$emulator" "$raster" "emf/page-$(printf %04d $page).emf" "emf-$page.pgm" 300) ||
      fail "$name: page $page does not play"
    pdftoppm -r 300 -gray -f "$page" -l "$page" -singlefile "$pdf" "$dir/ref-$page"
  done
  python3 "$here/tests/scripts/check_page_metafiles.py" "$pdf" "$dir/emf" "$dir" || fail "$name: pages misplaced"
}

check a4 "$work/a4.fodt" "$work/a4.pdf" 3
check slides "$work/slides.pdf" "$work/slides.pdf" 2
exit "$failed"
