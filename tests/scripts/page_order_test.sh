#!/usr/bin/env bash
# scripts/document-to-emf.sh numbers the pages of a 10000-page PDF so that their names sort in page order
# (in four digits page 10000 would sort between pages 1000 and 1001) and hands them to LibreOffice's
# metafile export in that order. The tools stand in for themselves, drawing ten thousand pages would take
# hours: poppler's give 10000 copies of one empty A4 page, LibreOffice's records the pages it is handed and
# draws none, so the script ends with "LibreOffice stopped after page 0".
#   page_order_test.sh
set -uo pipefail
here=$(cd -- "$(dirname -- "$0")/../.." && pwd)
work=$(mktemp -d -t brindlepage-test.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
pages=10000

mkdir "$work/bin"
stub() { printf '#!/bin/sh\n%s\n' "$2" >"$work/bin/$1"; chmod +x "$work/bin/$1"; }
stub pdfinfo "printf 'Pages: $pages\nPage size: 595 x 842 pts (A4)\nPage rot: 0\n'"
/usr/bin/python3 -c 'import pikepdf, sys; pdf = pikepdf.new(); pdf.add_blank_page(page_size=(595, 842)); pdf.save(sys.argv[1])' \
  "$work/blank.pdf"
stub pdfseparate "exec /usr/bin/python3 -c 'import shutil, sys
for page in range(1, $pages + 1): shutil.copyfile(\"$work/blank.pdf\", sys.argv[2] % page)' \"\$@\""
stub soffice "for a; do case \$a in *.pdf) echo \"\$a\" ;; esac; done >'$work/handed'"
echo '%PDF-1.4' >"$work/long.pdf"

PATH=$work/bin:$PATH bash "$here/scripts/document-to-emf.sh" "$work/long.pdf" "$work/pages" >/dev/null 2>"$work/err"
grep -q "LibreOffice stopped after page 0 of $pages" "$work/err" || { tail -3 "$work/err" >&2; exit 1; }
# The pages' numbers in the order LibreOffice got them.
sed 's/.*page-0*\([0-9]*\)\.pdf$/\1/' "$work/handed" >"$work/order"
if ! seq "$pages" | cmp -s - "$work/order"; then
  echo "FAIL: the pages reach LibreOffice out of order: $(seq "$pages" | diff - "$work/order" | head -5 | tr '\n' ' ')" >&2
  exit 1
fi
