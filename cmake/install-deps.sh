#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, but only those missing.
set -euo pipefail
packages=(
  cmake make g++ googletest libbenchmark-dev
  g++-mingw-w64-x86-64 wine wine64
  ffmpeg clang libclang-rt-14-dev
  msitools wixl xvfb libpng-dev zlib1g-dev
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
