#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root), cross-builds the
# dependencies that Debian ships no mingw build of, and builds the product (build/i686) with its tests.
# Where the machine cannot run 32-bit code, the tests are also built for 64-bit Windows (build/x86_64).
# LibreOffice (without its desktop), poppler and pikepdf turn users' documents into page metafiles
# (scripts/document-to-emf.sh), with Carlito and Caladea set for Calibri and Cambria (Word's default fonts)
# in the same widths; pdf2djvu is the benchmarks' peer.
# Ends with the product's main job: the sample report saved as DjVu through the add-in, in the host
# program that plays Word (scripts/export.sh); says where the file is, its pages and its size.
# Idempotent and quiet on success but for that line; prints the failing step's log on failure.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MVX_BUILD_DIR:-$here/build}
mkdir -p "$build/logs"
log=$build/logs/setup.log
source "$here/scripts/apt-sources.sh"
: > "$log"

step() { # step NAME COMMAND...: run quietly, show the log when it fails
  local name=$1; shift
  if ! "$@" >>"$log" 2>&1; then
    echo "setup: step '$name' failed; log follows" >&2
    tail -n 80 "$log" >&2
    exit 1
  fi
}

packages=(wine wine32:i386 wine64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
          googletest cmake ninja-build make dpkg-dev djvulibre-bin minidjvu imagemagick ghostscript python3 openssl
          mingw-w64-tools pdf2djvu poppler-utils libreoffice-writer-nogui libreoffice-calc-nogui
          libreoffice-impress-nogui libreoffice-draw-nogui python3-pikepdf python3-pil python3-pdfminer pdfminer-data
          qpdf fontconfig fonts-liberation2 libreoffice-math-nogui
          fonts-dejavu-core fonts-crosextra-carlito fonts-crosextra-caladea)

install_packages() {
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
  source_archives_enabled /etc/apt || enable_source_archives /etc/apt
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${packages[@]}"
}

missing=0
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing=1
done
source_archives_enabled /etc/apt || missing=1
if [ "$missing" = 1 ]; then step packages install_packages; fi

build_arch() { # build_arch ARCH: dependencies, configure and build into $build/ARCH
  local arch=$1 dir=$build/$1
  step "dependencies ($arch)" bash "$here/scripts/build-deps.sh" "$arch" "$build/deps/$arch"
  step "configure ($arch)" bash "$here/scripts/configure-build.sh" "$here" "$dir" "$here/cmake/toolchain-$arch.cmake" \
    -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMVX_DEPS_PREFIX="$build/deps/$arch/prefix"
  step "build ($arch)" cmake --build "$dir" --parallel "$(nproc)"
}

build_arch i686
test_arch=$(bash "$here/scripts/test-arch.sh")
[ "$test_arch" = i686 ] || build_arch "$test_arch"

# The main job on the sample kept in the repository (samples/report: text, a table, a photo, a link): the
# add-in, registered in a Wine prefix of the user's own, saves it as DjVu inside the host program as Word
# would.
sample=$build/sample-report.djvu
step "export of the sample report" bash "$here/scripts/export.sh" --host Word --name report.odt \
  "$here/samples/report/pages" "$sample"
echo "setup: samples/report exported through the add-in to $sample: $(djvused -e n "$sample") pages," \
  "$(stat -c %s "$sample") bytes"
