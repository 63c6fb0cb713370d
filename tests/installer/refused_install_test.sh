#!/bin/bash
# A processor without MMX, SSE or SSE2 is refused before anything is installed. The processors
# here all have them, so a test build of the setup replaces the processor check's answer with 0;
# everything else is the shipped script. Silent: exit code 3, and the registry and the disk as
# before.
# Usage: refused_install_test.sh TEST-SETUP.exe
set -u
setup=$1
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
# shellcheck source=wine_prefix.sh
. "$here/wine_prefix.sh"
trap 'stop_prefix; rm -rf "$scratch"' EXIT

snapshot() {
  mkdir -p "$1"
  export_key 'HKCR\CLSID\{8B498501-1218-11CF-ADC4-00A0D100041B}' "$1/filter-class"
  export_key 'HKCR\CLSID\{083863F1-70DE-11D0-BD40-00A0C911CE86}' "$1/filter-category"
  export_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' "$1/uninstall-entries"
  (cd "$(drive_c)" && find . | LC_ALL=C sort) >"$1/files"
}

make_ready_prefix
use_fresh_prefix refused
snapshot "$scratch/before"
win "$setup" /S
status=$?
[ "$status" -eq 3 ] || fail "the refused install exits with $status, not 3"
wait_for_prefix_programs
snapshot "$scratch/after"
for part in filter-class filter-category uninstall-entries files; do
  diff -u "$scratch/before/$part" "$scratch/after/$part" >"$scratch/diff" ||
    fail "the refused install changed $part: $(head -c 1500 "$scratch/diff")"
done

[ "$failures" -eq 0 ] && echo "refused install: nothing installed, exit code 3"
exit "$failures"
