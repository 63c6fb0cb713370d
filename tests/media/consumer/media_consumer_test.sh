#!/bin/sh
# Installs the build into a scratch prefix and builds a C program against the installed media
# library, once through pkg-config and once through find_package(Halvaris) (shared and static);
# each reads the frames of a four-frame raw DIF stream (and, where FFmpeg is given, of a movie,
# an OP1a and an OP-Atom file wrapping it) in a shuffled order and must decode them to the same
# bytes as halvaris-decode --format yuy2.
# Usage: media_consumer_test.sh BUILD-DIR HALVARIS-DECODE C-COMPILER TEST-DATA-DIR [FFMPEG]
set -eu
build=$1 decode=$2 cc=$3 data=$4 ffmpeg=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap '[ -n "${KEEP_SCRATCH:-}" ] || rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log" || fail "cmake --install"
library=$(find "$scratch/prefix" -name 'libhalvaris-media.so.1' | head -n 1)
[ -n "$library" ] || fail "no libhalvaris-media.so.1 installed"
readelf -d "$library" | grep -q 'SONAME.*\[libhalvaris-media\.so\.1\]' ||
  fail "soname is not libhalvaris-media.so.1"
readelf -d "$library" | grep -q 'NEEDED.*\[libhalvaris\.so\.1\]' || fail "not linked to libhalvaris.so.1"
others=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' |
  grep -v '^halvaris_media_' | grep -v '^halvaris_default_media_settings' || true)
[ -z "$others" ] || fail "exported beyond the C interface: $(echo $others | head -c 300)"

pcdir=$(dirname "$(find "$scratch/prefix" -name halvaris-media.pc | head -n 1)")
export PKG_CONFIG_PATH="$pcdir"
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Werror -o "$scratch/pc_consumer" "$here/media_consumer.c" \
  $(pkg-config --cflags --libs halvaris-media) || fail "build through pkg-config"
cmake -S "$here" -B "$scratch/cmake-build" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
  -DCMAKE_C_COMPILER="$cc" >"$scratch/configure.log" || fail "find_package(Halvaris)"
cmake --build "$scratch/cmake-build" >"$scratch/build.log" || fail "build through find_package"

cat "$data/system3-testsrc2.dif" "$data/system3-detailed.dif" "$data/system3-detailed.dif" \
  "$data/system3-testsrc2.dif" >"$scratch/four.dif"
set -- "$scratch/four.dif"
if [ -n "$ffmpeg" ]; then
  for wrapping in "mov clip.mov" "mxf op1a.mxf" "mxf_opatom atom.mxf"; do
    set -- "$@" "$scratch/${wrapping#* }"
    "$ffmpeg" -nostdin -v error -y -f dv -i "$scratch/four.dif" -c:v copy -f ${wrapping% *} \
      "$scratch/${wrapping#* }" || fail "ffmpeg -f ${wrapping% *}"
  done
fi
n=0
for input in "$@"; do
  n=$((n + 1))
  "$decode" -q --format yuy2 "$input" "$scratch/expected$n.yuy2" || fail "halvaris-decode $input"
  for consumer in "$scratch/pc_consumer" "$scratch/cmake-build/media_consumer_shared" \
    "$scratch/cmake-build/media_consumer_static"; do
    LD_LIBRARY_PATH=$(dirname "$library") "$consumer" "$input" "$scratch/got.yuy2" >/dev/null ||
      fail "$(basename "$consumer") on $input"
    cmp -s "$scratch/expected$n.yuy2" "$scratch/got.yuy2" ||
      fail "$(basename "$consumer")'s pictures of $input differ"
  done
done
echo "installed media library: pkg-config and find_package consumers decode the same bytes"
