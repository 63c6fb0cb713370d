#!/bin/sh
# Installs the build into a scratch prefix and builds a C program against the installed media
# library, once through pkg-config and once through find_package(Halvaris) (shared and static);
# each reads the frames of a four-frame raw DIF stream (and, where FFmpeg is given, of a movie,
# an OP1a and an OP-Atom file wrapping it, and a P2 card folder holding that clip) in a shuffled
# order and must decode them to the same bytes as halvaris-decode --format yuy2; where FFmpeg is
# given, the sound of a raw DIF stream, an OP1a file and a card, read later half first, must be
# FFmpeg's own reading of it.
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
  grep -v '^halvaris_media_' || true)
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
if [ -n "$ffmpeg" ]; then
  mkdir -p "$scratch/card/CONTENTS/VIDEO" "$scratch/card/CONTENTS/AUDIO"
  cp "$scratch/atom.mxf" "$scratch/card/CONTENTS/VIDEO/0001AB.MXF"
  set -- "$@" "$scratch/card"
  # Two tones of other pitches, so that channels out of place show; four frames at 25 Hz.
  tones="aevalsrc=0.5*sin(300*2*PI*t)|0.5*sin(410*2*PI*t):s=48000:d=0.16"
  "$ffmpeg" -nostdin -v error -y -f dv -i "$scratch/four.dif" -f lavfi -i "$tones" -map 0:v \
    -map 1:a -c:v copy -c:a pcm_s16le -f dv "$scratch/sound.dif" || fail "ffmpeg sound.dif"
  "$ffmpeg" -nostdin -v error -y -f dv -i "$scratch/four.dif" -f lavfi -i "$tones" -map 0:v \
    -map 1:a -c:v copy -c:a pcm_s16le -shortest -f mxf "$scratch/sound.mxf" || fail "ffmpeg sound.mxf"
  for channel in 00 01; do
    "$ffmpeg" -nostdin -v error -y -f lavfi -i "sine=frequency=$((440 + 220 * ${channel#0})):sample_rate=48000" \
      -t 0.16 -c:a pcm_s16le -f mxf_opatom "$scratch/card/CONTENTS/AUDIO/0001AB$channel.MXF" ||
      fail "ffmpeg sound channel $channel"
  done
  "$ffmpeg" -nostdin -v error -y -i "$scratch/card/CONTENTS/AUDIO/0001AB00.MXF" \
    -i "$scratch/card/CONTENTS/AUDIO/0001AB01.MXF" -filter_complex "[0:a][1:a]join=inputs=2" \
    -c:a pcm_s16le -f s16le "$scratch/card.expected.raw" || fail "ffmpeg card sound"
  for input in "$scratch/sound.dif" "$scratch/sound.mxf" "$scratch/card"; do
    expected="$input.expected.raw"
    [ -e "$expected" ] || "$ffmpeg" -nostdin -v error -y -i "$input" -map 0:a:0 -c:a pcm_s16le \
      -f s16le "$expected" || fail "ffmpeg extraction of $input"
    LD_LIBRARY_PATH=$(dirname "$library") "$scratch/pc_consumer" "$input" "$scratch/got.yuy2" \
      "$scratch/got.raw" >/dev/null || fail "pc_consumer's sound of $input"
    # Four frames at 25 Hz hold 4 x 1920 samples of two 16-bit channels.
    head -c $((4 * 1920 * 4)) "$expected" >"$scratch/expected.raw"
    cmp -s "$scratch/expected.raw" "$scratch/got.raw" ||
      fail "the sound of $input differs from FFmpeg's ($(wc -c <"$scratch/got.raw") bytes)"
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
echo "installed media library: pkg-config and find_package consumers decode the same bytes and read FFmpeg's sound"
