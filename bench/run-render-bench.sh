#!/usr/bin/env bash
# The page renderer on real page metafiles: a Word-like A4 report and 16:9 slides written as flat ODF by
# bench/make_office_docs.py (RENDER_BENCH_PAGES pages each, default 4) and turned into page metafiles as
# LibreOffice writes them (scripts/document-to-emf.sh). Each page is rendered at 300 dpi as the exporter
# does (the capture pass, the plain pass, the agreement mask; best of RENDER_BENCH_ROUNDS rounds, default
# 3, inside the process, one thread); pdftoppm renders the same pages from the PDF at 300 dpi without
# anti-aliasing as a reference (wall time of one process a page, which includes reading the PDF).
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" render_bench
pages=${RENDER_BENCH_PAGES:-4}
rounds=${RENDER_BENCH_ROUNDS:-3}

/usr/bin/python3 "$here/bench/make_office_docs.py" "$pages" "$work"
# LibreOffice takes the paper size from the locale: A4 outside the American ones.
for doc in report slides; do
  ext=$([ "$doc" = report ] && echo fodt || echo fodp)
  LC_ALL=C.UTF-8 bash "$here/scripts/document-to-emf.sh" "$work/$doc.$ext" "$work/$doc" >/dev/null
  (cd "$work" && LC_ALL=C.UTF-8 soffice --headless "-env:UserInstallation=file://$work/lo" --convert-to pdf \
    --outdir "$work" "$doc.$ext" >/dev/null 2>&1)
  for f in "$work/$doc"/page-*.emf; do mv "$f" "$work/$doc/$doc-$(basename "$f")"; done
done

for doc in report slides; do
  echo "$doc (ms a page; capture% = the capture pass's time beyond the same records played without a page zone):"
  "$MVX_WINE" "$exe" -n "$rounds" $(printf 'Z:%s ' "$work/$doc"/*.emf) | tr -d '\r' | tee "$work/$doc.txt"
  ours=$(awk 'NR > 1 { s += $4 + $5 + $6; n++ } END { printf "%.1f", s / n }' "$work/$doc.txt")
  n=$(pdfinfo "$work/$doc.pdf" | awk '/^Pages:/ { print $2 }')
  start=$(date +%s.%N)
  for ((p = 1; p <= n; p++)); do
    pdftoppm -r 300 -aa no -aaVector no -f $p -l $p "$work/$doc.pdf" "$work/$doc-ref"
  done
  ref=$(awk -v s="$start" -v e="$(date +%s.%N)" -v n="$n" 'BEGIN { printf "%.1f", (e - s) * 1000 / n }')
  echo "$doc: both renders and the mask $ours ms a page; pdftoppm -r 300 $ref ms a page; ours / pdftoppm $(awk -v a="$ours" -v b="$ref" 'BEGIN { printf "%.2f", a / b }')"
  echo
done
