# Thin wrapper around the CMake presets. `make demo` and `make test` work on a fresh Debian machine:
# each job first installs the Debian packages it needs, when they are missing.
.PHONY: all native asan windows build test test-native test-asan test-windows test-minimal \
        demo bench fuzz format clean

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

build: native asan windows

test-native: native
	ctest --preset native

test-asan: asan
	ctest --preset asan

test-windows: windows
	cmake/run-wine-tests.sh build/windows

# The product must build where GoogleTest and Google Benchmark are not installed.
test-minimal:
	@cmake/install-deps.sh native
	cmake/build-without-test-frameworks.sh build/minimal >/dev/null

test: build test-native test-asan test-windows test-minimal

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
