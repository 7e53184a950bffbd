# A thin wrapper over CMake. `make demo` and `make test` set up a fresh machine by themselves.
BUILD ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
JOBS ?= $(shell nproc)

.PHONY: all deps build test test-plain test-asan demo bench fuzz clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# The whole suite twice: plain, then under AddressSanitizer and UndefinedBehaviorSanitizer.
test: deps
	@FUZZ_SECONDS=$${FUZZ_SECONDS:-3} FUZZ_JOBS=$(JOBS) scripts/fuzz.sh
	@$(MAKE) --no-print-directory test-plain
	@$(MAKE) --no-print-directory test-asan

test-plain:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan:
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFENNISTOCK_SANITIZE=ON $(CMAKE_ARGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# A small sample world (generated once under $(BUILD)/demo), baked with progress logs.
demo: deps
	@BUILD=$(BUILD) JOBS=$(JOBS) scripts/demo.sh

# The micro-benchmarks, then the whole-world bake against this machine's floor (scripts/bench-world.sh).
bench: deps
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DFENNISTOCK_BENCHMARKS=ON -DFENNISTOCK_TESTS=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in fennistock_dat_bench fennistock_strewmill_bench; do \
	  exe=$$(find $(BENCH_BUILD) -name $$b -type f -perm -u+x | head -n 1); \
	  if [ -n "$$exe" ]; then echo "== $$b"; $$exe || exit 1; fi; \
	done
	@scripts/bench-world.sh $(BENCH_BUILD)

# Every libFuzzer target for FUZZ_SECONDS (default 60) each, in a clang build of its own (scripts/fuzz.sh).
fuzz: deps
	@FUZZ_SECONDS=$${FUZZ_SECONDS:-60} FUZZ_JOBS=$(JOBS) scripts/fuzz.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) build-fuzz
