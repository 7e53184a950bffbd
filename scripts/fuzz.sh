#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, a build directory of their own) and runs each one for a
# bounded time, one after another. Fails when a target finds a crash, a leak, a hang or an
# allocation beyond the limit; the input is then left in $FUZZ_BUILD/findings/<target>/.
#
#   scripts/fuzz.sh                    every target for FUZZ_SECONDS (default 60) seconds
#   FUZZ_SECONDS=3 scripts/fuzz.sh     the short pass of `make test`
#   FUZZ_TARGETS="records chains" ...  only these targets
#
# Each target's corpus grows in $FUZZ_BUILD/corpus/<target>; it starts from the seeds that
# fuzz_corpus_gen writes with the test-support writers and from fuzz/regressions/<target>/.
# Save every fixed finding's input under fuzz/regressions/<target>/: the normal test suite
# replays those files.
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_BUILD=${FUZZ_BUILD:-build-fuzz}
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
FUZZ_JOBS=${FUZZ_JOBS:-2}
CXX_FUZZ=${CXX_FUZZ:-clang++-14}
all_targets=(archive_open chains decompress records landblocks)
read -r -a targets <<<"${FUZZ_TARGETS:-${all_targets[*]}}"

cmake -S . -B "$FUZZ_BUILD" -DCMAKE_CXX_COMPILER="$CXX_FUZZ" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFENNISTOCK_FUZZ=ON -DFENNISTOCK_TESTS=OFF >/dev/null
cmake --build "$FUZZ_BUILD" -j "$FUZZ_JOBS" --target fuzz_all >/dev/null

seeds="$FUZZ_BUILD/seeds"
rm -rf "$seeds"
"$FUZZ_BUILD/fuzz/fuzz_corpus_gen" "$seeds" >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
for t in "${targets[@]}"; do
  exe="$FUZZ_BUILD/fuzz/${t}_fuzz"
  corpus="$FUZZ_BUILD/corpus/$t"
  findings="$FUZZ_BUILD/findings/$t"
  mkdir -p "$corpus" "$findings" "fuzz/regressions/$t"
  log="$FUZZ_BUILD/fuzz-$t.log"
  # -timeout: a single input that runs this long is a hang; -malloc_limit_mb: one allocation
  # this large is a finding (no input of max_len bytes may ask for it).
  if "$exe" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 \
      -max_len=16384 -print_final_stats=1 -artifact_prefix="$findings/" \
      "$corpus" "$seeds/$t" "fuzz/regressions/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "fuzz $t: ok, ${runs:-?} runs in ${FUZZ_SECONDS}s"
  else
    echo "fuzz $t: FAILED (log $log, input in $findings/)" >&2
    grep -E 'ERROR|SUMMARY|invariant|Test unit written' "$log" | head -n 10 >&2 || true
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: ${#failed[@]} target(s) failed: ${failed[*]}" >&2
  exit 1
fi
