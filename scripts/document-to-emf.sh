#!/usr/bin/env bash
# Turns a document (.docx .pptx .xlsx .odt and the other types of document-types.sh, or a .pdf) into one
# enhanced metafile per page, OUTDIR/page-0001.emf and on (numbered in as many digits as the page count
# has, four at least, so that the names sort in page order), each framed as the whole page with its content
# at its place on it, as Office hands pages to an exporter. Prints a line per page.
#   document-to-emf.sh DOCUMENT OUTDIR
# LibreOffice converts the document to PDF; each PDF page becomes its visible box with a page-sized white
# background painted behind its content (pdf_import_pages.py), so that Draw's PDF import keeps the page's
# extent and its content's place, and is then exported by Draw as a metafile; emf_page_frame.py finally
# gives the metafile the page's frame.
# A document that the import filters of its type cannot open, or that makes no page, is refused.
set -euo pipefail
here=$(cd "$(dirname -- "$0")" && pwd)
source "$here/document-types.sh"
if [ $# -ne 2 ]; then
  echo "usage: $0 DOCUMENT OUTDIR" >&2
  exit 2
fi
document=$(realpath -- "$1")
out=$2
[ -f "$document" ] || { echo "$0: no such document: $1" >&2; exit 1; }
type=$(document_type "$document")
[ -n "$type" ] || { echo "$0: $1 is of none of the types it converts:" >&2; document_types >&2; exit 1; }
# All that a page needs, found before LibreOffice's conversion rather than after it.
for tool in soffice pdfseparate pdfinfo pdftoppm fc-list /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing (run scripts/setup.sh)" >&2; exit 1; }
done
for module in PIL pikepdf pdfminer; do
  /usr/bin/python3 -c "import $module" 2>/dev/null ||
    { echo "$0: /usr/bin/python3 cannot import $module (run scripts/setup.sh)" >&2; exit 1; }
done
mkdir -p -- "$out"
out=$(realpath -- "$out")
work=$(mktemp -d -t brindlepage.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
# A profile of its own: LibreOffice refuses a second instance on a profile in use. Its temporary files go
# into the work folder too, with which they go.
office() { TMPDIR=$work soffice "-env:UserInstallation=file://$work/profile" --headless "$@" </dev/null 2>>"$work/soffice.log"; }
fail() { echo "$0: $*" >&2; [ ! -s "$work/soffice.log" ] || cat "$work/soffice.log" >&2; exit 1; }

if [ "$type" = pdf ]; then
  pdf=$document
else
  # Opened where it lies under its own name, so that what it links to by a relative name (a picture beside
  # it) is found and a field that prints its file name prints that name; LibreOffice only reads there, its
  # PDF and that PDF's lock file go into the work folder. It opens no path that is not UTF-8: such a document
  # is opened through a link named as Wine shows the name, U+FFFD for each byte that is not UTF-8, which
  # finds nothing it links to by a relative name.
  source=$document
  if ! iconv -f UTF-8 -t UTF-8 <<<"$document" >/dev/null 2>&1; then
    mkdir "$work/link"
    source=$work/link/$(/usr/bin/python3 -c 'import os, sys
sys.stdout.buffer.write(os.fsencode(sys.argv[1]).decode("utf-8", "replace").encode())' "${document##*/}")
    ln -s -- "$document" "$source"
  fi
  mkdir "$work/pdf"
  shopt -s nullglob dotglob
  # LibreOffice says "source file could not be loaded" (and writes nothing) when a filter cannot open it.
  IFS='|' read -ra filters <<<"${document_filters[$type]}"
  for filter in "${filters[@]}"; do
    office "--infilter=$filter" --convert-to pdf --outdir "$work/pdf" "$source" >/dev/null || true
    made=("$work/pdf"/*.pdf)
    [ "${#made[@]}" = 0 ] || break
  done
  [ "${#made[@]}" = 1 ] || fail "LibreOffice cannot open $1 as a .$type document"
  pdf=${made[0]}
fi
pages=$(pdfinfo "$pdf" 2>"$work/pdfinfo.log" | awk '/^Pages:/ { print $2 }') || true
if [ "${pages:-0}" -eq 0 ]; then
  # Opened without a password, poppler says only this of a PDF that needs one.
  ! grep -q 'Incorrect password' "$work/pdfinfo.log" ||
    fail "$1 needs a password to be opened: export a copy saved without it (qpdf --decrypt --password=...)"
  fail "no page in the PDF of $1"
fi
digits=$((${#pages} > 4 ? ${#pages} : 4))

mkdir "$work/pages"
pdfseparate "$pdf" "$work/pages/%d.pdf" || fail "cannot split the PDF of $1 into pages"
declare -A width height
# Each page's visible box in points, all from one run of pdfinfo ("Page    1 size:  595 x 842 pts (A4)",
# "Page    1 rot:   0"); a page turned by a quarter shows its box turned.
while read -r page w h rot; do
  if [ $((rot % 180)) -ne 0 ]; then read -r w h <<<"$h $w"; fi
  width[$page]=$w height[$page]=$h
done < <(pdfinfo -f 1 -l "$pages" "$pdf" 2>/dev/null |
  awk '$1 == "Page" && $3 == "size:" { w[$2] = $4; h[$2] = $6 } $1 == "Page" && $3 == "rot:" { r[$2] = $4 }
       END { for (p in w) print p, w[p], h[p], r[p] + 0 }')
files=()
for ((page = 1; page <= pages; page++)); do
  [ -n "${width[$page]:-}" ] || fail "no size for page $page in the PDF of $1"
  files+=("$work/pages/$page.pdf")
done
/usr/bin/python3 "$here/pdf_import_pages.py" "${files[@]}" || fail "cannot ready the pages of $1 for the import"
# The installed fonts' families, by which every page's fonts are named.
/usr/bin/python3 "$here/emf_font_families.py" >"$work/families" || fail "cannot list the installed fonts"
# The import finds a font that fontconfig set for a missing one by its PostScript name ("P052Roman").
/usr/bin/python3 "$here/emf_font_families.py" --fontconfig "$work/families" >"$work/fonts.conf" ||
  fail "cannot list the installed fonts"

finish() { # finish PAGE: frame the metafile LibreOffice wrote for the page, move it out, say so
  local page=$1 name
  printf -v name 'page-%0*d' "$digits" "$page"
  [ -f "$work/pages/$page.emf" ] || fail "LibreOffice wrote no metafile for page $page"
  /usr/bin/python3 "$here/emf_page_frame.py" "$work/pages/$page.emf" "${width[$page]}" "${height[$page]}" \
    "$work/families" ||
    fail "page $page: cannot frame its metafile"
  mv "$work/pages/$page.emf" "$out/$name.emf"
  printf '%s\0' "$out/$name.emf" >>"$work/made"
  echo "page $page of $pages: $out/$name.emf ($(awk -v w="${width[$page]}" -v h="${height[$page]}" \
    'BEGIN { printf "%.1f x %.1f mm", w * 25.4 / 72, h * 25.4 / 72 }'))"
}

# LibreOffice converts no more than 246 files in a run, ignores the rest and ends well: the pages go in runs
# of 200, in page order, each run checked to have done all of its pages. It names each page as it starts on
# it ("convert .../pages/12.pdf -> .../pages/12.emf using filter : ..."), so the page before is done.
batch=200
for ((first = 1; first <= pages; first += batch)); do
  last=$((first + batch - 1 < pages ? first + batch - 1 : pages))
  FONTCONFIG_FILE=$work/fonts.conf office --infilter=draw_pdf_import --convert-to emf --outdir "$work/pages" "${files[@]:first-1:last-first+1}" | {
    started=$((first - 1))
    while read -r line; do
      [[ $line =~ /pages/([0-9]+)\.pdf\ -\> ]] || continue
      [ "$started" = $((first - 1)) ] || finish "$started"
      started=${BASH_REMATCH[1]}
    done
    [ "$started" = "$last" ] || fail "LibreOffice stopped after page $started of $pages"
    finish "$started"
  }
done
# The PDF's links, marked in their pages' metafiles as Office marks them, for the add-in's map areas.
/usr/bin/python3 "$here/emf_add_link.py" --pdf "$pdf" "$work/made" || fail "cannot mark the links of $1 in its pages"
