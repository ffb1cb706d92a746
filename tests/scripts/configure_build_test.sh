#!/usr/bin/env bash
# A build folder is configured once for its toolchain file, left alone while that stays the same, and
# configured afresh (the toolchain's values, not the cached ones) when the file, a toolchain file it
# includes, or the choice of file changes.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# A project without compilers that records every configure run with the value its toolchain set; a cached
# value, as CMake keeps the compilers, so a run on the old cache would record the old value.
mkdir -p "$work/project" "$work/cmake"
cat > "$work/project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(probe NONE)
file(APPEND "${CMAKE_BINARY_DIR}/runs.txt" "${PROBE_MARK}\n")
CMAKE
printf 'set(PROBE_MARK "${PROBE_KIND}-one" CACHE STRING "")\n' > "$work/cmake/toolchain-common.cmake"
for kind in a b; do
  printf 'set(PROBE_KIND %s)\ninclude(${CMAKE_CURRENT_LIST_DIR}/toolchain-common.cmake)\n' "$kind" \
    > "$work/cmake/toolchain-$kind.cmake"
done

step() { # step TOOLCHAIN EXPECTED-RUNS: configure, then compare the recorded runs
  bash "$here/scripts/configure-build.sh" "$work/project" "$work/build" "$work/cmake/toolchain-$1.cmake" \
    >"$work/out.txt" 2>&1 || { cat "$work/out.txt" >&2; fail "configure with toolchain $1 failed"; return; }
  local runs
  runs=$(tr '\n' ' ' < "$work/build/runs.txt")
  [ "$runs" = "$2" ] || fail "after toolchain $1: runs '$runs', expected '$2'"
}

step a 'a-one '
step a 'a-one '                                        # unchanged: no second run
printf 'set(PROBE_MARK "${PROBE_KIND}-two" CACHE STRING "")\n' > "$work/cmake/toolchain-common.cmake"
step a 'a-one a-two '                                  # an included toolchain file changed
step a 'a-one a-two '
step b 'a-one a-two b-two '                            # another toolchain file
printf '# edited\n' >> "$work/cmake/toolchain-b.cmake"
step b 'a-one a-two b-two b-two '                      # the toolchain file itself changed
exit "$failed"
