#!/usr/bin/env bash
# Sets up and builds when needed (scripts/setup.sh), then runs the whole test suite under Wine with a
# private prefix in the build folder and one persistent wineserver for the run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export MVX_BUILD_DIR=${MVX_BUILD_DIR:-$here/build}
build=$MVX_BUILD_DIR
bash "$here/scripts/setup.sh"
arch=$(bash "$here/scripts/test-arch.sh")

source "$here/scripts/wine-env.sh" "$build" "$arch"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

cd "$build/$arch"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600 "$@"
