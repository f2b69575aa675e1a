# Drives CMake presets; the test targets install what is missing first.
.PHONY: all build windows test test-linux test-windows bench clean

all: build

build:
	scripts/install-deps.sh build bench
	cmake --preset default
	cmake --build --preset default

windows:
	scripts/install-deps.sh windows
	cmake --preset windows
	cmake --build --preset windows

test: test-linux test-windows

test-linux: build
	ctest --preset default

test-windows: windows
	scripts/test-windows.sh

# Timings (medians of repetitions), then the instruction counts against the budget.
bench: build
	build/default/bin/xray_bench
	bench/instructions.sh

clean:
	rm -rf build
