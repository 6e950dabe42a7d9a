# CORAL SIEVE: set-up, build and test entry points. Every target installs its Debian
# packages first (scripts/install-deps is idempotent), then configures and builds.

BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD?= build-bench
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -DCMAKE_BUILD_TYPE=Release

.PHONY: all deps run test sanitize bench build clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN)
	cmake --build $(BUILD) -j $(JOBS)

# Renders the built-in demonstration through a few settings and prints where the files are.
run: build
	@scripts/demo $(BUILD)

test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORAL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j $(JOBS) --output-on-failure

bench:
	@scripts/install-deps bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DCORAL_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	$(BENCH_BUILD)/bench/engine_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD)
