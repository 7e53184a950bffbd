#!/usr/bin/env bash
# make demo: builds strewmill and the sample-world generator, writes a small sample world once
# (kept for later runs), bakes it in ace-compat mode with progress logs, and shows the output.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build}
jobs=${JOBS:-$(nproc)}
rect=0xA8B0..0xABB7  # 4 x 8 landblocks
world="$build/demo/world"
out="$build/demo/out"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$jobs" --target strewmill sample-world

tools="$build/apps/fennistock-tools"
if [ ! -f "$world/client_local_English.dat" ]; then
  # Written aside and moved in place, so an interrupted run never leaves a half world behind.
  rm -rf "$world.partial"
  "$tools/sample-world" --out "$world.partial" --seed 1 --landblocks "$rect" \
    --portal-mb 8 --cell-mb 4 --local-mb 1
  rm -rf "$world"
  mv "$world.partial" "$world"
else
  echo "sample world: reusing $world"
fi

rm -rf "$out"
"$tools/strewmill" --dat-dir "$world" --landblocks "$rect" --out "$out" --mode ace-compat --verbose

first=$(ls "$out"/*.scenery.jsonl | head -n 1)
echo
echo "output: $out ($(ls "$out"/*.scenery.jsonl | wc -l) landblock files, $(cat "$out"/*.scenery.jsonl | wc -l) placements)"
echo "--- $first (first 3 of $(wc -l <"$first") lines)"
head -n 3 "$first"
echo "--- $out/bake-source.sha256"
cat "$out/bake-source.sha256"
