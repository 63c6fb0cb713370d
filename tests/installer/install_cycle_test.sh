#!/bin/bash
# The setup program as an administrator uses it, under Wine in a throwaway prefix: a silent
# install, the installed and registered decoder in a DirectShow graph, the Apps & Features entry,
# an upgrade in place and one into another folder, and the silent uninstall that Apps & Features
# names, after which the registry and the disk are as they were before the install.
# Meant to run on a private X display (xvfb-run): a question that a silent setup must not ask
# would then wait for an answer, and the run's time limit fails the test.
# Usage: install_cycle_test.sh SETUP.exe PAYLOAD-FOLDER VERSION TEST-DATA-FOLDER
set -u
setup=$1 payload=$2 version=$3 data=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=setup_test_support.sh
. "$here/setup_test_support.sh"

make_ready_prefix
use_fresh_prefix cycle
snapshot "$scratch/before"
program_files="$(drive_c)/Program Files/Halvaris"

# A silent install.
started=$(now_ms)
win "$setup" /S
status=$?
echo "silent install: $(seconds_since "$started") s"
[ "$status" -eq 0 ] || fail "the silent install exits with $status"
check_installed_in 'C:\Program Files\Halvaris' "$program_files"
snapshot "$scratch/installed"

# The installed graph-decode runs the registered filter in a DirectShow graph; the installed
# halvaris-decode decodes the same two frames with the library alone.
mkdir -p "$scratch/streams"
for system in 1 2 3 4; do
  stream=$scratch/streams/system$system.dif
  cat "$data/system$system-testsrc2.dif" "$data/system$system-detailed.dif" >"$stream"
  win "$program_files/graph-decode.exe" "$stream" "$scratch/streams/graph$system.yuy2" \
    --system "$system" 2>"$scratch/graph.log" ||
    fail "graph-decode, system $system: $(cat "$scratch/graph.log")"
  win "$program_files/halvaris-decode.exe" --quiet --system "$system" "$stream" \
    "$scratch/streams/library$system.yuy2" || fail "halvaris-decode, system $system"
  [ -s "$scratch/streams/graph$system.yuy2" ] &&
    cmp -s "$scratch/streams/graph$system.yuy2" "$scratch/streams/library$system.yuy2" ||
    fail "system $system: the graph's pictures differ from halvaris-decode's"
done

# Over the installed copy: the same files, one registration, one entry.
win "$setup" /S || fail "the install over the installed copy exits with $?"
snapshot "$scratch/upgraded"
same_snapshots "$scratch/installed" "$scratch/upgraded" "install over the installed copy"

# Into another folder: the copy in the first folder is uninstalled, not left behind.
setup_windows=$(winepath -w "$setup" 2>/dev/null)
win cmd /c "$setup_windows /S /D=C:\\Other Place" ||
  fail "the install into another folder exits with $?"
[ ! -e "$program_files" ] || fail "the copy in Program Files was left behind: $(ls "$program_files")"
check_installed_in 'C:\Other Place' "$(drive_c)/Other Place"

# The silent uninstall, as Apps & Features names it.
run_quiet_uninstall
echo "silent uninstall: $uninstall_seconds s"
snapshot_after_uninstall "$scratch/after"
same_snapshots "$scratch/before" "$scratch/after" "after the uninstall"

[ "$failures" -eq 0 ] && echo "install, upgrades and uninstall: all checks passed"
exit "$failures"
