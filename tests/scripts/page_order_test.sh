#!/usr/bin/env bash
# scripts/document-to-emf.sh hands the pages of a 10000-page PDF to LibreOffice's metafile export in page
# order (as names sorted in four digits, page 10000 would come between pages 1000 and 1001), in runs of 200
# (LibreOffice converts no more than 246 files in a run), having read their sizes with one run of pdfinfo
# rather than one a page. The tools stand in for themselves, drawing ten thousand pages would take hours:
# poppler's give 10000 copies of one empty A4 page, LibreOffice's records the pages it is handed and draws
# none, so the script ends after its first run with "LibreOffice stopped after page 0".
#   page_order_test.sh
set -uo pipefail
here=$(cd -- "$(dirname -- "$0")/../.." && pwd)
work=$(mktemp -d -t brindlepage-test.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
pages=10000

mkdir "$work/bin"
stub() { printf '#!/bin/sh\n%s\n' "$2" >"$work/bin/$1"; chmod +x "$work/bin/$1"; }
# pdfinfo tells the page count and, asked for a range of pages, each one's size and turn; its runs are
# counted.
cat >"$work/bin/pdfinfo" <<SH
#!/bin/sh
echo run >>'$work/pdfinfo-runs'
printf 'Pages:          $pages\n'
case " \$* " in
  *" -l "*) awk 'BEGIN { for (p = 1; p <= $pages; p++) printf "Page %5d size: 595 x 842 pts (A4)\nPage %5d rot:  0\n", p, p }' ;;
esac
SH
chmod +x "$work/bin/pdfinfo"
/usr/bin/python3 -c 'import pikepdf, sys; pdf = pikepdf.new(); pdf.add_blank_page(page_size=(595, 842)); pdf.save(sys.argv[1])' \
  "$work/blank.pdf"
stub pdfseparate "exec /usr/bin/python3 -c 'import shutil, sys
for page in range(1, $pages + 1): shutil.copyfile(\"$work/blank.pdf\", sys.argv[2] % page)' \"\$@\""
stub soffice "for a; do case \$a in *.pdf) echo \"\$a\" ;; esac; done >'$work/handed'"
echo '%PDF-1.4' >"$work/long.pdf"

PATH=$work/bin:$PATH bash "$here/scripts/document-to-emf.sh" "$work/long.pdf" "$work/pages" >/dev/null 2>"$work/err"
grep -q "LibreOffice stopped after page 0 of $pages" "$work/err" || { tail -3 "$work/err" >&2; exit 1; }
# The pages' sizes come from one run over the whole PDF, not a run a page.
runs=$(wc -l <"$work/pdfinfo-runs")
[ "$runs" -le 2 ] || { echo "FAIL: pdfinfo ran $runs times for $pages pages" >&2; exit 1; }
# The pages' numbers in the order LibreOffice got them, in its first run.
sed 's#.*/\([0-9]*\)\.pdf$#\1#' "$work/handed" >"$work/order"
if ! seq 200 | cmp -s - "$work/order"; then
  echo "FAIL: the pages reach LibreOffice out of order: $(seq 200 | diff - "$work/order" | head -5 | tr '\n' ' ')" >&2
  exit 1
fi
