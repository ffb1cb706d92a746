# The same sources for 64-bit Windows, run under 64-bit Wine where the machine cannot run 32-bit code.
set(MVX_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-common.cmake)
