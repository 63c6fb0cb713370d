#!/usr/bin/env bash
# Builds the decoder fuzzer with clang's libFuzzer and runs it on the kept corpus.
# Usage: tests/decoder/fuzz/run_fuzzer.sh [seconds]   (new finds go to build/fuzz/corpus)
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
seconds=${1:-60}
out="$root/build/fuzz"
mkdir -p "$out/corpus"
clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" "$root"/tests/decoder/fuzz/decode_fuzzer.cpp "$root"/decoder/*.cpp -lpthread \
  -o "$out/decode_fuzzer"
"$out/decode_fuzzer" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
  "$out/corpus" "$root/tests/decoder/fuzz/corpus"
