# Two commands do all the set-up: `make run` and `make test`.
JOBS ?= $(shell nproc)
BUILD := build/release
SAN := build/sanitize
EXAMPLE ?= examples/valley/valley.prj

.PHONY: run test sanitize build bench clean

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -f $(EXAMPLE) ]; then cd $(dir $(EXAMPLE)) && $(CURDIR)/$(BUILD)/valto $(notdir $(EXAMPLE)); \
	else $(BUILD)/valto -v x; fi

test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

sanitize:
	cmake -S . -B $(SAN) -DCMAKE_BUILD_TYPE=Debug -DVALTO_SANITIZE=ON >/dev/null
	cmake --build $(SAN) -j $(JOBS)
	cd $(SAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -j $(JOBS) --output-on-failure

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target $$(cd bench && ls *.cpp 2>/dev/null | sed 's/\.cpp$$//;s/^/bench_/')
	@for b in $(BUILD)/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf build
