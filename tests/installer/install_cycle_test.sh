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
scratch=$(mktemp -d)
# shellcheck source=setup_test_support.sh
. "$here/setup_test_support.sh"
trap 'stop_prefix; rm -rf "$scratch"' EXIT

filter='{8B498501-1218-11CF-ADC4-00A0D100041B}'
legacy_filters='{083863F1-70DE-11D0-BD40-00A0C911CE86}'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
installed_files="ControlPanel.exe README.txt Tapwright.exe TorvekInstallHelper.dll Uninstall.exe
graph-decode.exe halvaris-decode.exe halvarisDecoder.ax"
shortcuts="Halvaris Control Panel.lnk:ControlPanel.exe
Tapwright.lnk:Tapwright.exe
Uninstall Halvaris.lnk:Uninstall.exe"

check_installed_in() {  # WINDOWS-FOLDER UNIX-FOLDER
  local folder=$1 unix=$2 name link target
  [ "$(cd "$unix" 2>/dev/null && LC_ALL=C ls | tr '\n' ' ')" = "$(echo $installed_files) " ] ||
    fail "$folder holds: $(ls "$unix" 2>&1 | tr '\n' ' ')"
  for name in "$payload"/*; do
    cmp -s "$name" "$unix/$(basename "$name")" || fail "$(basename "$name") is not the built one"
  done
  [ "$(registry_value "HKCR\\CLSID\\$filter\\InprocServer32")" = "$folder\\halvarisDecoder.ax" ] ||
    fail "the filter's InprocServer32 does not name $folder\\halvarisDecoder.ax"
  win reg query "HKCR\\CLSID\\$legacy_filters\\Instance\\$filter" >/dev/null 2>&1 ||
    fail "DirectShow's filter category does not list the filter"
  local menu="$(drive_c)/ProgramData/Microsoft/Windows/Start Menu/Programs/Halvaris"
  while IFS=: read -r link target; do
    [ -f "$menu/$link" ] || { fail "no Start menu shortcut $link"; continue; }
    strings -a -e l "$menu/$link" | grep -qiF "$folder\\$target" ||
      strings -a "$menu/$link" | grep -qiF "$folder\\$target" ||
      fail "$link does not point to $folder\\$target"
  done <<<"$shortcuts"
  local key="$uninstall_key\\Halvaris" expected
  for expected in "DisplayName=Halvaris" "DisplayVersion=$version" "Publisher=Halvaris" \
    "InstallLocation=$folder" "UninstallString=\"$folder\\Uninstall.exe\"" \
    "QuietUninstallString=\"$folder\\Uninstall.exe\" /S" "NoModify=0x1" "NoRepair=0x1"; do
    [ "$(registry_value "$key" "${expected%%=*}")" = "${expected#*=}" ] ||
      fail "Apps & Features: ${expected%%=*} is \"$(registry_value "$key" "${expected%%=*}")\", not \"${expected#*=}\""
  done
  local kilobytes=$(($(cat "$unix"/* | wc -c) / 1024)) estimated
  estimated=$(($(registry_value "$key" EstimatedSize)))
  [ $((estimated - kilobytes)) -ge -1 ] && [ $((estimated - kilobytes)) -le 1 ] ||
    fail "Apps & Features: EstimatedSize $estimated KB, the files take $kilobytes KB"
}

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
