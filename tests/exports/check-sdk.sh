#!/usr/bin/env bash
# The folder a Windows developer receives (`make windows` installs it): the
# stripped DLL with its symbols beside it, the import library and the
# module-definition file naming the DLL, the header and the README's part on
# Windows. The DLL exports the header's calls, imports only from Windows' own
# DLLs, and links no runtime piece that keeps per-thread records it cannot
# give back when unloaded (static guards, winpthreads).
# Usage: check-sdk.sh SDK_DIR HEADER COUNT
set -euo pipefail
sdk=$1
header=$2
count=$3
here=$(dirname "$0")
status=0
fail() { echo "$sdk: $*"; status=1; }

for file in bin/mklabel.dll bin/mklabel.dll.debug lib/libmklabel.dll.a lib/mklabel.lib lib/mklabel.def \
            lib/pkgconfig/mklabel.pc include/mklabel.h README-windows.txt; do
  [ -s "$sdk/$file" ] || fail "$file is missing"
done
[ $status -eq 0 ] || exit $status

cmp -s "$sdk/include/mklabel.h" "$header" || fail "include/mklabel.h is not the library's header"
grep -q '^## The Windows DLL' "$sdk/README-windows.txt" || fail "README-windows.txt is not the README's part on Windows"
# It is a text of its own, and carries the rules a host lives by: the
# picture, text, surface and load bounds, and one thread per handle.
if grep -qi 'this section' "$sdk/README-windows.txt"; then fail "README-windows.txt calls itself a section"; fi
for fact in '100 megapixels' 'at most 4 MiB' 'largest label surface' 'Loading a label file takes at most' \
            'one thread at a time' "the system's decoding"; do
  grep -qi "$fact" "$sdk/README-windows.txt" || fail "README-windows.txt does not say \"$fact\""
done
# It stands on its own: nothing in it leads into the source tree.
if grep -nE '(^|[ `(])(scripts|tests|src|examples|cmake)/|make windows' "$sdk/README-windows.txt"; then
  fail "README-windows.txt points into the source tree"
fi
"$here/check-exports.sh" "$sdk/bin/mklabel.dll" "$header" "$count" || status=1
"$here/check-dll-imports.sh" "$sdk/bin/mklabel.dll" || status=1

def=$sdk/lib/mklabel.def
[ "$(head -n 1 "$def" | tr -d '\r')" = "LIBRARY mklabel.dll" ] || fail "mklabel.def does not start with LIBRARY mklabel.dll"
defined=$(awk '/^EXPORTS/ {on = 1; next} on && NF {print $1}' "$def" | sort -u)
declared=$(grep -oE '^MK_API [^(]*\b(Mk[A-Za-z_]+)\(' "$header" | grep -oE 'Mk[A-Za-z_]+\($' | tr -d '(' | sort -u)
[ "$defined" = "$declared" ] || fail "mklabel.def does not list exactly the header's calls"
x86_64-w64-mingw32-dlltool -I "$sdk/lib/libmklabel.dll.a" 2>/dev/null | grep -qx 'mklabel.dll' ||
  fail "libmklabel.dll.a does not import from mklabel.dll"
# MSVC's import library: an archive of short import members naming the DLL.
imports=$(llvm-nm "$sdk/lib/mklabel.lib" 2>/dev/null | grep -c ' T __imp_Mk' || true)
[ "$imports" = "$count" ] || fail "mklabel.lib imports $imports Mk calls, not $count"

# The header states the oldest Windows it runs on (7, 6.1), and the version
# resource carries the project's version.
headers=$(x86_64-w64-mingw32-objdump -p "$sdk/bin/mklabel.dll")
for field in OSystem Subsystem; do
  [ "$(awk -v f="Major${field}Version" '$1 == f {print $2}' <<<"$headers").$(awk -v f="Minor${field}Version" '$1 == f {print $2}' <<<"$headers")" = 6.1 ] ||
    fail "the DLL's header does not state Windows 7 (6.1) as its ${field} version"
done
version=$(awk '$1 == "Version:" {print $2}' "$sdk/lib/pkgconfig/mklabel.pc")
strings -e l "$sdk/bin/mklabel.dll" | grep -qx "$version" || fail "the DLL has no version resource of version $version"

symbols=$(x86_64-w64-mingw32-nm "$sdk/bin/mklabel.dll" 2>/dev/null || true)
[ -z "$symbols" ] || fail "bin/mklabel.dll is not stripped"
linked=$(x86_64-w64-mingw32-nm "$sdk/bin/mklabel.dll.debug")
if grep -qE ' (__cxa_guard_acquire|pthread_[a-z_]+|_pthread_[a-z_]+)$' <<<"$linked"; then
  fail "the DLL links static guards or winpthreads, which keep thread records past unloading:"
  grep -E ' (__cxa_guard_acquire|pthread_[a-z_]+|_pthread_[a-z_]+)$' <<<"$linked" | head -5
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
x86_64-w64-mingw32-objcopy --dump-section .gnu_debuglink="$scratch/link" "$sdk/bin/mklabel.dll" "$scratch/copy" 2>/dev/null ||
  true
[ "$(head -c 18 "$scratch/link" 2>/dev/null | tr -d '\0')" = mklabel.dll.debug ] ||
  fail "bin/mklabel.dll has no debug link to mklabel.dll.debug"

# The CMake package: mingw links through libmklabel.dll.a, toolchains whose
# import libraries are .lib files through mklabel.lib; the include folder is
# named once.
mkdir -p "$scratch/package"
cat >"$scratch/package/CMakeLists.txt" <<'PROBE'
cmake_minimum_required(VERSION 3.25)
project(package_probe NONE)
set(CMAKE_IMPORT_LIBRARY_SUFFIX ${SUFFIX})
find_package(mklabel REQUIRED)
get_target_property(implib mklabel::mklabel IMPORTED_IMPLIB_RELEASE)
get_target_property(includes mklabel::mklabel INTERFACE_INCLUDE_DIRECTORIES)
message(STATUS "implib=${implib}")
message(STATUS "includes=${includes}")
PROBE
for pair in .dll.a:libmklabel.dll.a .lib:mklabel.lib; do
  suffix=${pair%%:*}
  library=${pair#*:}
  if ! probe=$(cmake -S "$scratch/package" -B "$scratch/package/build$suffix" -DSUFFIX="$suffix" \
                 -Dmklabel_DIR="$(realpath "$sdk")/lib/cmake/mklabel" 2>&1); then
    fail "the CMake package does not load:"
    echo "$probe"
    continue
  fi
  grep -q "implib=.*/lib/$library\$" <<<"$probe" || fail "the CMake package does not link $suffix toolchains through $library"
  grep -q 'includes=[^;]*$' <<<"$probe" || fail "the CMake package names the include folder more than once"
done

[ $status -ne 0 ] || echo "$sdk: complete"
exit $status
