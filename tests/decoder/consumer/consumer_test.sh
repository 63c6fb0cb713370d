#!/bin/sh
# Installs the build into a scratch prefix and builds a C program against the installed copy,
# once through pkg-config and once through find_package(Halvaris) (shared and static); each must
# decode a frame to the same bytes as halvaris-decode.
# Usage: consumer_test.sh BUILD-DIR HALVARIS-DECODE FRAME C-COMPILER
set -eu
build=$1 decode=$2 frame=$3 cc=$4
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap '[ -n "${KEEP_SCRATCH:-}" ] || rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log" || fail "cmake --install"
"$decode" -q --format yuy2 "$frame" "$scratch/expected.yuy2" || fail "halvaris-decode"

library=$(find "$scratch/prefix" -name 'libhalvaris.so.1' | head -n 1)
[ -n "$library" ] || fail "no libhalvaris.so.1 installed"
readelf -d "$library" | grep -q 'SONAME.*\[libhalvaris\.so\.1\]' || fail "soname is not libhalvaris.so.1"
# Only the C interface is exported.
others=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | grep -v '^halvaris_' || true)
[ -z "$others" ] || fail "exported beyond the C interface: $(echo $others | head -c 300)"

pcdir=$(dirname "$(find "$scratch/prefix" -name halvaris.pc | head -n 1)")
export PKG_CONFIG_PATH="$pcdir"
[ "$(pkg-config --modversion halvaris)" != "" ] || fail "pkg-config does not know halvaris"
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Werror -o "$scratch/pc_consumer" "$here/consumer.c" \
  $(pkg-config --cflags --libs halvaris) || fail "build through pkg-config"
LD_LIBRARY_PATH=$(dirname "$library") "$scratch/pc_consumer" "$frame" "$scratch/pc.yuy2" ||
  fail "pkg-config consumer"
cmp "$scratch/expected.yuy2" "$scratch/pc.yuy2" || fail "pkg-config consumer's picture differs"

cmake -S "$here" -B "$scratch/cmake-build" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
  -DCMAKE_C_COMPILER="$cc" >"$scratch/configure.log" || fail "find_package(Halvaris)"
cmake --build "$scratch/cmake-build" >"$scratch/build.log" || fail "build through find_package"
for kind in shared static; do
  "$scratch/cmake-build/consumer_$kind" "$frame" "$scratch/$kind.yuy2" || fail "$kind consumer"
  cmp "$scratch/expected.yuy2" "$scratch/$kind.yuy2" || fail "$kind consumer's picture differs"
done
echo "installed library: pkg-config and find_package consumers decode the same bytes"
