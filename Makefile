# The set-up commands: `make run` builds the tool alone and runs it on the
# example dataset; `make test` builds everything and runs every test;
# `make install PREFIX=DIR` puts orthomix and the example generator in DIR/bin,
# the manual page in DIR/share/man/man1, and the Python module, when it is
# built, where DIR's python3 finds it.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local

.PHONY: all configure build run test install bench bench-wide clean

all: build

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orthomix
	cd examples && ../$(BUILD_DIR)/orthomix ParameterSetting.txt

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure --no-tests=error -j $(JOBS)

install: configure
	cmake -S . -B $(BUILD_DIR) -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orthomix_installed
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# Whole-run timings on generated datasets of transcriptome size (several
# minutes), then the Python module against the command line.
bench:
	bench/run_benchmark.sh
	bench/python_timing.sh

# The wide-data benchmark (2,000 samples per organism) on its own: about five
# minutes and 550 MB of generated text in build-bench/.
bench-wide:
	bench/run_benchmark.sh --wide

clean:
	rm -rf $(BUILD_DIR) examples/out
