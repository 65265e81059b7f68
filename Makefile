# The two set-up commands: `make run` builds the tool and runs it on the example
# dataset; `make test` builds it and runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build run test bench clean

all: build

build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	mkdir -p examples/out
	cd examples && ../$(BUILD_DIR)/orthomix ParameterSetting.txt

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure --no-tests=error -j $(JOBS)

# Whole-run timings on generated datasets of transcriptome size (several minutes).
bench:
	bench/run_benchmark.sh

clean:
	rm -rf $(BUILD_DIR) examples/out
