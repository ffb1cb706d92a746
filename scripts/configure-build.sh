#!/usr/bin/env bash
# configure-build.sh SOURCE BUILD TOOLCHAIN [CMAKE-OPTION...]: configures the CMake project SOURCE into the
# folder BUILD for the toolchain file TOOLCHAIN, unless BUILD is already configured for that very
# toolchain. CMake keeps the compilers it found in its cache, so a folder whose toolchain changed (another
# file, or an edit of it or of the toolchain*.cmake files beside it that it includes) is configured afresh.
set -euo pipefail
source=$1 build=$2 toolchain=$(realpath "$3")
shift 3
stamp=$build/toolchain.sha256
digest=$({ echo "$toolchain"; cat "$toolchain" "$(dirname "$toolchain")"/toolchain*.cmake; } | sha256sum | cut -d' ' -f1)
if [ -f "$build/CMakeCache.txt" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$digest" ]; then
  exit 0
fi
fresh=()
[ ! -f "$build/CMakeCache.txt" ] || fresh=(--fresh)
rm -f "$stamp"
cmake "${fresh[@]}" -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" "$@"
echo "$digest" > "$stamp"
