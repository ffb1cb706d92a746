# Every dependency is linked statically, so that the product loads on Windows without any DLL of its
# own beside it: zlib from Debian's mingw package (its static archive, not the import library of
# zlib1.dll), Oniguruma and libidn from the prefix that scripts/build-deps.sh fills.
find_path(ZLIB_INCLUDE_DIR zlib.h REQUIRED)
find_library(ZLIB_STATIC_LIBRARY NAMES libz.a REQUIRED)
add_library(mvx::zlib STATIC IMPORTED)
set_target_properties(mvx::zlib PROPERTIES IMPORTED_LOCATION "${ZLIB_STATIC_LIBRARY}"
                      INTERFACE_INCLUDE_DIRECTORIES "${ZLIB_INCLUDE_DIR}")

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
