#!/usr/bin/env bash
# Runs the ctest suite of the Windows build under Wine, in a throwaway prefix that is removed afterwards.
# Usage: cmake/run-wine-tests.sh [build-dir] [extra ctest arguments...]
set -euo pipefail
build_dir=${1:-build/windows}
shift || true

export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="winealsa.drv=d;winemenubuilder.exe=d"
scratch=$(mktemp -d)
export WINEPREFIX="$scratch/pfx"
unset DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

wine wineboot -i >/dev/null 2>&1
wineserver -w
# Keep one server alive for the whole run: every test then starts in a fraction of a second.
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

ctest --test-dir "$build_dir" --output-on-failure -j2 "$@"
