# Penlark: `make run` and `make test` are the whole set-up on a fresh Debian machine.
# Every target installs what is missing, configures and builds first.

BUILD       ?= build
ASAN_BUILD  ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD  ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS        ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run test test-plain test-sanitize bench fuzz clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/paint/penlark $(ARGS)

test: test-plain test-sanitize

test-plain: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same suites built with AddressSanitizer and UndefinedBehaviorSanitizer; any report
# aborts the test that raised it and so fails the run.
test-sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DPENLARK_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DPENLARK_TESTS=OFF -DPENLARK_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	./$(BENCH_BUILD)/bench/penlark_bench $(BENCH_ARGS)

# Every reader under libFuzzer, clang-built with AddressSanitizer and UBSan, each harness for
# FUZZ_SECONDS; any crash, leak, timeout or excess memory fails the target and names the
# harness and the input kept under $(FUZZ_BUILD)/artifacts/.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPENLARK_FUZZ=ON -DPENLARK_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) --target penlark_fuzzers -j $(JOBS)
	scripts/run-fuzz -b $(FUZZ_BUILD) -s $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
