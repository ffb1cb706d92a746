#!/usr/bin/env bash
# scripts/document-to-emf.sh with the real LibreOffice on a document of more pages than LibreOffice converts
# in one run (it converts 246 files, ignores the rest and ends well): a PDF of 250 small empty pages becomes
# 250 page metafiles, a line for each in page order.
#   document_to_emf_long_test.sh
set -uo pipefail
here=$(cd -- "$(dirname -- "$0")/../.." && pwd)
work=$(mktemp -d -t brindlepage-test.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
pages=250

/usr/bin/python3 -c 'import pikepdf, sys
pdf = pikepdf.new()
for _ in range(int(sys.argv[2])):
    pdf.add_blank_page(page_size=(72, 72))
pdf.save(sys.argv[1])' "$work/long.pdf" "$pages"
bash "$here/scripts/document-to-emf.sh" "$work/long.pdf" "$work/pages" >"$work/progress" 2>"$work/err" ||
  { echo "FAIL: the conversion failed: $(tail -3 "$work/err")" >&2; exit 1; }
expected=$(for ((page = 1; page <= pages; page++)); do
  printf 'page %d of %d: %s/pages/page-%04d.emf (25.4 x 25.4 mm)\n' "$page" "$pages" "$work" "$page"; done)
[ "$(cat "$work/progress")" = "$expected" ] ||
  { echo "FAIL: the lines differ: $(diff <(echo "$expected") "$work/progress" | head -5)" >&2; exit 1; }
made=$(find "$work/pages" -name 'page-*.emf' -size +0 | wc -l)
[ "$made" = "$pages" ] || { echo "FAIL: $made page metafiles for $pages pages" >&2; exit 1; }
