#!/usr/bin/env bash
# JB2 coding of real 300-dpi text pages (made here with Ghostscript from the system's licence text in
# several fonts and sizes; JB2_BENCH_PAGES, default 20), our coder (the test build under Wine, timed inside
# the process) against the peers on the same PBM files (wall time of the host process):
#   per page, every connected component a new shape, against `cjb2 -lossless`;
#   the pages as one group around a shared dictionary, lossless and lossy, against `cjb2 -lossless` and
#   `cjb2 -lossy` (per page, no sharing) and `minidjvu` and `minidjvu -l` (one shared dictionary).
# Every file is decoded with ddjvu: lossless ones must give the input exactly; for lossy ones the share of
# pixels that differ from the input is printed. Ratios are ours over the peer's (below 1: smaller/faster).
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" jb2_bench
pages=${JB2_BENCH_PAGES:-20}

/usr/bin/python3 "$here/bench/make_text_pages.py" "$pages" "$work/pages.ps"
gs -q -dNOPAUSE -dBATCH -sDEVICE=pbmraw -r300 -g2550x3300 -sOutputFile="$work/page%02d.pbm" "$work/pages.ps"
inputs=("$work"/page*.pbm)

div() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
add() { awk -v a="$1" -v b="$2" 'BEGIN { print a + b }'; }
timed() { # seconds of wall time of the command
  local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN { print e - s }'
}
# differing INK: pixels of the file's pages that differ from the inputs, and black pixels of the inputs
differing() {
  local file=$1 d=0 k=0 i=1 n
  for pbm in "${inputs[@]}"; do
    ddjvu -format=pbm -page=$i "$file" "$work/back.pbm"
    read -r n b < <(/usr/bin/python3 "$here/bench/pbm_diff.py" "$pbm" "$work/back.pbm")
    d=$((d + n)); k=$((k + b)); i=$((i + 1))
  done
  echo "$d $k"
}

echo "Per page, every shape new, against cjb2 -lossless ($pages pages of 2550x3300)"
printf '%-8s %9s %9s %6s %8s %8s %6s\n' page ours_B cjb2_B size ours_s cjb2_s time
tob=0 tcb=0 tos=0 tcs=0
for pbm in "${inputs[@]}"; do
  name=$(basename "$pbm" .pbm)
  read -r _ ob _ os < <("$MVX_WINE" "$exe" new "Z:$work/$name.new.djvu" "Z:$pbm" | tr -d '\r')
  ddjvu -format=pbm "$work/$name.new.djvu" "$work/back.pbm"
  read -r n _ < <(/usr/bin/python3 "$here/bench/pbm_diff.py" "$pbm" "$work/back.pbm")
  [ "$n" = 0 ] || { echo "$name: ddjvu renders $n pixels of our file unlike the input" >&2; exit 1; }
  cs=$(timed cjb2 -lossless "$pbm" "$work/$name.cjb2.djvu")
  cb=$(stat -c %s "$work/$name.cjb2.djvu")
  printf '%-8s %9d %9d %6s %8.3f %8.3f %6s\n' "$name" "$ob" "$cb" "$(div "$ob" "$cb")" "$os" "$cs" "$(div "$os" "$cs")"
  tob=$((tob + ob)); tcb=$((tcb + cb)); tos=$(add "$tos" "$os"); tcs=$(add "$tcs" "$cs")
done
printf '%-8s %9d %9d %6s %8.3f %8.3f %6s\n\n' total "$tob" "$tcb" "$(div "$tob" "$tcb")" "$tos" "$tcs" "$(div "$tos" "$tcs")"

echo "The $pages pages as one group"
printf '%-16s %10s %9s %9s %12s\n' coder bytes B/page s/page differing
report() { # report NAME BYTES SECONDS FILE
  local d k share
  read -r d k < <(differing "$4")
  share=$(awk -v d="$d" -v p="$pages" 'BEGIN { printf "%.4f%%", 100 * d / (p * 2550 * 3300) }')
  printf '%-16s %10d %9d %9.3f %12s\n' "$1" "$2" $(($2 / pages)) "$(awk -v s="$3" -v p="$pages" 'BEGIN { print s / p }')" "$share"
  eval "bytes_$5=$2 secs_$5=$3"
}
for mode in lossless lossy; do
  read -r _ b _ s < <("$MVX_WINE" "$exe" $mode "Z:$work/ours.$mode.djvu" $(printf 'Z:%s ' "${inputs[@]}") | tr -d '\r')
  report "ours $mode" "$b" "$s" "$work/ours.$mode.djvu" "ours_$mode"
done
for opt in lossless lossy; do
  s=0 b=0
  for pbm in "${inputs[@]}"; do
    s=$(add "$s" "$(timed cjb2 -$opt "$pbm" "$work/c.djvu")"); b=$((b + $(stat -c %s "$work/c.djvu")))
    cp "$work/c.djvu" "$pbm.$opt.djvu"
  done
  djvm -c "$work/cjb2.$opt.djvu" "${inputs[@]/%/.$opt.djvu}"
  report "cjb2 -$opt" "$b" "$s" "$work/cjb2.$opt.djvu" "cjb2_$opt"
done
s=$(timed minidjvu -d 300 -p "$pages" "${inputs[@]}" "$work/mini.lossless.djvu")
report "minidjvu" "$(stat -c %s "$work/mini.lossless.djvu")" "$s" "$work/mini.lossless.djvu" mini_lossless
s=$(timed minidjvu -d 300 -p "$pages" -l "${inputs[@]}" "$work/mini.lossy.djvu")
report "minidjvu -l" "$(stat -c %s "$work/mini.lossy.djvu")" "$s" "$work/mini.lossy.djvu" mini_lossy
echo
echo "ours lossless / minidjvu:    bytes $(div "$bytes_ours_lossless" "$bytes_mini_lossless"), time $(div "$secs_ours_lossless" "$secs_mini_lossless")"
echo "ours lossy / minidjvu -l:    bytes $(div "$bytes_ours_lossy" "$bytes_mini_lossy"), time $(div "$secs_ours_lossy" "$secs_mini_lossy")"
echo "ours lossless / cjb2 -lossless: bytes $(div "$bytes_ours_lossless" "$bytes_cjb2_lossless"), time $(div "$secs_ours_lossless" "$secs_cjb2_lossless")"
echo "ours lossy / cjb2 -lossy:    bytes $(div "$bytes_ours_lossy" "$bytes_cjb2_lossy"), time $(div "$secs_ours_lossy" "$secs_cjb2_lossy")"
