#!/usr/bin/env bash
# Runs the demo end to end with no hardware: starts the virtual network
# printer on a loopback address, has the demo print the sample label on it,
# stops the printer and says where the images are. Usage: run-demo.sh BUILD-DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")" && pwd)
out=$build/demo
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# The printer ends by itself after its lifetime, whatever happens here.
"$build/examples/mklabel_virtual_printer" "$out/printed" --ready "$out/printer-address" --lifetime 60 \
  > "$out/virtual-printer.log" 2>&1 &
printer=$!
stop_printer() {
  if kill -0 "$printer" 2>/dev/null; then
    kill -TERM "$printer" 2>/dev/null || true
    wait "$printer" 2>/dev/null || true
  fi
}
trap stop_printer EXIT

for _ in $(seq 50); do
  [ -s "$out/printer-address" ] && break
  kill -0 "$printer" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$out/printer-address" ]; then
  echo "the virtual printer did not start:" >&2
  cat "$out/virtual-printer.log" >&2
  exit 1
fi
address=$(cat "$out/printer-address")

# The demo asks for the printer's status after printing; the printer answers
# one connection at a time, so by then it holds the whole job.
"$build/examples/mklabel_demo" "$source_dir/sample.lsf" "$address" "$out/printed"

stop_printer
trap - EXIT
echo
echo "virtual printer log:"
sed 's/^/  /' "$out/virtual-printer.log"
if [ ! -s "$out/printed/label-1.bmp" ]; then
  echo "the virtual printer saved no label" >&2
  exit 1
fi
echo
echo "previews and the printed label are in $out:"
ls -1 "$out"/*.bmp "$out"/printed/*.bmp | sed 's/^/  /'
