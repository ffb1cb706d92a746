#!/usr/bin/env bash
# Segmenter on real 300-dpi office pages (made here with Ghostscript by bench/make_office_pages.py: text,
# a ruled table, a photo-like picture, coloured bands): SEG_BENCH_PAGES (default 5) A4 pages of 2480 x 3508
# and as many 16:9 slides of 4000 x 2250. Prints per page the seconds of the segmentation alone (best of
# five, inside the process, one thread) and the peak working memory it allocated. No peer exists: no
# outside tool makes a foreground mask from a colour page, so there is nothing to compare with.
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" segmenter_bench
pages=${SEG_BENCH_PAGES:-5}

/usr/bin/python3 "$here/bench/make_office_pages.py" "$pages" a4 ink "$work/a4.ps" >/dev/null
/usr/bin/python3 "$here/bench/make_office_pages.py" "$pages" slide ink "$work/slide.ps" >/dev/null
gs -q -dNOPAUSE -dBATCH -sDEVICE=ppmraw -r300 -g2480x3508 -sOutputFile="$work/a4-%02d.ppm" "$work/a4.ps"
gs -q -dNOPAUSE -dBATCH -sDEVICE=ppmraw -r300 -g4000x2250 -sOutputFile="$work/slide-%02d.ppm" "$work/slide.ps"

echo "segmenter ($arch build, one thread); no peer to compare with: no outside tool segments colour pages"
for kind in a4 slide; do
  echo "$kind pages:"
  "$MVX_WINE" "$exe" $(printf "Z:%s " "$work"/$kind-*.ppm) | tr -d '\r' |
    awk '{ print "  " $0; s += $3; n++ } END { printf "  mean seconds per page %.4f\n", s / n }'
done
