# CORAL SIEVE: set-up, build and test entry points. Every target installs its Debian
# packages first (scripts/install-deps is idempotent), then configures and builds.

BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD?= build-bench
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZERS    := fuzz_state_chunk fuzz_value_text fuzz_settings_ini
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local
CMAKE_GEN  := -DCMAKE_BUILD_TYPE=Release

.PHONY: all deps run test sanitize tsan fuzz bench build install install-user clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN)
	cmake --build $(BUILD) -j $(JOBS)

# Renders the built-in demonstration through a few settings and prints where the files are.
run: build
	@scripts/demo $(BUILD)

# The LV2 bundle into $(PREFIX)/lib/lv2 (DESTDIR is honoured), or into the user's ~/.lv2.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

install-user: build
	cmake --install $(BUILD) --component lv2-user --prefix $(HOME)/.lv2

test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORAL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j $(JOBS) --output-on-failure

# The concurrent-editing stress test under ThreadSanitizer.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORAL_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target reliability_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest -R EditingWhileAudioRuns --output-on-failure

# Every libFuzzer target for FUZZ_SECONDS each, from the seed corpora in tests/fuzz/corpus.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORAL_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZERS)
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench:
	@scripts/install-deps bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DCORAL_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	$(BENCH_BUILD)/bench/engine_bench
	$(BENCH_BUILD)/bench/peers_bench
	tests/support/with-xvfb $(BENCH_BUILD)/bench/ui_bench
	tests/support/with-xvfb $(BENCH_BUILD)/bench/editor_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
