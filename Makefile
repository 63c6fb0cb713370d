# Thin wrapper around the CMake presets. `make demo` and `make test` work on a fresh Debian machine.
.PHONY: all deps native asan windows build test test-native test-asan test-windows demo bench fuzz format clean

all: build

deps:
	@cmake/install-deps.sh

native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j2

asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j2

windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j2

build: native asan windows

test-native: native
	ctest --preset native

test-asan: asan
	ctest --preset asan

test-windows: windows
	cmake/run-wine-tests.sh build/windows

test: build test-native test-asan test-windows

demo: native
	tools/demo.sh

bench: native
	bench/compare_ffmpeg.sh

fuzz: deps
	tests/decoder/fuzz/run_fuzzer.sh $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build out
