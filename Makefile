# Set-up, build and test entry points. Both targets install what the project
# needs from Debian first, so they work on a fresh Debian 12 machine as root.

BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: run test test-all deps build bench clean

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/bin/lumora

# Every test, under a virtual X display and a private D-Bus session.
test: build
	./scripts/run-tests.sh $(BUILD_DIR)

# Also the slow tests (model retraining and similar).
test-all: build
	LUMORA_TEST_ALL=1 ./scripts/run-tests.sh $(BUILD_DIR)

bench: build
	./$(BUILD_DIR)/bin/lumora-bench

clean:
	rm -rf $(BUILD_DIR)
