#!/usr/bin/env bash
# The page encoder on real office documents: a Word-like report, slides and a spreadsheet written as flat
# ODF by bench/make_office_docs.py (PAGE_BENCH_PAGES pages each, default 4), turned into PDF by LibreOffice
# and rendered at 300 dpi by pdftoppm without anti-aliasing. Our encoder (the test build under Wine, mode 5,
# pages grouped by 20, each page keeping the smaller of FG44 and FGbz as the add-in does; timed inside the
# process, one thread) against pdf2djvu -d 300 -j 1 on the same PDFs (wall time, which includes its own
# PDF rendering); every file decoded by ddjvu at its own size, laid on a white page of the render's size
# (pdf2djvu may round the page size) and compared with the renders (mean PSNR of the pages). Memory: ours is the peak held through the library's
# arrays (the page image read from the file is not counted), and for both the peak resident set of the
# process (ours under Wine, which adds its own).
# Then, with a given mask (the render thresholded at 50%), our pages against DjVuLibre's compound maker on
# the same mask: cjb2 -lossless MASK.pbm; djvumake INFO=W,H,300 Sjbz=... PPM=RENDER.ppm.
# Last, line art, whose marks' boxes are far larger than their ink: LINE_ART_PAGES (default 20, one group)
# letter pages each holding a 2000 x 2000 area of one-pixel 45-degree lines 8 pixels apart, the same way,
# with each side's time and memory.
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" page_bench
pages=${PAGE_BENCH_PAGES:-4}

/usr/bin/python3 "$here/bench/make_office_docs.py" "$pages" "$work"
(cd "$work" && soffice --headless "-env:UserInstallation=file://$work/lo" --convert-to pdf --outdir "$work" \
  report.fodt slides.fodp sheet.fods >/dev/null 2>&1)

source "$here/bench/djvu-psnr.sh"
ours() { "$MVX_WINE" "$exe" "$@" | tr -d '\r'; }

printf '%-8s %-9s %5s %9s %8s %9s %7s %7s\n' document coder pages B/page s/page peak_MB RSS_MB PSNR
declare -A breakdown
for doc in report slides sheet; do
  pdftoppm -r 300 -aa no -aaVector no "$work/$doc.pdf" "$work/$doc"
  renders=("$work/$doc"-*.ppm)
  n=${#renders[@]}
  out=$( { /usr/bin/time -f 'rss %M' "$MVX_WINE" "$exe" segment "Z:$work/$doc.ours.djvu" \
    $(printf 'Z:%s ' "${renders[@]}") | tr -d '\r'; } 2>&1)
  breakdown[$doc]=$out
  read -r _ rss < <(grep '^rss' <<<"$out")
  read -r _ _ _ bytes _ < <(grep '^pages' <<<"$out")
  read -r _ _ enc _ _ _ _ flush _ write _ peak < <(grep '^seconds' <<<"$out" | tr -d '()')
  secs=$(awk -v a="$enc" -v b="$flush" -v c="$write" -v n="$n" 'BEGIN { printf "%.3f", (a + b + c) / n }')
  printf '%-8s %-9s %5d %9d %8s %9.1f %7.1f %7s\n' "$doc" ours "$n" $((bytes / n)) "$secs" \
    "$(awk -v p="$peak" 'BEGIN { print p / 1048576 }')" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" \
    "$(psnr_all "$work/$doc.ours.djvu" "${renders[@]}")"
  read -r wall kb < <( { /usr/bin/time -f '%e %M' pdf2djvu -q -d 300 -j 1 -o "$work/$doc.p2d.djvu" "$work/$doc.pdf" \
    >/dev/null; } 2>&1 | tail -1)
  bytes=$(stat -c %s "$work/$doc.p2d.djvu")
  printf '%-8s %-9s %5d %9d %8.3f %9s %7.1f %7s\n' "$doc" pdf2djvu "$n" $((bytes / n)) \
    "$(awk -v s="$wall" -v n="$n" 'BEGIN { print s / n }')" - "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')" \
    "$(psnr_all "$work/$doc.p2d.djvu" "${renders[@]}")"
done

echo
echo "Where our bytes and time go (bytes over all pages; seconds over all pages, one thread):"
for doc in report slides sheet; do
  echo "$doc:"
  grep -E '^(pages|seconds)' <<<"${breakdown[$doc]}" | sed 's/^/  /'
done

echo
echo "With the render thresholded at 50% as the mask: ours (mode 5, one group) against cjb2 -lossless + djvumake"
printf '%-8s %-9s %9s %7s\n' document coder B/page PSNR
for doc in report slides sheet; do
  renders=("$work/$doc"-*.ppm)
  n=${#renders[@]}
  out=$(ours mask "Z:$work/$doc.mask.djvu" $(printf 'Z:%s ' "${renders[@]}"))
  read -r _ _ _ bytes _ < <(grep '^pages' <<<"$out")
  printf '%-8s %-9s %9d %7s\n' "$doc" ours $((bytes / n)) "$(psnr_all "$work/$doc.mask.djvu" "${renders[@]}")"
  made=()
  for r in "${renders[@]}"; do
    ours threshold "Z:$r" "Z:$r.pbm"
    cjb2 -lossless "$r.pbm" "$r.m.djvu"
    djvumake "$r.c.djvu" "INFO=$(size_of "$r" | tr x ,),300" "Sjbz=$r.m.djvu" "PPM=$r"
    made+=("$r.c.djvu")
  done
  djvm -c "$work/$doc.djvumake.djvu" "${made[@]}"
  bytes=0; for f in "${made[@]}"; do bytes=$((bytes + $(stat -c %s "$f"))); done
  printf '%-8s %-9s %9d %7s\n' "$doc" djvumake $((bytes / n)) "$(psnr_all "$work/$doc.djvumake.djvu" "${renders[@]}")"
done

echo
lines=${LINE_ART_PAGES:-20}
echo "Line art: $lines letter pages of a 2000 x 2000 area of one-pixel 45-degree lines 8 px apart, the render as the mask"
/usr/bin/python3 - "$work/lines.ppm" <<'PY'
import sys
w, h, side, gap, left, top = 2550, 3300, 2000, 8, 275, 650
white = bytes([255]) * (w * 3)
with open(sys.argv[1], "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (w, h))
    for y in range(h):
        row = bytearray(white)
        if top <= y < top + side:
            first = left + (y - top) % gap
            row[first * 3:(left + side) * 3:gap * 3] = bytes(len(range(first, left + side, gap)))
            row[first * 3 + 1:(left + side) * 3:gap * 3] = bytes(len(range(first, left + side, gap)))
            row[first * 3 + 2:(left + side) * 3:gap * 3] = bytes(len(range(first, left + side, gap)))
        f.write(row)
PY
pages_list=(); for i in $(seq "$lines"); do pages_list+=("Z:$work/lines.ppm"); done
printf '%-9s %5s %9s %8s %9s %7s %7s\n' coder pages B/page s/page peak_MB RSS_MB PSNR
out=$( { /usr/bin/time -f 'rss %M' "$MVX_WINE" "$exe" mask "Z:$work/lines.ours.djvu" "${pages_list[@]}" | tr -d '\r'; } 2>&1)
read -r _ rss < <(grep '^rss' <<<"$out")
read -r _ _ _ bytes _ < <(grep '^pages' <<<"$out")
read -r _ _ enc _ _ _ _ flush _ write _ peak < <(grep '^seconds' <<<"$out" | tr -d '()')
psnr=$(ddjvu -format=ppm -page=1 "$work/lines.ours.djvu" "$work/back.ppm" && ours psnr "Z:$work/lines.ppm" "Z:$work/back.ppm")
printf '%-9s %5d %9d %8.3f %9.1f %7.1f %7s\n' ours "$lines" $((bytes / lines)) \
  "$(awk -v a="$enc" -v b="$flush" -v c="$write" -v n="$lines" 'BEGIN { print (a + b + c) / n }')" \
  "$(awk -v p="$peak" 'BEGIN { print p / 1048576 }')" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" "$psnr"
ours threshold "Z:$work/lines.ppm" "Z:$work/lines.pbm"
read -r wall kb < <( { /usr/bin/time -f '%e %M' sh -c "cjb2 -lossless '$work/lines.pbm' '$work/lines.m.djvu' &&
  djvumake '$work/lines.c.djvu' INFO=2550,3300,300 'Sjbz=$work/lines.m.djvu' 'PPM=$work/lines.ppm'"; } 2>&1 | tail -1)
bytes=$(stat -c %s "$work/lines.c.djvu")
ddjvu -format=ppm -page=1 "$work/lines.c.djvu" "$work/back.ppm"
printf '%-9s %5d %9d %8.3f %9s %7.1f %7s\n' djvumake 1 "$bytes" "$wall" - "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')" \
  "$(ours psnr "Z:$work/lines.ppm" "Z:$work/back.ppm")"
