# Cross-compiles for 64-bit Windows with Debian's mingw-w64.
#
# MKLABEL_MINGW_THREADS picks the compiler's threads model. The DLL is built
# with "win32": its runtime keeps no per-thread records of its own, so a host
# can unload the DLL and load it again without losing handles or memory (the
# "posix" model links winpthreads, whose record of each thread that took a
# lock is never given back on unloading). The library takes its locks through
# src/platform/mutex.h and keeps its per-thread state itself. The tests, which
# start threads through the standard library, build with "posix".
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

if(NOT DEFINED MKLABEL_MINGW_THREADS)
  set(MKLABEL_MINGW_THREADS win32)
endif()
set(MKLABEL_MINGW_THREADS ${MKLABEL_MINGW_THREADS} CACHE STRING "The mingw-w64 compiler's threads model: win32 or posix")
# Kept across the toolchain file's reruns in try_compile projects.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MKLABEL_MINGW_THREADS)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-${MKLABEL_MINGW_THREADS})
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-${MKLABEL_MINGW_THREADS})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
