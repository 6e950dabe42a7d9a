# CORAL SIEVE: set-up, build and test entry points. Every target installs its Debian
# packages first (scripts/install-deps is idempotent), then configures and builds.

# The builds below run make again through CMake; keep them from announcing every directory.
MAKEFLAGS += --no-print-directory

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

.PHONY: all deps configure run demo test sanitize tsan fuzz bench build install install-user clean

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The demonstration: builds only the renderer and the demonstration signal, renders the
# signal through a few settings and prints where the files are.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target coral-render coral-demo-signal
	@scripts/demo $(BUILD)

# Starts the application; without a display, renders the demonstration and a screenshot of
# the editor instead and prints where they are.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target coral-sieve coral-render coral-demo-signal
	@scripts/run $(BUILD)

# The application (bin/coral-sieve, its menu entry and icons) and the LV2 bundle into $(PREFIX)
# (DESTDIR is honoured), or the LV2 bundle alone into the user's ~/.lv2.
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
	tests/support/with-xvfb $(BENCH_BUILD)/bench/graph_bench
	tests/support/with-xvfb $(BENCH_BUILD)/bench/editor_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
