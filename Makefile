# Quick start on a fresh Debian 12 machine, as root:
#   make demo    runs the installer on the bundled demo package
#   make test    runs the whole test suite
.PHONY: all demo test test-dev test-asan build bench format format-check clean

PRESET ?= dev
JOBS ?= $(shell nproc)

all: build

build:
	scripts/ensure-packages.sh build
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) -j $(JOBS)

demo:
	scripts/ensure-packages.sh build demo
	scripts/demo.sh

test: format-check test-dev test-asan

test-dev:
	scripts/ensure-packages.sh build test
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	ctest --preset dev -j $(JOBS)

test-asan:
	scripts/ensure-packages.sh build test
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench:
	scripts/ensure-packages.sh build bench
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	for b in build/release/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

format:
	git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.hpp' | xargs clang-format --dry-run -Werror

clean:
	rm -rf build
