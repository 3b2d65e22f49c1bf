# The two commands of the README: `make run` and `make check`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
ARGS       ?=
CTEST_ENV  := ASAN_OPTIONS=detect_stack_use_after_return=0:detect_leaks=0

.PHONY: run check build deps check-asan check-torture fuzz bench clean

deps:
	@tools/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/kaz $(ARGS)

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) check-asan
	$(MAKE) check-torture
	$(MAKE) fuzz

# Every test again under AddressSanitizer and UndefinedBehaviorSanitizer.
check-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKAZ_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(CTEST_ENV) ctest --output-on-failure -j $(JOBS)

# Script tests with the collector running every few allocations and moving every buffer.
check-torture: build
	cd $(BUILD) && KAZ_GC_TORTURE=50 KAZ_GC_MOVE_ALL=1 ctest --output-on-failure -j $(JOBS) -R '^script/'

# The libFuzzer targets of tests/fuzz, built with clang and run for a bounded time in all.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 30
fuzz: deps
	FUZZ_BUILD=$(FUZZ_BUILD) FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) tests/fuzz/run.sh

bench: build
	python3 bench/run.py --kaz $(BUILD)/kaz

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
