# Sourced by the benchmark scripts after bench-env.sh, with page_bench built: the PSNR of DjVu pages, as
# ddjvu decodes them, against page images (PPM).
#   psnr A.ppm B.ppm             the PSNR of B against A (dB)
#   psnr_all FILE.djvu RENDER... the mean PSNR of the file's pages, each decoded at its render's size
psnr() { "$MVX_WINE" "$build/$arch/bench/page_bench.exe" psnr "Z:$1" "Z:$2" | tr -d '\r'; }
mean() { awk '{ s += $1; n++ } END { printf "%.2f", s / n }'; }
size_of() { head -c 64 "$1" | sed -n 2p | tr ' ' x; } # WxH of a PPM
psnr_all() {
  local file=$1 i=1 r; shift
  for r in "$@"; do
    ddjvu -format=ppm -page=$i -size="$(size_of "$r")" -aspect=no "$file" "$work/back.ppm"
    psnr "$r" "$work/back.ppm"
    i=$((i + 1))
  done | mean
}
