#!/usr/bin/env bash
# Runs every libFuzzer program of a fuzz build on its kept corpus; new finds go to
# BUILD/corpus/NAME (copy the useful ones into the kept corpus).
# Usage: tests/run_fuzzers.sh BUILD-DIR [seconds per fuzzer]
set -euo pipefail
build=$1
seconds=${2:-60}
while read -r name max_len corpus options; do
  [ -n "$name" ] || continue
  mkdir -p "$build/corpus/$name"
  echo "== $name, $seconds s"
  # shellcheck disable=SC2086 # the options are separate flags
  "$build/bin/$name" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 ${options:-} "$build/corpus/$name" "$corpus"
done <"$build/fuzzers.txt"
