#!/usr/bin/env bash
# The whole-world benchmark: bakes all 65536 landblocks of the full-size sample world and sets
# the bake's wall time against the floor this machine allows for the same work: hashing the
# three archives (the bake fingerprints them) plus writing the same output tree (cp -r).
#
#   scripts/bench-world.sh [BUILD_DIR]     (default build-bench, configured with the benchmarks)
#
# The world (about 1.85 GB) is generated once under BUILD_DIR/world and kept; the output
# directories are temporary and removed at exit.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-${BENCH_BUILD:-build-bench}}
tools="$build/apps/fennistock-tools"
world="$build/world"
rect=0x0000..0xFFFF

for bin in strewmill sample-world; do
  [ -x "$tools/$bin" ] || { echo "bench-world: $tools/$bin missing; build $build first" >&2; exit 1; }
done

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
elapsed() { calc "$2 - $1"; }

if [ ! -f "$world/client_local_English.dat" ]; then
  echo "== generating the full sample world under $world (once)"
  df -h "$build" | tail -n 1
  rm -rf "$world.partial"
  "$tools/sample-world" --out "$world.partial" --seed 1 --landblocks "$rect"
  rm -rf "$world"
  mv "$world.partial" "$world"
fi
du -sh "$world"

work=$(mktemp -d "$build/bench-world.XXXXXX")
trap 'echo "== removing $work"; rm -rf "$work"' EXIT

# Warm the page cache so neither side pays for the first read from disk; before each timed step,
# flush dirty pages so no step pays for the write-back of the one before.
cat "$world"/*.dat >/dev/null
sync

echo "== floor 1/2: openssl dgst -sha256 of the three archives"
t0=$(now)
openssl dgst -sha256 "$world"/client_portal.dat "$world"/client_cell_1.dat "$world"/client_local_English.dat >/dev/null
t1=$(now)
hash_s=$(elapsed "$t0" "$t1")

echo "== bake: strewmill --landblocks $rect"
sync
timing="$work/time.txt"
t0=$(now)
if [ -x /usr/bin/time ]; then
  /usr/bin/time -v -o "$timing" "$tools/strewmill" --dat-dir "$world" --landblocks "$rect" --out "$work/out" \
    2>"$work/bake.err"
  peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$timing")
  cpu=$(awk -F': ' '/User time/ {u=$2} /System time/ {s=$2} END {printf "%.2f s user + %.2f s sys", u, s}' "$timing")
else
  # Without GNU time: the kernel's high-water mark, read while the process lives.
  "$tools/strewmill" --dat-dir "$world" --landblocks "$rect" --out "$work/out" 2>"$work/bake.err" &
  pid=$!
  peak_kb=0
  cpu="cpu time not measured"
  while kill -0 "$pid" 2>/dev/null; do
    hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$hwm" ] && [ "$hwm" -gt "$peak_kb" ] && peak_kb=$hwm
    sleep 0.05
  done
  wait "$pid"
fi
t1=$(now)
bake_s=$(elapsed "$t0" "$t1")
grep -v ' WARN\|\[warn' "$work/bake.err" | tail -n 3 || true
echo "   ($(grep -c 'warn' "$work/bake.err" || true) warning lines: the landblocks left out of row 0xFF)"

echo "== floor 2/2: cp -r of the output tree"
sync
t0=$(now)
cp -r "$work/out" "$work/copy"
t1=$(now)
copy_s=$(elapsed "$t0" "$t1")
files=$(find "$work/out" -type f | wc -l)
bytes=$(du -sb "$work/out" | cut -f1)

floor_s=$(calc "$hash_s + $copy_s")
ratio=$(calc "$bake_s / $floor_s")
peak_mb=$(calc "$peak_kb / 1024")
echo
printf 'bake:   %8.2f s wall (%s), peak RSS %.1f MiB, %d files, %.1f MiB written\n' "$bake_s" "$cpu" \
  "$peak_mb" "$files" "$(calc "$bytes / 1048576")"
printf 'floor:  %8.2f s = sha256 %.2f s + cp -r %.2f s\n' "$floor_s" "$hash_s" "$copy_s"
printf 'ratio:  %8.2f x floor   (targets: <= 1.25 x floor, <= 256 MiB peak RSS)\n' "$ratio"
[ "$(awk '{print $1}' /proc/loadavg | cut -d. -f1)" -lt "$(nproc)" ] || echo "   note: load average $(cut -d' ' -f1 /proc/loadavg) at the end; other work was running"
ok=1
[ "$(calc "$ratio <= 1.25")" = 1.000000 ] || { echo "   above the time target"; ok=0; }
[ "$(calc "$peak_mb <= 256")" = 1.000000 ] || { echo "   above the memory target"; ok=0; }
[ $ok = 1 ] && echo "   both targets met"
exit 0
