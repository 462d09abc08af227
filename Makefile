# Thin driver around CMake. `make run` and `make test` install what is missing first.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD := build
CMAKE_GEN := -G Ninja
# Our own builds treat warnings as errors; a plain `cmake` configure does not.
WERROR := -DZELTRA_WERROR=ON

.PHONY: all deps build run run-windows test test-linux fuzz bench dist dist-test clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) $(WERROR)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The program and its tools only; the tests are built by `make test`.
run: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target zeltra zeltra-cursor zeltra-trackersim zeltra-fit
	@scripts/run-zeltra

# The Windows window (64-bit) under Wine, against the tracker emulator.
run-windows: deps
	@scripts/run-windows

test: deps
	@scripts/run-tests

test-linux: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

fuzz: deps
	@FUZZ_SECONDS=$${FUZZ_SECONDS:-300} scripts/run-tests fuzz

bench: deps
	cmake -S . -B $(BUILD)/bench-release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DZELTRA_APP=OFF $(WERROR)
	cmake --build $(BUILD)/bench-release -j $(JOBS) --target zeltra-bench
	$(BUILD)/bench-release/bin/zeltra-bench

# The Windows installers and ZIPs and the Debian package, into build/dist.
dist: deps
	@scripts/dist

# Installs and checks them (also part of `make test`).
dist-test: dist
	@scripts/dist-test

clean:
	rm -rf $(BUILD)
