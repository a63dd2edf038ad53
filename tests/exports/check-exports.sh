#!/usr/bin/env bash
# Compares the dynamic symbols a shared library (or a Windows DLL's export
# table) defines with the functions its header declares, and, when given,
# how many there must be.
# Usage: check-exports.sh LIBRARY HEADER [COUNT]
set -euo pipefail
library=$1
header=$2
expected_count=${3:-}

case "$library" in
  *.dll)
    exported=$(x86_64-w64-mingw32-objdump -p "$library" |
      sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^\t\[/ {print $NF}' | sort -u) ;;
  *)
    exported=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TWVi]$/ || $2 ~ /^[BDR]$/ {print $3}' | sed 's/@.*//' | sort -u) ;;
esac
declared=$(grep -oE '^MK_API [^(]*\b(Mk[A-Za-z_]+)\(' "$header" | grep -oE 'Mk[A-Za-z_]+\($' | tr -d '(' | sort -u)

status=0
extra=$(comm -23 <(echo "$exported") <(echo "$declared"))
if [ -n "$extra" ]; then
  echo "exported but not declared in the header:"; echo "$extra"; status=1
fi
missing=$(comm -13 <(echo "$exported") <(echo "$declared"))
if [ -n "$missing" ]; then
  echo "declared in the header but not exported:"; echo "$missing"; status=1
fi
declared_count=$(echo "$declared" | wc -l)
echo "$(echo "$exported" | wc -l) exported, $declared_count declared"
if [ -n "$expected_count" ] && [ "$declared_count" -ne "$expected_count" ]; then
  echo "the interface has $expected_count calls, the header declares $declared_count"; status=1
fi
exit $status
