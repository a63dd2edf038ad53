#!/usr/bin/env bash
# Builds examples/demo.c against the SDK folder with CMake's find_package in a
# cross build, as README-windows.txt says (the project's toolchain file
# re-roots package searches, so the package is named by mklabel_DIR, or the
# SDK folder is added to the toolchain's roots), and
# runs it under Wine with the SDK's DLL beside it: the demo's tour of the
# interface, without a printer.
# Usage: sdk-cmake-demo.sh SDK_DIR SOURCE_DIR WORK_DIR WINE
set -euo pipefail
sdk=$1
source_dir=$2
work=$3
wine=$4
rm -rf "$work"
mkdir -p "$work/run"
cmake -S "$source_dir/tests/exports/sdk_demo" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -Dmklabel_DIR="$sdk/lib/cmake/mklabel" -DDEMO_SOURCE="$source_dir/examples/demo.c" \
  -DDEMO_LABEL="Z:$source_dir/examples/sample.lsf" >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" >"$work/build.log" || { cat "$work/build.log"; exit 1; }
# The other route README-windows.txt names: the SDK folder among the
# toolchain's roots, where find_package looks by itself.
cat >"$work/toolchain.cmake" <<TOOLCHAIN
include("$source_dir/cmake/mingw-w64-x86_64.cmake")
list(APPEND CMAKE_FIND_ROOT_PATH "$sdk")
TOOLCHAIN
cmake -S "$source_dir/tests/exports/sdk_demo" -B "$work/rooted" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DDEMO_SOURCE="$source_dir/examples/demo.c" -DDEMO_LABEL="Z:$source_dir/examples/sample.lsf" \
  >"$work/rooted.log" || { cat "$work/rooted.log"; exit 1; }
cmake --build "$work/rooted" >>"$work/rooted.log" || { cat "$work/rooted.log"; exit 1; }
cp "$work/build/demo.exe" "$sdk/bin/mklabel.dll" "$work/run/"
cd "$work/run"
"$wine" demo.exe
