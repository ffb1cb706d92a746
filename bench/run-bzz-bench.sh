#!/usr/bin/env bash
# Times our BZZ encoder and decoder (the test build, under Wine, measured inside the process on data in
# memory) against the reference tool `bzz -e1024` / `bzz -d` (wall time of the host process), each the
# best of five runs, on 4 MB of text, 4 MB of mixed binary and a 300-dpi page image (a letter-size page
# of text rendered by ImageMagick, 2550x3300 raw RGB, 25 MB), checks that both write the same bytes, and
# prints our time divided by the tool's (below 1: we are faster). Installs ImageMagick when it is missing.
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" bzz_bench

size=$((4 * 1024 * 1024))
# Text: the system's licence and copyright texts, repeated as needed.
while [ "$(stat -c %s "$work/text" 2>/dev/null || echo 0)" -lt "$size" ]; do
  cat /usr/share/common-licenses/* /usr/share/doc/*/copyright 2>/dev/null >>"$work/text"
done
truncate -s "$size" "$work/text"
# Mixed binary: executables (code, tables, strings) as they lie on disk.
{ cat /usr/bin/* 2>/dev/null || true; } | head -c "$size" >"$work/mixed"
# Page: what a scanner or a renderer hands over, mostly white with anti-aliased glyphs (10 pt at 300 dpi).
if ! command -v convert >/dev/null || [ ! -f /usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends imagemagick fonts-dejavu-core >/dev/null
fi
convert -size 2550x3300 xc:white -font DejaVu-Serif -pointsize 42 -fill black \
  -annotate +150+220 "$(head -n 62 /usr/share/common-licenses/GPL-3)" -depth 8 "ppm:$work/page"

div() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }

best() { # best wall time in seconds of five runs of the command
  local b=999999 t
  for _ in 1 2 3 4 5; do
    local s=$(date +%s.%N); "$@" >/dev/null; local e=$(date +%s.%N)
    t=$(awk -v s="$s" -v e="$e" 'BEGIN { print e - s }')
    b=$(awk -v t="$t" -v b="$b" 'BEGIN { print (t < b) ? t : b }')
  done
  echo "$b"
}

printf '%-7s %-7s %10s %10s %7s\n' input step ours_s bzz_s ratio
for name in text mixed page; do
  in=$work/$name
  bzz -e1024 "$in" "$work/$name.ref"
  "$MVX_WINE" "$exe" -e "Z:$in" "Z:$work/$name.ours"
  cmp -s "$work/$name.ref" "$work/$name.ours" || { echo "$name: our bytes differ from bzz -e1024" >&2; exit 1; }
  "$MVX_WINE" "$exe" -d "Z:$work/$name.ref" "Z:$work/$name.back"
  cmp -s "$in" "$work/$name.back" || { echo "$name: decoding bzz output failed" >&2; exit 1; }
  read -r _ ours_e _ ours_d _ ours_sort < <("$MVX_WINE" "$exe" -t "Z:$in" | tr -d '\r')
  bzz_e=$(best bzz -e1024 "$in" "$work/$name.tmp")
  bzz_d=$(best bzz -d "$work/$name.ref" "$work/$name.tmp")
  printf '%-7s %-7s %10.3f %10.3f %7.2f\n' "$name" encode "$ours_e" "$bzz_e" "$(div "$ours_e" "$bzz_e")"
  printf '%-7s %-7s %10.3f   (block sort alone, part of encode)\n' "$name" sort "$ours_sort"
  printf '%-7s %-7s %10.3f %10.3f %7.2f\n' "$name" decode "$ours_d" "$bzz_d" "$(div "$ours_d" "$bzz_d")"
  printf '%-7s %-7s %10d bytes, ratio %.3f\n' "$name" size "$(stat -c %s "$work/$name.ref")" \
    "$(div "$(stat -c %s "$work/$name.ref")" "$(stat -c %s "$in")")"
done
