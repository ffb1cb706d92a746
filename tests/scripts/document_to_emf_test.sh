#!/usr/bin/env bash
# Page metafiles made by scripts/document-to-emf.sh from a three-page A4 text document (through
# LibreOffice's PDF export) and a two-slide 16:9 presentation (given as its PDF) are framed as their pages
# and, played by Windows' own player at 300 dpi, put their content where pdftoppm puts it, down to the
# squares in the pages' last millimetres, and name their fonts by their installed families (read once for
# all pages) in the weight and slant the PDF's fonts have (a document of a plain, a bold and an italic line
# too, also as a PDF of object streams and in CFF fonts, and a document in Calibri and Cambria set in
# Carlito and Caladea), and show what a page draws translucently as pdftoppm does, in pictures no larger
# than that drawing; the script says one line per page. A page framed 10 mm short, as LibreOffice frames
# it, fails the same check.
#   document_to_emf_test.sh EMULATOR EMF_PAGE_RASTER.exe
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
emulator=$1 raster=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

/usr/bin/python3 "$here/tests/scripts/make_page_documents.py" "$work"
soffice "-env:UserInstallation=file://$work/profile" --headless --convert-to pdf --outdir "$work" \
  "$work/a4.fodt" "$work/slides.fodp" "$work/fonts.fodt" "$work/office-fonts.fodt" </dev/null >/dev/null 2>&1

# fc-list counting its runs: the installed families are read once for all pages.
mkdir "$work/counting"
printf '#!/bin/sh\necho run >>"%s/fc-list-runs"\nexec /usr/bin/fc-list "$@"\n' "$work" >"$work/counting/fc-list"
chmod +x "$work/counting/fc-list"

check() { # check NAME INPUT PDF PAGES: convert INPUT, then set its metafiles beside the PDF's renders
  local name=$1 input=$2 pdf=$3 pages=$4 dir=$work/$1 page
  mkdir -p "$dir"
  rm -f "$work/fc-list-runs"
  PATH=$work/counting:$PATH bash "$here/scripts/document-to-emf.sh" "$input" "$dir/emf" >"$dir/progress" ||
    { fail "$name: conversion failed"; return; }
  [ "$(wc -l <"$work/fc-list-runs")" = 1 ] || fail "$name: fc-list ran $(wc -l <"$work/fc-list-runs") times for $pages pages"
  local expected=""
  for ((page = 1; page <= pages; page++)); do expected+="page $page of $pages: $dir/emf/page-$(printf %04d $page).emf"$'\n'; done
  [ "$(sed 's/ (.*//' "$dir/progress")"$'\n' = "$expected" ] || fail "$name: progress lines were: $(cat "$dir/progress")"
  for ((page = 1; page <= pages; page++)); do
    (cd "$dir" && "$emulator" "$raster" "emf/page-$(printf %04d $page).emf" "emf-$page.pgm" 300) ||
      fail "$name: page $page does not play"
    pdftoppm -r 300 -gray -f "$page" -l "$page" -singlefile "$pdf" "$dir/ref-$page"
  done
  /usr/bin/python3 "$here/tests/scripts/check_page_metafiles.py" "$pdf" "$dir/emf" "$dir" || fail "$name: pages misplaced"
  /usr/bin/python3 "$here/tests/scripts/check_font_records.py" "$pdf" "$dir/emf" || fail "$name: fonts differ from the PDF's"
}

check a4 "$work/a4.fodt" "$work/a4.pdf" 3
check slides "$work/slides.pdf" "$work/slides.pdf" 2
# A plain, a bold and an italic line: the weight and slant of each reach the font records.
bash "$here/scripts/document-to-emf.sh" "$work/fonts.fodt" "$work/fonts" >/dev/null &&
  /usr/bin/python3 "$here/tests/scripts/check_font_records.py" "$work/fonts.pdf" "$work/fonts" || fail "fonts: fonts differ from the PDF's"
# Whatever wrote the PDF: the same lines in a PDF of object and xref streams (as Ghostscript 10.02 and later
# and many other programs write them), and in CFF fonts (Type 1C, as Ghostscript embeds its own fonts).
qpdf --object-streams=generate "$work/fonts.pdf" "$work/streams.pdf"
cat >"$work/cff.ps" <<'PS'
/line { findfont 14 scalefont setfont 72 exch moveto (The quick brown fox jumps over the lazy dog) show } def
700 /NimbusSans-Regular line 670 /NimbusSans-Bold line 640 /NimbusSans-Italic line showpage
PS
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sPAPERSIZE=a4 -o "$work/cff.pdf" "$work/cff.ps"
for name in streams cff; do
  bash "$here/scripts/document-to-emf.sh" "$work/$name.pdf" "$work/$name" >/dev/null &&
    /usr/bin/python3 "$here/tests/scripts/check_font_records.py" "$work/$name.pdf" "$work/$name" || fail "$name: fonts differ from the PDF's"
done

# Office's own fonts: a document in Calibri and Cambria is set in their metric-compatible stand-ins, and the
# metafiles name them, not fonts of other widths that break lines and pages elsewhere.
for family in Carlito Caladea; do
  pdffonts "$work/office-fonts.pdf" | grep -q "+$family" || fail "office fonts: no $family in $(pdffonts "$work/office-fonts.pdf")"
done
bash "$here/scripts/document-to-emf.sh" "$work/office-fonts.fodt" "$work/office-fonts" >/dev/null &&
  /usr/bin/python3 "$here/tests/scripts/check_font_records.py" "$work/office-fonts.pdf" "$work/office-fonts" ||
  fail "office fonts: fonts differ from the PDF's"

# Translucent drawing of every kind (a fill, a stroke, a soft-masked picture, text, a form's transparency
# group) is flattened into the page: Windows' player shows the greys pdftoppm shows, and the opaque text
# drawn over it stays text.
mkdir "$work/translucent"
places=$(/usr/bin/python3 "$here/tests/scripts/make_translucent_pdf.py" "$work/translucent.pdf")
if bash "$here/scripts/document-to-emf.sh" "$work/translucent.pdf" "$work/translucent" >/dev/null &&
   (cd "$work/translucent" && "$emulator" "$raster" page-0001.emf emf.pgm 300); then
  pdftoppm -r 300 -gray -singlefile "$work/translucent.pdf" "$work/translucent/ref"
  # shellcheck disable=SC2086
  /usr/bin/python3 "$here/tests/scripts/compare_colours.py" "$work/translucent/emf.pgm" "$work/translucent/ref.pgm" \
    300 12 $places >"$work/translucent/colours" || fail "translucent: $(cat "$work/translucent/colours")"
  # The opaque text stays text, also where drawn before the translucent text, whose picture is cut to its
  # glyphs rather than the page (which would put the earlier text into a picture of the page).
  /usr/bin/python3 - "$here/scripts" "$work/translucent/page-0001.emf" <<'PY' || fail "translucent: pictures or text records wrong"
import struct
import sys
sys.path.insert(0, sys.argv[1])
from emf_records import Emf
emf = Emf.read(sys.argv[2])
data = b''.join(record for _, record in emf.records)
faults = ['"%s" is no text record' % text for text in ('Opaque text first', 'Opaque text stays')
          if text.encode('utf-16-le') not in data]
EMR_STRETCHDIBITS, PAGE_PIXELS = 81, 2480 * 3508
faults += ['a picture of %d x %d pixels' % size for size in
           (struct.unpack_from('<2i', record, 40) for kind, record in emf.records if kind == EMR_STRETCHDIBITS)
           if size[0] * size[1] > PAGE_PIXELS / 2]
sys.exit('\n'.join('translucent: ' + fault for fault in faults) or None)
PY
else
  fail "translucent: conversion failed"
fi

# The check itself is not blind: the first A4 page with its frame 10 mm short at the bottom, as LibreOffice
# makes it, is refused.
short=$work/short
mkdir -p "$short/emf"
pdfseparate -f 1 -l 1 "$work/a4.pdf" "$short/a4-1.pdf"
/usr/bin/python3 - "$here/scripts" "$work/a4/emf/page-0001.emf" "$short/emf/page-0001.emf" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from emf_records import Emf
emf = Emf.read(sys.argv[2])
left, top, right, bottom = emf.frame
emf.set_header(emf.bounds, (left, top, right, bottom - 1000), emf.device, emf.millimeters)
emf.write(sys.argv[3])
PY
(cd "$short" && "$emulator" "$raster" emf/page-0001.emf emf-1.pgm 300 && cp "$work/a4/ref-1.pgm" .)
if /usr/bin/python3 "$here/tests/scripts/check_page_metafiles.py" "$short/a4-1.pdf" "$short/emf" "$short" >"$short/out" 2>&1 ||
   ! grep -q 'frame (0, 0, 21001, 28700), page (0, 0, 21001, 29700).*played 2480 x 3390 pixels' "$short/out"; then
  fail "a frame 10 mm short was not refused for its frame and size: $(cat "$short/out")"
fi
exit "$failed"
