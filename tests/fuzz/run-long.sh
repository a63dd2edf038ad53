#!/usr/bin/env bash
# Lets the fuzzers of the files a host does not write look for new inputs for
# a set time each, all at once: the label printer and loader targets and the
# picture decoders. Every input slower than a second or larger than 512 MiB
# is left in the build folder as a crash, timeout or oom file, and the
# fuzzer goes on: each one is a fault, and once mended, a seed of the corpus.
# New inputs go to a scratch corpus in the build folder, never to the seeds.
# Usage: run-long.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
build=$1
seconds=${2:-1800}
here=$(cd "$(dirname "$0")" && pwd)
export LSAN_OPTIONS="suppressions=$here/../lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# AddressSanitizer holds freed blocks back for a while (256 MiB of them by
# default); held to 32 MiB, the memory limit measures what the library holds.
export ASAN_OPTIONS="quarantine_size_mb=32${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
pids=()
for name in label_print_fuzz lsf_load_fuzz image_fuzz; do
  work="$build/long/$name"
  mkdir -p "$work/corpus"
  dict=()
  case $name in label_print_fuzz|lsf_load_fuzz) dict=(-dict="$here/label_xml.dict") ;; esac
  echo "== $name for $seconds s: log in $work/log"
  "$build/tests/fuzz/$name" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=512 \
      -malloc_limit_mb=512 -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
      -artifact_prefix="$work/" "${dict[@]}" \
      "$work/corpus" "$here/corpus/$name" >"$work/log" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
for name in label_print_fuzz lsf_load_fuzz image_fuzz; do
  found=$(find "$build/long/$name" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'slow-unit-*' -o -name 'leak-*' \) | sort)
  tail -n 3 "$build/long/$name/log" | sed "s/^/$name: /"
  [ -z "$found" ] || { echo "$name found:"; echo "$found"; status=1; }
done
exit $status
