# Drives CMake; `make test` installs what is missing first.
.PHONY: all build test deps clean

all: build

deps:
	scripts/install-deps.sh build

build:
	cmake --preset default
	cmake --build --preset default

test: deps build
	ctest --preset default

clean:
	rm -rf build
