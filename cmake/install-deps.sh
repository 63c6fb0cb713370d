#!/usr/bin/env bash
# Installs the Debian packages a job needs, and only those that are missing; nothing is asked
# for (no root, no network) when everything is already there.
# Usage: cmake/install-deps.sh [native] [windows] [fuzz] [format]   (no argument: all of them)
set -euo pipefail
declare -A groups=(
  # the native and sanitizer builds, their tests and the benchmarks; FFmpeg is the test peer,
  # GStreamer's MXF writer a second writer of test files; Debian's python3 with numpy runs the
  # Python module's tests
  [native]="cmake make g++ googletest libbenchmark-dev zlib1g-dev pkgconf ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-bad python3 python3-numpy"
  # the Windows builds (64-bit, and 32-bit modules), the NSIS setup program, and the tests under
  # Wine (MSI packages and an X display for some tests)
  [windows]="cmake make g++-mingw-w64-x86-64 g++-mingw-w64-i686 nsis googletest wine wine64 msitools wixl xvfb"
  # libFuzzer: clang with its runtime for the Debian release's default clang
  [fuzz]="cmake make clang libclang-rt-dev"
  [format]="clang-format"
)
wanted=("$@")
[ ${#wanted[@]} -gt 0 ] || wanted=(native windows fuzz format)
missing=()
for group in "${wanted[@]}"; do
  [ -n "${groups[$group]+x}" ] || { echo "install-deps.sh: no group $group" >&2; exit 2; }
  for package in ${groups[$group]}; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
done
[ ${#missing[@]} -eq 0 ] && exit 0
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
