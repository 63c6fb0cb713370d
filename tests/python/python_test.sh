#!/bin/sh
# Installs the build into a scratch prefix and runs the Python module's tests against the
# installed copy, with Debian's python3.
# Usage: python_test.sh BUILD-DIR HALVARIS-DECODE FFMPEG C-COMPILER
set -eu
build=$1 decode=$2 ffmpeg=$3 cc=$4
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log" ||
  { cat "$scratch/install.log"; echo "FAILED: cmake --install"; exit 1; }
cd "$here"
HALVARIS_PREFIX="$scratch/prefix" HALVARIS_DECODE="$decode" FFMPEG="$ffmpeg" CC="$cc" \
  PYTHONPATH="$scratch/prefix/lib/python3/dist-packages" PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 -m unittest -v test_halvaris
