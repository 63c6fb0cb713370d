#!/usr/bin/env bash
# Builds the MXF reader's fuzzer with clang's libFuzzer and runs it on the kept corpus.
# Usage: tests/tools/mxf/fuzz/run_fuzzer.sh [seconds]   (new finds go to build/fuzz-mxf/corpus)
set -euo pipefail
root=$(cd "$(dirname "$0")/../../../.." && pwd)
seconds=${1:-60}
out="$root/build/fuzz-mxf"
tool="$root/tools/halvaris_decode"
mkdir -p "$out/corpus"
clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" -I"$tool" "$root"/tests/tools/mxf/fuzz/mxf_fuzzer.cpp "$tool"/mxf/*.cpp \
  "$tool"/audio/*.cpp "$tool"/input_file.cpp "$tool"/system_detection.cpp "$root"/decoder/*.cpp \
  -lpthread -o "$out/mxf_fuzzer"
"$out/mxf_fuzzer" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
  "$out/corpus" "$root/tests/tools/mxf/fuzz/corpus"
