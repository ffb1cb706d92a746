#!/usr/bin/env bash
# Our IW44 encoder (the test build, under Wine; best of three encodes in memory) against `c44` (wall time
# of its process, which includes its start and the reading of the image file) on the same image at the
# same slices, in one run: a 300-dpi page background (850x1100, chunks of 74/10/4/9 slices) and a full
# 2550x3300 photo-like picture. Prints seconds, bytes of the IW44 chunks and PSNR of the `ddjvu` decode
# against the input for both, then our figure against c44's (time ratio below 1: we are faster), and c44
# once more at our byte count (`-size`), for the comparison at equal bytes, and whether our chunks are c44's
# byte for byte.
set -euo pipefail
source "$(dirname "$0")/bench-env.sh" iw44_bench
convert=/usr/bin/convert   # ImageMagick itself, not a stand-in earlier on the PATH

# Photo-like pictures: plasma clouds drawn at a third of the size (drawing plasma at full size takes
# minutes) and enlarged, with fine texture from a light noise after the enlargement.
"$convert" -seed 7 -size 284x367 plasma:fractal -resize '850x1100!' -blur 0x1 \
  -attenuate 0.3 +noise Gaussian -depth 8 "ppm:$work/background.ppm"
"$convert" -seed 11 -size 850x1100 plasma:fractal -resize '2550x3300!' -blur 0x2 \
  -attenuate 0.3 +noise Gaussian -depth 8 "ppm:$work/photo.ppm"

psnr() { # PSNR of the ddjvu decode of $1 against the image $2
  ddjvu -format=ppm "$1" "$1.ppm"
  # compare exits with 1 whenever the images differ, which they do.
  { /usr/bin/compare -metric PSNR "$2" "$1.ppm" null: 2>&1 || true; } | awk '{ print $1 }'
}
chunk_bytes() { # bytes of the IW44 chunk bodies of a page file
  djvudump "$1" | awk '/BG44/ { gsub(/[^0-9]/, "", $2); s += $2 } END { print s }'
}
div() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
same_chunks() { # "yes" when the two page files hold the same BG44 chunk bodies, byte for byte
  /usr/bin/python3 - "$1" "$2" <<'PY'
import struct, sys
def bodies(path):
    data, found, at = open(path, 'rb').read(), [], 16  # past "AT&T", the FORM header and "DJVU"
    while at + 8 <= len(data):
        size = struct.unpack('>I', data[at + 4:at + 8])[0]
        if data[at:at + 4] == b'BG44':
            found.append(data[at + 8:at + 8 + size])
        at += 8 + size + (size & 1)
    return found
print('yes' if bodies(sys.argv[1]) == bodies(sys.argv[2]) else 'no')
PY
}

printf '%-11s %-14s %8s %9s %8s\n' image coder seconds bytes psnr_dB
for name in background photo; do
  in=$work/$name.ppm
  read -r _ ours_s _ ours_b < <("$MVX_WINE" "$exe" "Z:$in" "Z:$work/$name.ours.djvu" 74,10,4,9 | tr -d '\r')
  ours_p=$(psnr "$work/$name.ours.djvu" "$in")
  s=$(date +%s.%N); c44 -slice 74+10+4+9 "$in" "$work/$name.c44.djvu"; e=$(date +%s.%N)
  c44_s=$(awk -v s="$s" -v e="$e" 'BEGIN { printf "%.3f", e - s }')
  c44_b=$(chunk_bytes "$work/$name.c44.djvu")
  c44_p=$(psnr "$work/$name.c44.djvu" "$in")
  c44 -size "$ours_b" "$in" "$work/$name.c44size.djvu"
  eq_b=$(chunk_bytes "$work/$name.c44size.djvu")
  eq_p=$(psnr "$work/$name.c44size.djvu" "$in")
  printf '%-11s %-14s %8.3f %9d %8.2f\n' "$name" ours "$ours_s" "$ours_b" "$ours_p"
  printf '%-11s %-14s %8.3f %9d %8.2f\n' "$name" "c44 same slices" "$c44_s" "$c44_b" "$c44_p"
  printf '%-11s %-14s %8s %9d %8.2f\n' "$name" "c44 our bytes" - "$eq_b" "$eq_p"
  printf '%-11s ratios: time %s, bytes %s, PSNR %+.2f dB vs same slices, %+.2f dB vs same bytes; chunks as c44: %s\n' \
    "$name" "$(div "$ours_s" "$c44_s")" "$(div "$ours_b" "$c44_b")" \
    "$(awk -v a="$ours_p" -v b="$c44_p" 'BEGIN { print a - b }')" "$(awk -v a="$ours_p" -v b="$eq_p" 'BEGIN { print a - b }')" \
    "$(same_chunks "$work/$name.ours.djvu" "$work/$name.c44.djvu")"
done
echo "(c44 seconds include its process start and reading the image file; ours are in-process encodes)"
