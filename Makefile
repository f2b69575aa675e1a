# Drives CMake presets; `make demo` and the test targets install what is missing first.
.PHONY: all build windows arm64 demo test test-linux test-windows test-arm64 bench clean check \
	valgrind asan tsan fuzz install package farm golden

all: build

build:
	scripts/install-deps.sh build render bench
	cmake --preset default
	cmake --build --preset default

windows:
	scripts/install-deps.sh windows
	cmake --preset windows
	cmake --build --preset windows

# The library and its tests for 64-bit Arm Linux (a test builds the example
# host against the installed package); no renderer.
arm64:
	scripts/install-deps.sh arm64
	cmake --preset linux-arm64
	cmake --build --preset linux-arm64

test: test-linux test-windows test-arm64

test-linux: build
	scripts/install-deps.sh browser
	ctest --preset default

test-windows: windows
	scripts/test-windows.sh

# Under qemu's user-mode emulator.
test-arm64: arm64
	ctest --preset linux-arm64

# The suite again under valgrind and under each sanitizer build, and the farm;
# module changes are stressed longer than in make test.
check: export QORV_MODULE_CHANGE_SECONDS = 10
check: test valgrind asan tsan farm

valgrind: build
	scripts/install-deps.sh check
	ctest --preset valgrind

# The asan build has the renderer and its browser test too; tsan leaves the renderer out.
asan: SANITIZER_DEPS = build render browser
tsan: SANITIZER_DEPS = build
asan tsan:
	scripts/install-deps.sh $(SANITIZER_DEPS)
	cmake --preset $@
	cmake --build --preset $@
	ctest --preset $@

# The turntable job array on a one-node Slurm cluster started here (as root).
farm: build
	scripts/install-deps.sh farm
	scripts/test-farm.sh build/default/bin/xray-render

# Renders the shipped scenes into their golden images, tests/golden/, after a change of look.
golden: build
	scripts/golden-images.sh build/default/bin/xray-render build/golden --update

# Fuzzes for FUZZ_SECONDS from the committed seeds; new inputs stay in build/.
FUZZ_SECONDS ?= 60
fuzz:
	scripts/install-deps.sh fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz
	mkdir -p build/fuzz/corpus
	cd build/fuzz && bin/xray_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
		corpus ../../tests/fuzz/corpus

# Timings (medians of repetitions): the shader, then the renderer against its ray
# kernel, then instances against copies, big models' time to the first pixel and
# memory (beside BASELINE_XRAY_RENDER's when set), adaptive sampling against
# uniform at equal error; then the shader's instruction counts against the budget.
bench: build
	build/default/bin/xray_bench
	build/default/bin/xray_render_bench
	build/default/bin/xray_instancing_bench
	bench/first_pixel.sh
	build/default/bin/xray_adaptive_bench
	bench/instructions.sh

# Installs the Linux build under PREFIX (bin/, include/, lib/, share/), which
# may hold spaces or be relative to this folder.
PREFIX ?= /usr/local
install: build
	cmake --install build/default --prefix "$(PREFIX)"

# The Debian packages (amd64, arm64) and the Windows zip, in build/packages/;
# lintian must find no error.
package: build windows arm64
	scripts/install-deps.sh package
	cd build/default && cpack -B ../packages
	cd build/linux-arm64 && cpack -B ../packages
	cd build/windows && cpack -B ../packages
	lintian --fail-on error --display-level '>=warning' build/packages/*.deb
	@ls build/packages/*.deb build/packages/*.zip

demo: build
	build/default/bin/xray-render --scene scenes/default.json --out xray.png
	@echo "$(CURDIR)/xray.png"

clean:
	rm -rf build
