# Tessera: `make run` builds the module and shows it working through
# pkcs11-tool; `make test` builds and runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
MODULE := $(BUILD_DIR)/lib/libtessera.so
# The demo works on a throwaway key set, never on the user's own.
DEMO_HOME := $(abspath $(BUILD_DIR))/demo-home

.PHONY: all deps configure build run test bench asan clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@scripts/run-demo $(MODULE) $(DEMO_HOME)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: deps
	@cmake -S . -B $(BUILD_DIR)-bench -DCMAKE_BUILD_TYPE=Release -DTESSERA_TESTS=OFF -DTESSERA_BENCH=ON >/dev/null
	@cmake --build $(BUILD_DIR)-bench -j $(JOBS)
	@$(BUILD_DIR)-bench/bin/tessera_bench

asan:
	@$(MAKE) test BUILD_DIR=build-asan CMAKE_FLAGS=-DTESSERA_SANITIZE=ON

clean:
	rm -rf $(BUILD_DIR) build-asan build-bench
