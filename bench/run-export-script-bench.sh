#!/usr/bin/env bash
# The main job timed end to end: a Word-like report, slides and a spreadsheet (bench/make_office_docs.py,
# flat ODF) saved as DjVu by scripts/export.sh, that is LibreOffice's page metafiles handed by the host
# program (Word, PowerPoint, Excel) to the registered add-in, at two page counts each (EXPORT_SCRIPT_BENCH_PAGES,
# default "2 8") so that memory can be seen not to grow with the pages. Beside it pdf2djvu -d 300 -j 1 on the
# PDF LibreOffice makes of the same document, in the same run. Per document: bytes a page; seconds a page of
# the export inside the host (from the button press to the finished file: the add-in's whole work) and of
# the whole script (LibreOffice's conversion and Wine's start-up included; pdf2djvu's figure is its whole
# process, its own PDF rendering included); the host process's peak working set (Wine's own counter) or
# pdf2djvu's peak resident set; the mean PSNR of ddjvu's decode against poppler's 300-dpi render of the PDF
# (pdftoppm -aa no -aaVector no, as both coders draw). Then the ink of bold lines over plain lines of one
# size, ours, pdf2djvu's and poppler's.
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" page_bench # its psnr helper
source "$here/bench/djvu-psnr.sh"
sizes=${EXPORT_SCRIPT_BENCH_PAGES:-"2 8"}

kinds=(report:fodt slides:fodp sheet:fods)
printf '%-8s %5s %-9s %9s %8s %9s %8s %7s %7s\n' document pages coder B/page s/page s/page_all peak_MB PSNR ratio
for pages in $sizes; do
  dir=$work/$pages
  mkdir -p "$dir"
  /usr/bin/python3 "$here/bench/make_office_docs.py" "$pages" "$dir"
  (cd "$dir" && soffice --headless "-env:UserInstallation=file://$work/lo" --convert-to pdf --outdir "$dir" \
    report.fodt slides.fodp sheet.fods >/dev/null 2>&1)
  for kind in "${kinds[@]}"; do
    doc=${kind%%:*}
    pdftoppm -r 300 -aa no -aaVector no "$dir/$doc.pdf" "$dir/$doc"
    renders=("$dir/$doc"-*.ppm)
    n=${#renders[@]}

    start=$(date +%s.%N)
    MVX_EXPORT_STATS=1 bash "$here/scripts/export.sh" "$dir/$doc.${kind#*:}" "$dir/$doc.ours.djvu" >"$dir/$doc.out"
    all=$(awk -v s="$start" -v e="$(date +%s.%N)" -v n="$n" 'BEGIN { printf "%.3f", (e - s) / n }')
    read -r seconds peak < <(sed -n 's/^export time: \([0-9.]*\) s; peak memory: \([0-9.]*\) MB$/\1 \2/p' "$dir/$doc.out")
    ours_bytes=$(( $(stat -c %s "$dir/$doc.ours.djvu") / n ))
    ours_psnr=$(psnr_all "$dir/$doc.ours.djvu" "${renders[@]}")

    read -r wall kb < <( { /usr/bin/time -f '%e %M' pdf2djvu -q -d 300 -j 1 -o "$dir/$doc.p2d.djvu" "$dir/$doc.pdf" \
      >/dev/null; } 2>&1 | tail -1)
    p2d_bytes=$(( $(stat -c %s "$dir/$doc.p2d.djvu") / n ))
    p2d_psnr=$(psnr_all "$dir/$doc.p2d.djvu" "${renders[@]}")

    printf '%-8s %5d %-9s %9d %8.3f %9.3f %8.1f %7s %7s\n' "$doc" "$n" ours "$ours_bytes" \
      "$(awk -v s="$seconds" -v n="$n" 'BEGIN { print s / n }')" "$all" "$peak" "$ours_psnr" \
      "$(awk -v a="$ours_bytes" -v b="$p2d_bytes" 'BEGIN { printf "%.2f", a / b }')"
    printf '%-8s %5d %-9s %9d %8.3f %9.3f %8.1f %7s %7s\n' "$doc" "$n" pdf2djvu "$p2d_bytes" \
      "$(awk -v s="$wall" -v n="$n" 'BEGIN { print s / n }')" "$(awk -v s="$wall" -v n="$n" 'BEGIN { print s / n }')" \
      "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')" "$p2d_psnr" 1.00
  done
done
# Bold and plain lines of one size (make_office_docs.py's weights.fodt): the ink of the bold lines over the
# plain ones in ddjvu's renders of our file and of pdf2djvu's, and in poppler's render of the PDF.
bold_over_plain() { # bold_over_plain PAGE.pgm: its lines alternate plain and bold
  /usr/bin/python3 "$here/tests/scripts/line_ink.py" "$1" |
    awk 'NR % 2 { plain += $3 } !(NR % 2) { bold += $3 } END { printf "%.2f (%d lines)", bold / plain, NR }'
}
dir=$work/weights
mkdir -p "$dir"
/usr/bin/python3 "$here/bench/make_office_docs.py" 1 "$dir" 40x30
(cd "$dir" && soffice --headless "-env:UserInstallation=file://$work/lo" --convert-to pdf --outdir "$dir" weights.fodt \
  >/dev/null 2>&1)
bash "$here/scripts/export.sh" "$dir/weights.fodt" "$dir/ours.djvu" >/dev/null
pdf2djvu -q -d 300 -j 1 -o "$dir/p2d.djvu" "$dir/weights.pdf"
ddjvu -format=pgm -page=1 "$dir/ours.djvu" "$dir/ours.pgm"
ddjvu -format=pgm -page=1 "$dir/p2d.djvu" "$dir/p2d.pgm"
pdftoppm -r 300 -gray -aa no -aaVector no -singlefile "$dir/weights.pdf" "$dir/ref"
echo
echo "bold/plain ink, lines of one size: ours $(bold_over_plain "$dir/ours.pgm"), pdf2djvu $(bold_over_plain "$dir/p2d.pgm"),"\
  "pdftoppm $(bold_over_plain "$dir/ref.pgm")"
echo
echo "s/page: ours inside the host, from the button press to the written file; s/page_all: the whole of"
echo "scripts/export.sh (LibreOffice and Wine's start-up included). ratio: our bytes over pdf2djvu's."
