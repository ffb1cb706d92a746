# Sourced by the benchmark scripts after bench-env.sh, with page_bench built: the PSNR of DjVu pages, as
# ddjvu decodes them, against page images (PPM).
#   psnr A.ppm B.ppm             the PSNR of B against A (dB)
#   psnr_all FILE.djvu RENDER... the mean PSNR of the file's pages against the renders
# A page is decoded at its own size and laid on a white page of the render's size (cut where it is larger):
# coders round a page's size in pixels differently (A4 at 300 dpi is 2480 or 2481 columns, 3508 or 3509
# rows), and a decode stretched by one column would lose more to the stretching than to its coding.
psnr() { "$MVX_WINE" "$build/$arch/bench/page_bench.exe" psnr "Z:$1" "Z:$2" | tr -d '\r'; }
mean() { awk '{ s += $1; n++ } END { printf "%.2f", s / n }'; }
size_of() { head -c 64 "$1" | sed -n 2p | tr ' ' x; } # WxH of a PPM
psnr_all() {
  local file=$1 i=1 r; shift
  for r in "$@"; do
    ddjvu -format=ppm -page=$i "$file" "$work/own.ppm"
    /usr/bin/python3 -c 'import sys
from PIL import Image
page = Image.new("RGB", tuple(int(v) for v in sys.argv[2].split("x")), "white")
page.paste(Image.open(sys.argv[1]).convert("RGB"), (0, 0))
page.save(sys.argv[3], "PPM")' "$work/own.ppm" "$(size_of "$r")" "$work/back.ppm"
    psnr "$r" "$work/back.ppm"
    i=$((i + 1))
  done | mean
}
