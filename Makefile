# Thin wrapper around the CMake presets. `make demo` and `make test` work on a fresh Debian machine:
# each job first installs the Debian packages it needs, when they are missing.
.PHONY: all native asan windows windows-x86 installer build test test-native test-asan \
        test-windows test-windows-x86 test-minimal demo bench fuzz format clean

all: build

native:
	@cmake/install-deps.sh native
	cmake --preset native >/dev/null
	cmake --build --preset native -j2

asan:
	@cmake/install-deps.sh native
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j2

windows:
	@cmake/install-deps.sh windows
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j2

# 32-bit modules for 32-bit hosts: halvarisDecoder.ax, TorvekInstallHelper.dll, Tapwright.exe and
# halvaris-decode.exe in build/windows-x86/bin.
windows-x86:
	@cmake/install-deps.sh windows
	cmake --preset windows-x86 >/dev/null
	cmake --build --preset windows-x86 -j2

# The setup program, build/windows/installer/Halvaris-<version>-x64-setup.exe (also made by
# `make windows`).
installer:
	@cmake/install-deps.sh windows
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target installer -j2

build: native asan windows windows-x86

test-native: native
	ctest --preset native

test-asan: asan
	ctest --preset asan

test-windows: windows
	cmake/run-wine-tests.sh build/windows

# No 32-bit code runs here: the i686 modules are checked in their files.
test-windows-x86: windows-x86
	tests/windows_x86/check_modules.sh build/windows-x86/bin

# The product must build where GoogleTest and Google Benchmark are not installed.
test-minimal:
	@cmake/install-deps.sh native
	cmake/build-without-test-frameworks.sh build/minimal >/dev/null

test: build test-native test-asan test-windows test-windows-x86 test-minimal

demo: native
	tools/demo.sh

bench: native
	bench/compare_ffmpeg.sh

# FUZZ_SECONDS per fuzz target (default 60); new finds land in build/fuzz/corpus/<target>.
fuzz:
	@cmake/install-deps.sh fuzz
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j2
	tests/run_fuzzers.sh build/fuzz $(FUZZ_SECONDS)

format:
	@cmake/install-deps.sh format
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf build out
