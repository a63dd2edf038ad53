#!/usr/bin/env bash
# A DLL that needs nothing at run time beyond Windows' own libraries: every
# DLL it imports from must be one that every Windows installation has (the
# C runtime msvcrt.dll among them), so the mingw runtime, the C++ library,
# zlib and zint must have been linked in.
# Usage: check-dll-imports.sh DLL
set -euo pipefail
system='^(advapi32|gdi32|iphlpapi|kernel32|msvcrt|ole32|oleaut32|setupapi|user32|winspool\.drv|ws2_32)(\.dll)?$'
status=0
while read -r name; do
  if ! echo "$name" | tr 'A-Z' 'a-z' | grep -qE "$system"; then
    echo "imports from $name, which Windows does not provide"; status=1
  fi
done < <(x86_64-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/ {print $3}')
exit $status
