# Drives CMake; `make test` installs what is missing first.
.PHONY: all build test deps clean check valgrind asan tsan fuzz

all: build

deps:
	scripts/install-deps.sh build

build:
	cmake --preset default
	cmake --build --preset default

test: deps build
	ctest --preset default

# The suite again under valgrind and under each sanitizer build.
check: test valgrind asan tsan

valgrind: deps build
	scripts/install-deps.sh check
	ctest --preset valgrind

asan tsan: deps
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

clean:
	rm -rf build
