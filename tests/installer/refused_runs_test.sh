#!/bin/bash
# Runs of the setup and the uninstaller that must change nothing, or leave one whole install,
# under Wine:
#   - folders that cannot work (no such drive, relative, a drive's root, forward slashes, a
#     reserved name, a character Windows refuses, too long to register from): exit code 10 before
#     anything is written; a quoted "/D=..." is taken as the folder it names, and the folders
#     the install made there go with the uninstall;
#   - a copy of the uninstaller outside the installed copy's folder removes nothing (exit code 13
#     when waited for with _?=); the _?= recipe quoted, as deployment tools write it, uninstalls;
#   - a setup older than the installed version (exit code 12), and one run without administrator
#     rights (a test build whose check answers no; Wine runs everything as an administrator):
#     exit code 11, nothing changed;
#   - two setups started together, into one folder or into two: one whole install, one entry.
# Meant to run on a private X display, like the install cycle: silent runs must not ask.
# Usage: refused_runs_test.sh SETUP.exe NOT-ADMINISTRATOR-SETUP.exe PAYLOAD-FOLDER VERSION
set -u
setup=$1 not_administrator=$2 payload=$3 version=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=setup_test_support.sh
. "$here/setup_test_support.sh"

entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Halvaris'
make_ready_prefix
# After make_ready_prefix: winepath is a Wine program, and needs a prefix of the test's own.
setup_windows=$(winepath -w "$setup" 2>/dev/null)

use_fresh_prefix folders
snapshot "$scratch/folders-before"
long_folder="C:\\Long\\$(printf 'x%.0s' $(seq 233))"  # 241 characters
for folder in 'Q:\Halvaris' 'Halvaris' 'C:\' 'C:/Program Files/Halvaris' 'C:\con\Halvaris' \
  'C:\Halv?x' "$long_folder"; do
  run_command_line "$setup_windows /S /D=$folder"
  status=$?
  [ "$status" -eq 10 ] || fail "/D=$folder: the setup exits with $status, not 10"
done
run_command_line "$setup_windows /S \"/D=C:\\Halv?x\""
status=$?
[ "$status" -eq 10 ] || fail "\"/D=C:\\Halv?x\": the setup exits with $status, not 10"
snapshot "$scratch/folders-after"
same_snapshots "$scratch/folders-before" "$scratch/folders-after" "unusable folders"
# Quoted, into a folder inside a new one: the uninstall takes both folders away again.
run_command_line "$setup_windows /S \"/D=C:\\Quoted Place\\Halvaris\""
status=$?
[ "$status" -eq 0 ] || fail "\"/D=C:\\Quoted Place\\Halvaris\": the setup exits with $status"
check_installed_in 'C:\Quoted Place\Halvaris' "$(drive_c)/Quoted Place/Halvaris"
run_quiet_uninstall
snapshot_after_uninstall "$scratch/folders-uninstalled"
same_snapshots "$scratch/folders-before" "$scratch/folders-uninstalled" \
  "uninstall from a folder inside a folder the install made"

use_fresh_prefix copies
snapshot "$scratch/copies-before"
win "$setup" /S || fail "copies: the install exits with $?"
snapshot "$scratch/installed"
mkdir -p "$(drive_c)/Elsewhere"
cp "$(drive_c)/Program Files/Halvaris/Uninstall.exe" "$(drive_c)/Elsewhere/Uninstall.exe"
win 'C:\Elsewhere\Uninstall.exe' /S
wait_for_prefix_programs
run_command_line 'C:\Elsewhere\Uninstall.exe /S _?=C:\Elsewhere'
status=$?
[ "$status" -eq 13 ] || fail "a copy waited for with _?=C:\\Elsewhere exits with $status, not 13"
rm -rf "$(drive_c)/Elsewhere"
snapshot_after_uninstall "$scratch/copies-after"
same_snapshots "$scratch/installed" "$scratch/copies-after" "uninstallers outside the install"

win reg add "$entry" /v DisplayVersion /d 99.0 /f >/dev/null 2>&1
snapshot "$scratch/newer-before"
win "$setup" /S
status=$?
[ "$status" -eq 12 ] || fail "over a newer version: the setup exits with $status, not 12"
win "$not_administrator" /S
status=$?
[ "$status" -eq 11 ] || fail "without administrator rights: the setup exits with $status, not 11"
snapshot "$scratch/newer-after"
same_snapshots "$scratch/newer-before" "$scratch/newer-after" "refused setups"

cp "$(drive_c)/Program Files/Halvaris/Uninstall.exe" "$scratch/u.exe"
run_command_line "$(winepath -w "$scratch/u.exe" 2>/dev/null) /S \"_?=C:\\Program Files\\Halvaris\""
wait_for_prefix_programs
snapshot_after_uninstall "$scratch/copies-uninstalled"
same_snapshots "$scratch/copies-before" "$scratch/copies-uninstalled" "the quoted _?= recipe"

# Two setups at once, into one folder, then into two: both succeed (the second waits for the
# first), and one copy is left.
# setups_together WHAT [FIRST-OPTION SECOND-OPTION]: the setup started twice at once.
setups_together() {
  local what=$1 first second first_status second_status
  win "$setup" /S ${2:+"$2"} &
  first=$!
  win "$setup" /S ${3:+"$3"} &
  second=$!
  wait "$first"
  first_status=$?
  wait "$second"
  second_status=$?
  [ "$first_status" -eq 0 ] && [ "$second_status" -eq 0 ] ||
    fail "two setups $what exit with $first_status and $second_status"
}
use_fresh_prefix together
setups_together "into one folder"
check_installed_in 'C:\Program Files\Halvaris' "$(drive_c)/Program Files/Halvaris"
setups_together "into two folders" '/D=C:\First' '/D=C:\Second'
installed=$(registry_value "$entry" InstallLocation)
case "$installed" in
  'C:\First') other=Second ;;
  'C:\Second') other=First ;;
  *) other=none; fail "two setups into two folders: the entry names \"$installed\"" ;;
esac
check_installed_in "$installed" "$(winepath -u "$installed" 2>/dev/null)"
[ ! -e "$(drive_c)/$other" ] && [ ! -e "$(drive_c)/Program Files/Halvaris" ] ||
  fail "two setups into two folders: a second copy is left"

[ "$failures" -eq 0 ] && echo "refused and concurrent runs: all checks passed"
exit "$failures"
