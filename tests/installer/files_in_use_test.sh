#!/bin/bash
# The setup when a program holds a file, under Wine, and Windows restarting afterwards (the
# wineserver ended, then wineboot's restart, which carries out PendingFileRenameOperations):
#   - an upgrade while the installed graph-decode runs is refused before anything is removed:
#     exit code 5, the installed copy whole (entry, registration, shortcuts, files), nothing left
#     for the restart to delete; once the program has ended the upgrade succeeds, and the
#     install is whole after a restart;
#   - an uninstall while it runs answers 3010 and leaves the file for the restart to delete; a
#     setup run before that restart cancels those deletions, so the new install survives it;
#   - a file that cannot be written (a program of that name runs from the folder; a folder where
#     a file should go) ends the setup with exit code 6 and removes what it wrote: no
#     files, no uninstaller, no entry; the log says what failed, and names programs to close only
#     when a program holds the file.
# Meant to run on a private X display, like the install cycle: silent runs must not ask.
# Usage: files_in_use_test.sh SETUP.exe PAYLOAD-FOLDER VERSION
set -u
setup=$1 payload=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=setup_test_support.sh
. "$here/setup_test_support.sh"

folder='C:\Program Files\Halvaris'
make_ready_prefix
use_fresh_prefix held
unix_folder="$(drive_c)/Program Files/Halvaris"

# An upgrade while the installed graph-decode runs.
win "$setup" /S || fail "the first install exits with $?"
snapshot "$scratch/installed"
hold_file "$folder\\graph-decode.exe"
win "$setup" /S
status=$?
[ "$status" -eq 5 ] || fail "upgrade while a file is in use: the setup exits with $status, not 5"
snapshot "$scratch/refused"
same_snapshots "$scratch/installed" "$scratch/refused" "upgrade refused while a file is in use"
pending_file_operations | grep -qiF "$folder" &&
  fail "the refused upgrade left deletions for the restart: $(pending_file_operations)"
setup_log | grep -qF 'graph-decode.exe' || fail "the log does not name the file in use: $(setup_log)"
release_file
win "$setup" /S || fail "the upgrade after the program ended exits with $?"
restart_windows
check_installed_in "$folder" "$unix_folder"

# An uninstall while it runs (waited for through a copy, as the README says), then a setup
# before the restart.
hold_file "$folder\\graph-decode.exe"
cp "$unix_folder/Uninstall.exe" "$scratch/u.exe"
run_command_line "$(winepath -w "$scratch/u.exe" 2>/dev/null) /S _?=$folder"
status=$?
# Exit codes reach Linux modulo 256.
[ "$status" -eq $((3010 % 256)) ] || fail "uninstall while a file is in use exits with $status, not 3010"
pending_file_operations | grep -qiF "$folder\\graph-decode.exe" ||
  fail "the uninstall left no deletion of graph-decode.exe for the restart"
release_file
win "$setup" /S || fail "the install before the restart exits with $?"
restart_windows
check_installed_in "$folder" "$unix_folder"

# A file that cannot be written, where nothing is installed.
use_fresh_prefix unwritable
unix_folder="$(drive_c)/Program Files/Halvaris"
snapshot "$scratch/unwritable-before"
mkdir -p "$unix_folder"
cp "$payload/graph-decode.exe" "$unix_folder/graph-decode.exe"
hold_file "$folder\\graph-decode.exe"
win "$setup" /S
status=$?
[ "$status" -eq 6 ] || fail "a file in use: the setup exits with $status, not 6"
[ "$(ls "$unix_folder")" = graph-decode.exe ] ||
  fail "a file in use: the folder holds $(ls "$unix_folder" | tr '\n' ' ')"
setup_log | grep -F 'graph-decode.exe' | grep -qF 'Close programs' ||
  fail "a file in use: the log does not say so: $(setup_log)"
release_file
rm -rf "$unix_folder"
snapshot "$scratch/unwritable-after"
same_snapshots "$scratch/unwritable-before" "$scratch/unwritable-after" "a file in use"

mkdir -p "$unix_folder/README.txt"
win "$setup" /S
status=$?
[ "$status" -eq 6 ] || fail "a folder in a file's place: the setup exits with $status, not 6"
[ "$(ls "$unix_folder")" = README.txt ] ||
  fail "a folder in a file's place: the folder holds $(ls "$unix_folder" | tr '\n' ' ')"
setup_log | grep -F 'README.txt' | grep -qF 'Close programs' &&
  fail "a folder in a file's place: the log blames a program: $(setup_log)"
rm -rf "$unix_folder"
snapshot "$scratch/unwritable-after"
same_snapshots "$scratch/unwritable-before" "$scratch/unwritable-after" "a folder in a file's place"

[ "$failures" -eq 0 ] && echo "files in use and restarts: all checks passed"
exit "$failures"
