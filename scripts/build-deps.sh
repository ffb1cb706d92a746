#!/usr/bin/env bash
# build-deps.sh ARCH DIR: cross-builds Oniguruma and libidn for Windows (ARCH i686 or x86_64) from
# Debian's source archives into DIR/prefix. Nothing of theirs enters the source tree. Does nothing when
# both are already built.
set -euo pipefail
arch=$1 deps=$2
here=$(cd "$(dirname "$0")/.." && pwd)
triplet=$arch-w64-mingw32
prefix=$deps/prefix
# libidn's stamp says its build has the lengths fix below; one built before it is built again.
idn_stamp=$prefix/lib/libidn-size-lengths.stamp
[ -f "$prefix/lib/libonig.a" ] && [ -f "$prefix/lib/libidn.a" ] && [ -f "$idn_stamp" ] && exit 0
archives=$(dirname "$deps")/archives
mkdir -p "$archives" "$deps" "$prefix"
if ! ls "$archives"/libonig_*.orig.tar.* >/dev/null 2>&1 || ! ls "$archives"/libidn_*.orig.tar.* >/dev/null 2>&1; then
  (cd "$archives" && apt-get source --download-only --tar-only libonig libidn)
fi
cd "$deps"

if [ ! -f "$prefix/lib/libonig.a" ]; then
  rm -rf onig && mkdir onig && tar -xf "$archives"/libonig_*.orig.tar.* -C onig --strip-components=1
  cmake -S onig -B onig/build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-$arch.cmake" \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DINSTALL_DOCUMENTATION=OFF -DINSTALL_EXAMPLES=OFF
  cmake --build onig/build --parallel "$(nproc)"
  cmake --install onig/build
fi

if [ ! -f "$prefix/lib/libidn.a" ] || [ ! -f "$idn_stamp" ]; then
  rm -rf idn && mkdir idn && tar -xf "$archives"/libidn_*.orig.tar.* -C idn --strip-components=1
  # Its UTF-8 reader stores a string's length through a `long *` into a `size_t` (lib/nfkc.c, whose
  # stand-in for glib's glong is long). On 64-bit Windows a long has 32 bits, so the upper half of the
  # length is whatever the stack held, and nameprep runs over billions of code points: minutes and
  # gigabytes for one international host name. Its glong is made as wide as a size.
  sed -i 's/^#define glong long$/#define glong ssize_t/' idn/lib/nfkc.c
  grep -qx '#define glong ssize_t' idn/lib/nfkc.c || { echo "build-deps: libidn's lib/nfkc.c has no glong to widen" >&2; exit 1; }
  (cd idn && ./configure --host="$triplet" CC="$triplet-gcc-posix" --prefix="$prefix" \
      --disable-shared --enable-static --disable-doc --disable-nls --disable-csharp --disable-java \
    && make -j"$(nproc)" && make -C lib install)
  touch "$idn_stamp"
fi
