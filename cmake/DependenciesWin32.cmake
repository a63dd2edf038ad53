# The libraries the Windows build links. zlib comes from Debian's mingw
# package; zint, which has none, is built by scripts/build-windows-deps into
# MKLABEL_WINDOWS_DEPS. Both are linked statically, so that the DLL needs
# nothing at run time beyond Windows' own libraries.
set(MKLABEL_WINDOWS_DEPS "" CACHE PATH "Where scripts/build-windows-deps put zint (and GoogleTest)")
if(NOT MKLABEL_WINDOWS_DEPS)
  message(FATAL_ERROR "Set MKLABEL_WINDOWS_DEPS to the folder scripts/build-windows-deps filled")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${MKLABEL_WINDOWS_DEPS}/zint ${MKLABEL_WINDOWS_DEPS}/gtest)

find_path(ZLIB_STATIC_INCLUDE_DIR zlib.h REQUIRED)
find_library(ZLIB_STATIC_LIBRARY NAMES libz.a REQUIRED)
add_library(mk_zlib INTERFACE)
target_include_directories(mk_zlib INTERFACE ${ZLIB_STATIC_INCLUDE_DIR})
target_link_libraries(mk_zlib INTERFACE ${ZLIB_STATIC_LIBRARY})

find_path(ZINT_INCLUDE_DIR zint.h REQUIRED)
find_library(ZINT_LIBRARY NAMES libzint-static.a REQUIRED)
add_library(mk_zint INTERFACE)
target_include_directories(mk_zint INTERFACE ${ZINT_INCLUDE_DIR})
target_link_libraries(mk_zint INTERFACE ${ZINT_LIBRARY})

set(MKLABEL_DEPENDENCIES mk_zlib mk_zint gdi32 ole32 oleaut32 uuid winspool ws2_32 iphlpapi setupapi)
