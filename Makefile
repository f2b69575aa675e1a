# Drives CMake presets; `make demo` and the test targets install what is missing first.
.PHONY: all build windows demo test test-linux test-windows bench clean check valgrind asan tsan fuzz

all: build

build:
	scripts/install-deps.sh build render bench
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

# The suite again under valgrind and under each sanitizer build.
check: test valgrind asan tsan

valgrind: build
	scripts/install-deps.sh check
	ctest --preset valgrind

asan tsan:
	scripts/install-deps.sh build
	cmake --preset $@
	cmake --build --preset $@
	ctest --preset $@

# Fuzzes for FUZZ_SECONDS from the committed seeds; new inputs stay in build/.
FUZZ_SECONDS ?= 60
fuzz:
	scripts/install-deps.sh fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz
	mkdir -p build/fuzz/corpus
	cd build/fuzz && bin/xray_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
		corpus ../../tests/fuzz/corpus

# Timings (medians of repetitions), then the instruction counts against the budget.
bench: build
	build/default/bin/xray_bench
	bench/instructions.sh

demo: build
	build/default/bin/xray-render --scene scenes/default.json --out xray.png
	@echo "$(CURDIR)/xray.png"

clean:
	rm -rf build
