# Quick start on a fresh Debian 12 machine, as root:
#   make demo    runs the installer on the bundled demo package
#   make test    runs the whole test suite
#   make check   the quick feedback while working: format, the dev build and suite, clang-tidy on what changed
.PHONY: all demo test check test-dev test-asan test-mingw windows-package build bench fuzz tidy format format-check clean

PRESET ?= dev
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 30

all: build

build:
	scripts/ensure-packages.sh build
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) -j $(JOBS)

demo:
	scripts/ensure-packages.sh build demo
	scripts/demo.sh

test: format-check test-dev tidy test-asan fuzz test-mingw

# A few minutes: the sources formatted, the dev build and its suite, and clang-tidy on the sources of src/ that
# differ from CHECK_BASE (the last commit unless told). make test stays the gate before a commit lands.
CHECK_BASE ?= HEAD
check: format-check test-dev
	scripts/ensure-packages.sh tidy mingw
	cmake --preset mingw > /dev/null
	scripts/tidy.sh $(JOBS) $(CHECK_BASE)

test-dev:
	scripts/ensure-packages.sh build test
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	ctest --preset dev -j $(JOBS) --output-on-failure

test-asan:
	scripts/ensure-packages.sh build test
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS) --output-on-failure

# The whole Windows program and every suite, cross-built with mingw-w64 against a Qt made from Debian's Qt
# source (made once, then taken from its cache outside the clone), and run under Wine.
test-mingw:
	scripts/ensure-packages.sh mingw qt-mingw
	HOTFIX_QT_MINGW=$$(scripts/build-qt-mingw.sh) cmake --preset mingw-gui
	cmake --build --preset mingw-gui -j $(JOBS)
	ctest --preset mingw-gui -j $(JOBS) --output-on-failure

# A package folder to copy to a Windows workstation: the program with the Qt DLLs it needs, and the demo
# hot fix (readme.htm, Setup\) beside it. Replace the demo's readme.htm and Setup\ with a real hot fix's.
windows-package:
	scripts/ensure-packages.sh mingw qt-mingw
	HOTFIX_QT_MINGW=$$(scripts/build-qt-mingw.sh) cmake --preset mingw-gui
	cmake --build --preset mingw-gui -j $(JOBS) --target hotfix-installer
	rm -rf build/windows-package build/windows-demo
	tools/make-demo.sh build/windows-demo > /dev/null
	cp -r build/windows-demo/package build/windows-package
	cmake --install build/mingw-gui --prefix build/windows-package
	@echo "windows-package: build/windows-package (start hotfix-installer.exe from that folder)"

bench:
	scripts/ensure-packages.sh build bench
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	bench/run.sh build/release

# Each fuzz target for FUZZ_SECONDS seconds (make test: 30 s each as a smoke test).
fuzz:
	scripts/ensure-packages.sh build fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	fuzz/run.sh build/fuzz $(FUZZ_SECONDS)

# clang-tidy with .clang-tidy over src/, on the dev and mingw builds' compile_commands.json.
tidy:
	scripts/ensure-packages.sh build tidy mingw
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	cmake --preset mingw
	scripts/tidy.sh $(JOBS)

format:
	git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

format-check:
	scripts/ensure-packages.sh format
	git ls-files '*.cpp' '*.hpp' | xargs clang-format --dry-run -Werror

clean:
	rm -rf build
