# The product: 32-bit Windows, mingw-w64 with the posix thread model; tests run under 32-bit Wine.
set(MVX_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-common.cmake)
