# The libraries the code calls. Every target collected in
# MKLABEL_DEPENDENCIES is linked into the library.
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)
find_package(JPEG REQUIRED)
find_package(GIF REQUIRED)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)

# zint ships neither a pkg-config file nor a CMake package.
find_path(ZINT_INCLUDE_DIR zint.h REQUIRED)
find_library(ZINT_LIBRARY zint REQUIRED)
add_library(mk_zint INTERFACE)
target_include_directories(mk_zint INTERFACE ${ZINT_INCLUDE_DIR})
target_link_libraries(mk_zint INTERFACE ${ZINT_LIBRARY})

# Nor does libcups.
find_path(CUPS_INCLUDE_DIR cups/cups.h REQUIRED)
find_library(CUPS_LIBRARY cups REQUIRED)
add_library(mk_cups INTERFACE)
target_include_directories(mk_cups INTERFACE ${CUPS_INCLUDE_DIR})
target_link_libraries(mk_cups INTERFACE ${CUPS_LIBRARY})

set(MKLABEL_DEPENDENCIES
  ZLIB::ZLIB Threads::Threads JPEG::JPEG GIF::GIF
  PkgConfig::CAIRO PkgConfig::FONTCONFIG PkgConfig::FREETYPE PkgConfig::PNG
  mk_zint mk_cups)
