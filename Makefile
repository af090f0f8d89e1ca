# Developer entry points. Everything goes through the CMake presets in CMakePresets.json.
#
# Variables (override on the command line, e.g. `make run RUN_ARGS=...`):
#   RUN_CMD      program started by `make run` (relative to the repository root)
#   RUN_ARGS     its arguments
#   BENCH_ARGS   arguments for depman_bench, e.g. --benchmark_filter=Chain
#   CTEST_ARGS   extra ctest arguments, e.g. "-R Dictionary"
#   CLANG_FORMAT clang-format binary
#   FUZZ_SECONDS how long `make fuzz` fuzzes

CMAKE        ?= cmake
CTEST        ?= ctest
CLANG_FORMAT ?= clang-format
JOBS         ?= 2

RUN_CMD    ?= ./build/dev/examples/depman-calc
RUN_ARGS   ?= examples/loan.calc
FUZZ_SECONDS ?= 60
BENCH_ARGS ?=
CTEST_ARGS ?=

FORMAT_DIRS := $(wildcard include src tests bench examples fuzz)

.PHONY: all test run asan valgrind fuzz bench format format-check clean

all: test

test:
	$(CMAKE) --preset dev
	$(CMAKE) --build --preset dev -j$(JOBS)
	$(CTEST) --preset dev $(CTEST_ARGS)

run:
	$(CMAKE) --preset dev
	$(CMAKE) --build --preset dev -j$(JOBS)
	$(RUN_CMD) $(RUN_ARGS)

asan:
	$(CMAKE) --preset asan
	$(CMAKE) --build --preset asan -j$(JOBS)
	$(CTEST) --preset asan $(CTEST_ARGS)

# The unit tests under valgrind's memcheck (the dev build); fewer randomized
# operations per seed and a shorter deep document, since valgrind runs them
# some fifty times slower.
# glibc's AVX2 wmemcmp reads short strings with a masked 32-byte load, which
# valgrind 3.19 reports as an invalid read past the string; the tunable makes
# glibc pick its plain routines instead.
valgrind:
	$(CMAKE) --preset dev
	$(CMAKE) --build --preset dev -j$(JOBS) --target depman_tests
	GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2 DEPMAN_RANDOM_OPS=300 DEPMAN_DEEP_LENGTH=3000 valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
	  ./build/dev/tests/depman_tests

fuzz:
	bash fuzz/run.sh $(FUZZ_SECONDS)

bench:
ifeq ($(wildcard bench/*.cpp),)
	@echo "bench: no bench/*.cpp yet, nothing to run"
else
	$(CMAKE) --preset release
	$(CMAKE) --build --preset release -j$(JOBS) --target depman_bench
	./build/release/bench/depman_bench $(BENCH_ARGS)
endif

format:
	find $(FORMAT_DIRS) -type f \( -name '*.hpp' -o -name '*.cpp' \) -print0 \
	  | xargs -0 -r $(CLANG_FORMAT) -i

format-check:
	find $(FORMAT_DIRS) -type f \( -name '*.hpp' -o -name '*.cpp' \) -print0 \
	  | xargs -0 -r $(CLANG_FORMAT) --dry-run --Werror

clean:
	rm -rf build
