# Drives CMake; `make demo` and `make test` install what is missing first.
.PHONY: all build test demo deps clean

all: build

deps:
	scripts/install-deps.sh build render

build:
	cmake --preset default
	cmake --build --preset default

test: deps build
	ctest --preset default

demo: deps build
	build/default/bin/xray-render --out xray.png
	@echo "$(CURDIR)/xray.png"

clean:
	rm -rf build
