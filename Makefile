# Two commands do all the set-up: `make run` and `make test`.
JOBS ?= $(shell nproc)
BUILD := build/release
SAN := build/sanitize
FUZZ := build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_JOBS ?= $(JOBS)
EXAMPLE ?= examples/valley/valley.prj

.PHONY: run test sanitize fuzz fuzz-build configure build program bench bench-runs clean

configure:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

# A first run needs the program and the libraries it links, not the tests
# and benchmarks: those come with `make build` (and so `make test`).
program: configure
	cmake --build $(BUILD) -j $(JOBS) --target valto

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: program
	@if [ -f $(EXAMPLE) ]; then cd $(dir $(EXAMPLE)) && $(CURDIR)/$(BUILD)/valto $(notdir $(EXAMPLE)); \
	else $(BUILD)/valto -v x; fi

test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

sanitize:
	cmake -S . -B $(SAN) -DCMAKE_BUILD_TYPE=Debug -DVALTO_SANITIZE=ON >/dev/null
	cmake --build $(SAN) -j $(JOBS)
	cd $(SAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -j $(JOBS) --output-on-failure

# The reader fuzzing harnesses: a clang build with libFuzzer and the address
# and undefined-behaviour sanitizers, each harness run FUZZ_SECONDS.
fuzz-build:
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=Release -DVALTO_FUZZ=ON >/dev/null
	cmake --build $(FUZZ) -j $(JOBS)

fuzz: fuzz-build
	fuzz/run_fuzzers.sh $(FUZZ) $(FUZZ_SECONDS) $(FUZZ_JOBS)

# The triad runs first: every other benchmark holds its loops against the
# bandwidth it measured. Each benchmark chooses how its idle OpenMP workers
# wait as the program's own runs do, from how busy the machine is.
bench: build
	@rm -f $(BUILD)/bench.out
	@echo "== $(BUILD)/bench_triad_bench"; $(BUILD)/bench_triad_bench | tee -a $(BUILD)/bench.out | grep -v '^table	'
	@export VALTO_TRIAD_GB_S_1=$$(awk -F'\t' '$$2 == "triad bandwidth, 1 thread" { print $$3 }' $(BUILD)/bench.out); \
	export VALTO_TRIAD_GB_S_8=$$(awk -F'\t' '$$2 == "triad bandwidth, 8 threads" { print $$3 }' $(BUILD)/bench.out); \
	for b in $(BUILD)/bench_*; do [ "$$b" = $(BUILD)/bench_triad_bench ] && continue; \
	  echo "== $$b"; $$b | tee -a $(BUILD)/bench.out | grep -v '^table	'; done
	@echo; echo "== every benchmark's figures"
	@printf "%-56s %12s  %-26s %s\n" "measure" "figure" "unit" "held against"
	@grep '^table	' $(BUILD)/bench.out | awk -F'\t' '{ printf "%-56s %12s  %-26s %s\n", $$2, $$3, $$4, $$5 }'

# The whole-run scripts of bench/, short by default: the refined basin's
# hang runs (BENCH_RUNS a thread count, each under BENCH_TIMEOUT seconds),
# every example's files at 1 to 8 threads, and the runs on a busy machine
# (BENCH_TRIALS a setting). Each prints the load average beside its figures.
# The target fails on a hang, a failed run or a difference; a contention
# ratio above its aim is printed, for one trial on a shared machine says
# little about speed.
BENCH_RUNS ?= 10
BENCH_TIMEOUT ?= 120
BENCH_TRIALS ?= 1
bench-runs: build
	@status=0; \
	echo "== bench/refined_basin_runs.sh $(BENCH_RUNS) $(BENCH_TIMEOUT)"; \
	bench/refined_basin_runs.sh $(BENCH_RUNS) $(BENCH_TIMEOUT) $(BUILD)/valto || status=1; \
	echo "== bench/thread_identity.sh"; bench/thread_identity.sh $(BUILD)/valto || status=1; \
	echo "== bench/contention_runs.py --trials $(BENCH_TRIALS)"; \
	/usr/bin/env python3 bench/contention_runs.py --trials $(BENCH_TRIALS) --valto $(BUILD)/valto || \
	  echo "contention: a ratio above its aim or a failed run (see above)"; \
	exit $$status

clean:
	rm -rf build
