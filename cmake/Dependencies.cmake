# zlib comes from Debian's mingw package; Oniguruma and libidn from the prefix that
# scripts/build-deps.sh fills.
find_package(ZLIB REQUIRED)

find_path(ONIG_INCLUDE_DIR oniguruma.h REQUIRED)
find_library(ONIG_LIBRARY NAMES libonig.a onig REQUIRED)
add_library(mvx::onig STATIC IMPORTED)
set_target_properties(mvx::onig PROPERTIES IMPORTED_LOCATION "${ONIG_LIBRARY}"
                      INTERFACE_INCLUDE_DIRECTORIES "${ONIG_INCLUDE_DIR}")

find_path(IDN_INCLUDE_DIR idna.h REQUIRED)
find_library(IDN_LIBRARY NAMES libidn.a idn REQUIRED)
add_library(mvx::idn STATIC IMPORTED)
set_target_properties(mvx::idn PROPERTIES IMPORTED_LOCATION "${IDN_LIBRARY}"
                      INTERFACE_INCLUDE_DIRECTORIES "${IDN_INCLUDE_DIR}")
