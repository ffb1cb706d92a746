# Sourced as: bench-env.sh TARGET. Builds the benchmark program TARGET of the test build (build/x86_64 or
# build/i686, MVX_BUILD_DIR to move it) when needed, sets here, build, arch, exe (its path) and work (a
# fresh folder removed at exit with the Wine server), and exports the Wine settings of a run.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${MVX_BUILD_DIR:-$here/build}
arch=$(bash "$here/scripts/test-arch.sh")
exe=$build/$arch/bench/$1.exe
cmake --build "$build/$arch" --target "$1" >/dev/null
source "$here/scripts/wine-env.sh" "$build" "$arch"
work=$(mktemp -d)
trap 'rm -rf "$work"; wineserver -k >/dev/null 2>&1 || true' EXIT
