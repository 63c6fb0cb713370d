#!/bin/sh
# Builds the product as a machine without GoogleTest and Google Benchmark would: both are hidden
# in a private mount namespace, and the tests and benchmarks are switched off.
# Usage: cmake/build-without-test-frameworks.sh [build-dir]
set -eu
build=${1:-build/minimal}
if [ "${HALVARIS_FRAMEWORKS_HIDDEN:-}" != 1 ]; then
  exec unshare --mount --map-root-user env HALVARIS_FRAMEWORKS_HIDDEN=1 "$0" "$@"
fi
empty=$(mktemp -d)
for path in /usr/src/googletest /usr/src/gtest /usr/include/gtest /usr/include/gmock \
  /usr/include/benchmark /usr/lib/*/cmake/GTest /usr/lib/*/cmake/benchmark; do
  if [ -d "$path" ]; then mount --bind "$empty" "$path"; fi
done
if [ -e /usr/src/googletest/CMakeLists.txt ] || [ -e /usr/include/benchmark/benchmark.h ]; then
  echo "build-without-test-frameworks: could not hide the frameworks" >&2
  exit 1
fi
rm -rf "$build"
cmake --preset native -B "$build" -DHALVARIS_BUILD_TESTS=OFF -DHALVARIS_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
ls "$build/bin"
