#!/usr/bin/env bash
# JB2 decoding and rendering of real 300-dpi text pages (made here with Ghostscript from the system's licence
# text in several fonts and sizes; JB2DEC_BENCH_PAGES, default 20) as three encoders write them: our JB2
# encoder (the pages as one lossy group around a shared dictionary), `cjb2 -lossy` (one file a page, bundled
# with djvm) and `minidjvu -l` (one shared dictionary). Each document is split by djvmcvt into one file a
# component; our decoder (the test build under Wine, timed inside the process, best of three) decodes the
# dictionaries, pages and FGbz and renders every page into a grey mask, at full size and reduced to 1/4 (box
# filter); ddjvu renders the same document in one process per size (-eachpage, PBM at full size, PGM with
# -subsample=4), its wall time including process start, reading and writing every page image.
# Our full-size rendering of the first page must equal ddjvu's. Ratios are ours over ddjvu's.
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" jb2dec_bench
cmake --build "$build/$arch" --target jb2_bench >/dev/null
pages=${JB2DEC_BENCH_PAGES:-20}

/usr/bin/python3 "$here/bench/make_text_pages.py" "$pages" "$work/pages.ps"
gs -q -dNOPAUSE -dBATCH -sDEVICE=pbmraw -r300 -g2550x3300 -sOutputFile="$work/page%02d.pbm" "$work/pages.ps"
inputs=("$work"/page*.pbm)

div() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
timed() { # seconds of wall time of the command
  local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN { print e - s }'
}

"$MVX_WINE" "$build/$arch/bench/jb2_bench.exe" lossy "Z:$work/ours.djvu" $(printf 'Z:%s ' "${inputs[@]}") >/dev/null
for pbm in "${inputs[@]}"; do cjb2 -lossy "$pbm" "$pbm.djvu"; done
djvm -c "$work/cjb2.djvu" "${inputs[@]/%/.djvu}"
minidjvu -d 300 -p "$pages" -l "${inputs[@]}" "$work/minidjvu.djvu"

echo "Decoding and rendering $pages text pages of 2550x3300, ms per page"
printf '%-10s %7s %10s %10s %6s\n' file size ours ddjvu ratio
for doc in ours cjb2 minidjvu; do
  mkdir -p "$work/$doc"
  djvmcvt -i "$work/$doc.djvu" "$work/$doc" index.djvu
  mapfile -t files < <(djvused -e ls "$work/$doc.djvu" | awk '$2 == "P" { print $NF }')
  for factor in 1 4; do
    read -r _ n _ ours < <("$MVX_WINE" "$exe" "$factor" "Z:$work/ours.pnm" $(printf "Z:$work/$doc/%s " "${files[@]}") |
                           tr -d '\r')
    if [ "$factor" = 1 ]; then
      s=$(timed ddjvu -format=pbm -eachpage "$work/$doc.djvu" "$work/dd%d.pnm")
      read -r d _ < <(/usr/bin/python3 "$here/bench/pbm_diff.py" "$work/dd1.pnm" "$work/ours.pnm")
      [ "$d" = 0 ] || { echo "$doc: $d pixels of page 1 differ from ddjvu's rendering" >&2; exit 1; }
    else
      s=$(timed ddjvu -format=pgm -subsample=4 -eachpage "$work/$doc.djvu" "$work/dd%d.pnm")
    fi
    theirs=$(awk -v s="$s" -v n="$n" 'BEGIN { printf "%.2f", 1000 * s / n }')
    printf '%-10s %7s %10s %10s %6s\n' "$doc" "1/$factor" "$ours" "$theirs" "$(div "$ours" "$theirs")"
  done
done
