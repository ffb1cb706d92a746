#!/usr/bin/env bash
# build-deps.sh ARCH DIR: cross-builds Oniguruma and libidn for Windows (ARCH i686 or x86_64) from
# Debian's source archives into DIR/prefix. Nothing of theirs enters the source tree. Does nothing when
# both are already built.
set -euo pipefail
arch=$1 deps=$2
here=$(cd "$(dirname "$0")/.." && pwd)
triplet=$arch-w64-mingw32
prefix=$deps/prefix
[ -f "$prefix/lib/libonig.a" ] && [ -f "$prefix/lib/libidn.a" ] && exit 0
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

if [ ! -f "$prefix/lib/libidn.a" ]; then
  rm -rf idn && mkdir idn && tar -xf "$archives"/libidn_*.orig.tar.* -C idn --strip-components=1
  (cd idn && ./configure --host="$triplet" CC="$triplet-gcc-posix" --prefix="$prefix" \
      --disable-shared --enable-static --disable-doc --disable-nls --disable-csharp --disable-java \
    && make -j"$(nproc)" && make -C lib install)
fi
