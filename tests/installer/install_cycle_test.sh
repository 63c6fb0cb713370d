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
# shellcheck source=wine_prefix.sh
. "$here/wine_prefix.sh"
trap 'stop_prefix; rm -rf "$scratch"' EXIT

filter='{8B498501-1218-11CF-ADC4-00A0D100041B}'
page='{8B498502-1218-11CF-ADC4-00A0D100041B}'
legacy_filters='{083863F1-70DE-11D0-BD40-00A0C911CE86}'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
installed_files="ControlPanel.exe README.txt Tapwright.exe TorvekInstallHelper.dll Uninstall.exe
graph-decode.exe halvaris-decode.exe halvarisDecoder.ax"
shortcuts="Halvaris Control Panel.lnk:ControlPanel.exe
Tapwright.lnk:Tapwright.exe
Uninstall Halvaris.lnk:Uninstall.exe"

# What an install may change and an uninstall must put back: the classes of the filter and its
# page, the whole DirectShow filter category, every Apps & Features entry, and every file of C:.
snapshot() {
  mkdir -p "$1"
  export_key "HKCR\\CLSID\\$filter" "$1/filter-class"
  export_key "HKCR\\CLSID\\$page" "$1/page-class"
  export_key "HKCR\\CLSID\\$legacy_filters" "$1/filter-category"
  export_key "$uninstall_key" "$1/uninstall-entries"
  (cd "$(drive_c)" && find . | LC_ALL=C sort) >"$1/files"
}

same_snapshots() {  # BEFORE AFTER WHAT
  for part in filter-class page-class filter-category uninstall-entries files; do
    diff -u "$1/$part" "$2/$part" >"$scratch/diff" ||
      fail "$3: $part differs: $(head -c 1500 "$scratch/diff")"
  done
}

registry_value() {  # KEY [VALUE]: the data of the value (the default one without VALUE)
  if [ $# -eq 1 ]; then
    win reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_[A-Z_]* *//p'
  else
    win reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
  fi
}

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

now_ms() { echo $(($(date +%s%N) / 1000000)); }
seconds_since() {  # START-MS
  local elapsed=$(($(now_ms) - $1))
  printf '%d.%d' $((elapsed / 1000)) $((elapsed % 1000 / 100))
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

# The silent uninstall, as Apps & Features names it. It hands its work to a copy of itself and
# returns at once, so the test waits for the prefix's programs to end.
quiet=$(registry_value "$uninstall_key\\Halvaris" QuietUninstallString)
[ "$quiet" = '"C:\Other Place\Uninstall.exe" /S' ] || fail "QuietUninstallString is $quiet"
printf '%s\r\n' "@$quiet" >"$scratch/uninstall.cmd"
started=$(now_ms)
win cmd /c "$(winepath -w "$scratch/uninstall.cmd")" || fail "the silent uninstall exits with $?"
for _ in $(seq 600); do
  [ -e "$(drive_c)/Other Place" ] || break
  sleep 0.1
done
echo "silent uninstall: $(seconds_since "$started") s"
wait_for_prefix_programs
snapshot "$scratch/after"
# Except for one thing NSIS leaves for Windows to clean up: the empty temporary folder of the
# uninstaller's copy (~nsu*.tmp). Anything in it would still show as a difference.
grep -v '^\./users/[^/]*/Temp/~nsu[^/]*\.tmp$' "$scratch/after/files" >"$scratch/after/files.kept"
mv "$scratch/after/files.kept" "$scratch/after/files"
same_snapshots "$scratch/before" "$scratch/after" "after the uninstall"

[ "$failures" -eq 0 ] && echo "install, upgrades and uninstall: all checks passed"
exit "$failures"
