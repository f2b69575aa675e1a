# Drives CMake; `make test` installs what is missing first.
.PHONY: all build test bench deps clean

all: build

deps:
	scripts/install-deps.sh build bench

build:
	cmake --preset default
	cmake --build --preset default

test: deps build
	ctest --preset default

# Timings (medians of repetitions), then the instruction counts against the budget.
bench: deps build
	build/default/bin/xray_bench
	bench/instructions.sh

clean:
	rm -rf build
