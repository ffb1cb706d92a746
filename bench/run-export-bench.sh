#!/usr/bin/env bash
# The exporter on real office documents: a Word-like report, slides and a spreadsheet written as flat ODF
# by bench/make_office_docs.py (EXPORT_BENCH_PAGES pages each, default 4) and turned into PDF by
# LibreOffice, and a page scanned at 600 dpi (bench/make_scan_page.py: one 4960 x 7016 picture on A4, as a
# scanner's PDF holds it); scripts/document-to-emf.sh makes the page metafiles of that PDF, which export_bench hands to
# the exporter as Office does (the test build under Wine, one thread, 300 dpi; timed inside the process,
# rendering included). Beside it pdf2djvu -d 300 -j 1 on the same PDFs (wall time of the process, which
# renders the PDF itself). Each file is decoded by ddjvu and compared with the image its coder started from
# (ours: the exporter's own first render of each page; pdf2djvu: poppler's render, pdftoppm -r 300 without
# anti-aliasing, as the exporter draws), and both with poppler's render; how far our render of the metafiles
# lies from poppler's render of the PDF is printed as well. Memory: the committed memory of our process sampled after
# every page (Wine's own counter), and for both the peak resident set of the process (ours under Wine,
# which adds its own).
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" export_bench
cmake --build "$build/$arch" --target page_bench >/dev/null # its psnr helper
pages=${EXPORT_BENCH_PAGES:-4}

/usr/bin/python3 "$here/bench/make_office_docs.py" "$pages" "$work"
(cd "$work" && soffice --headless "-env:UserInstallation=file://$work/lo" --convert-to pdf --outdir "$work" \
  report.fodt slides.fodp sheet.fods >/dev/null 2>&1)
/usr/bin/python3 "$here/bench/make_scan_page.py" "$work/scan.pdf"
docs=(report slides sheet scan)

source "$here/bench/djvu-psnr.sh"

printf '%-8s %-9s %5s %9s %8s %9s %7s %8s %8s\n' document coder pages B/page s/page commit_MB RSS_MB PSNR_src PSNR_pdf
declare -A steps renders_gap
for doc in "${docs[@]}"; do
  bash "$here/scripts/document-to-emf.sh" "$work/$doc.pdf" "$work/$doc-emf" >/dev/null
  pdftoppm -r 300 -aa no -aaVector no "$work/$doc.pdf" "$work/$doc"
  renders=("$work/$doc"-*.ppm)
  emfs=("$work/$doc-emf"/page-*.emf)
  n=${#emfs[@]}
  mkdir -p "$work/$doc-own"
  out=$( { /usr/bin/time -f 'rss %M' "$MVX_WINE" "$exe" "Z:$work/$doc.ours.djvu" "Z:$work/$doc-own" \
    $(printf 'Z:%s ' "${emfs[@]}") | tr -d '\r'; } 2>&1)
  steps[$doc]=$out
  read -r _ _ _ _ bytes _ seconds _ _ _ _ _ peak < <(grep '^exporter' <<<"$out")
  read -r _ rss < <(grep '^rss' <<<"$out")
  own=()
  for ((i = 1; i <= n; i++)); do own+=("$work/$doc-own/page-$i.ppm"); done
  printf '%-8s %-9s %5d %9d %8.3f %9.1f %7.1f %8s %8s\n' "$doc" ours "$n" $((bytes / n)) \
    "$(awk -v s="$seconds" -v n="$n" 'BEGIN { print s / n }')" "$peak" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" \
    "$(psnr_all "$work/$doc.ours.djvu" "${own[@]}")" "$(psnr_all "$work/$doc.ours.djvu" "${renders[@]}")"
  read -r wall kb < <( { /usr/bin/time -f '%e %M' pdf2djvu -q -d 300 -j 1 -o "$work/$doc.p2d.djvu" "$work/$doc.pdf" \
    >/dev/null; } 2>&1 | tail -1)
  bytes=$(stat -c %s "$work/$doc.p2d.djvu")
  p2d=$(psnr_all "$work/$doc.p2d.djvu" "${renders[@]}")
  printf '%-8s %-9s %5d %9d %8.3f %9s %7.1f %8s %8s\n' "$doc" pdf2djvu "$n" $((bytes / n)) \
    "$(awk -v s="$wall" -v n="$n" 'BEGIN { print s / n }')" - "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')" "$p2d" "$p2d"
  # How far the two renderers' images of the same pages lie apart: the most PSNR_pdf can show for ours.
  for ((i = 0; i < n; i++)); do
    convert "${own[$i]}" -background white -extent "$(size_of "${renders[$i]}")" "$work/own-fit.ppm"
    psnr "${renders[$i]}" "$work/own-fit.ppm"
  done | mean > "$work/gap"
  renders_gap[$doc]=$(cat "$work/gap")
done

echo
echo "PSNR_src: each file against the image its coder started from (ours: the exporter's own first render of"
echo "the page metafile; pdf2djvu: poppler's render of the PDF). PSNR_pdf: both against poppler's render."
echo "Our render of the page metafiles against poppler's render of the PDF (the ceiling of our PSNR_pdf):"
for doc in "${docs[@]}"; do echo "  $doc ${renders_gap[$doc]} dB"; done
echo
echo "Where our time and bytes go (seconds and bytes over all pages, the exporter's steps run one by one):"
for doc in "${docs[@]}"; do
  echo "$doc:"
  grep -E '^(steps|layers)' <<<"${steps[$doc]}" | sed 's/^/  /'
done
