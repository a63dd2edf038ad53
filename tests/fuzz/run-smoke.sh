#!/usr/bin/env bash
# Runs every fuzz target of a build over its seed corpus once (no new inputs),
# each input within a time and a memory limit.
# Usage: run-smoke.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
status=0
# fontconfig keeps a little memory for the life of the process.
export LSAN_OPTIONS="suppressions=$here/../lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
for target in "$build"/tests/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$here/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name"
  # A seed that takes seconds or a gigabyte is a fault, as it is for a host.
  if ! "$target" -runs=0 -timeout=5 -rss_limit_mb=1024 -artifact_prefix="$build/$name-" "$corpus" \
      >/dev/null 2>"$build/$name.log"; then
    echo "$name failed:"; tail -n 40 "$build/$name.log"; status=1
  fi
done
exit $status
