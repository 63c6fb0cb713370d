# Sourced by the setup tests: throwaway Wine prefixes (one booted per script, copied for each
# case), runs with a time limit, snapshots of what an install changes, and checks that count
# failures instead of stopping.

# A fresh folder for the script's prefixes and files, removed when the script ends, after the
# programs of the prefix (and a held file's program) have ended.
scratch=$(mktemp -d)
trap 'release_file; stop_prefix; rm -rf "$scratch"' EXIT

export WINEARCH=win64 WINEDEBUG=-all
# No menu entries in the real desktop from the shortcuts; no sound devices.
export WINEDLLOVERRIDES="winealsa.drv=d;winemenubuilder.exe=d"

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Boots one prefix for the whole script ($scratch/ready) and keeps nothing running in it.
make_ready_prefix() {
  export WINEPREFIX="$scratch/ready"
  wine wineboot -i >/dev/null 2>&1
  wineserver -w
}

# Makes $scratch/NAME a copy of the ready prefix and points Wine at it.
use_fresh_prefix() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "${scratch:?}/$1"
  cp -a "$scratch/ready" "$scratch/$1"
  export WINEPREFIX="$scratch/$1"
}

# Ends every program of the current prefix and its server.
stop_prefix() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
}

filter='{8B498501-1218-11CF-ADC4-00A0D100041B}'
legacy_filters='{083863F1-70DE-11D0-BD40-00A0C911CE86}'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
installed_files="ControlPanel.exe README.txt Tapwright.exe TorvekInstallHelper.dll Uninstall.exe
graph-decode.exe halvaris-decode.exe halvarisDecoder.ax"
shortcuts="Halvaris Control Panel.lnk:ControlPanel.exe
Tapwright.lnk:Tapwright.exe
Uninstall Halvaris.lnk:Uninstall.exe"

# check_installed_in WINDOWS-FOLDER UNIX-FOLDER: the payload ($payload), the registration, the
# shortcuts and the Apps & Features entry (of version $version) of a whole install there.
check_installed_in() {
  local folder=$1 unix=$2 name link target
  [ "$(cd "$unix" 2>/dev/null && LC_ALL=C ls | tr '\n' ' ')" = "$(echo $installed_files) " ] ||
    fail "$folder holds: $(ls "$unix" 2>&1 | tr '\n' ' ')"
  for name in "$payload"/*; do
    cmp -s "$name" "$unix/$(basename "$name")" || fail "$(basename "$name") is not the built one"
    # Explorer and inventories read what a module is from its version resource.
    strings -a -e l "$name" | grep -qx FileVersion || fail "$(basename "$name") has no version"
  done
  [ "$(registry_value "HKCR\\CLSID\\$filter\\InprocServer32")" = "$folder\\halvarisDecoder.ax" ] ||
    fail "the filter's InprocServer32 does not name $folder\\halvarisDecoder.ax"
  # Where it is not listed, say where the registration went instead (the first version of the
  # filter mapper keeps its own key), so that a failure tells what happened.
  reg_query "HKCR\\CLSID\\$legacy_filters\\Instance\\$filter" >/dev/null ||
    fail "DirectShow's filter category does not list the filter (reg query: $?; the first mapper's key:" \
      "$(win reg query "HKCR\\Filter\\$filter" 2>&1 | tr -d '\r' | tr '\n' ' ' | head -c 300);" \
      "the category: $(win reg query "HKCR\\CLSID\\$legacy_filters\\Instance" 2>&1 | tr -d '\r' |
        grep -c '^HKEY') filters)"
  local menu="$(drive_c)/ProgramData/Microsoft/Windows/Start Menu/Programs/Halvaris"
  while IFS=: read -r link target; do
    [ -f "$menu/$link" ] || { fail "no Start menu shortcut $link"; continue; }
    strings -a -e l "$menu/$link" | grep -qiF "$folder\\$target" ||
      strings -a "$menu/$link" | grep -qiF "$folder\\$target" ||
      fail "$link does not point to $folder\\$target"
  done <<<"$shortcuts"
  local key="$uninstall_key\\Halvaris" expected found
  for expected in "DisplayName=Halvaris" "DisplayVersion=$version" "Publisher=Halvaris" \
    "InstallLocation=$folder" "UninstallString=\"$folder\\Uninstall.exe\"" \
    "QuietUninstallString=\"$folder\\Uninstall.exe\" /S" "NoModify=0x1" "NoRepair=0x1"; do
    found=$(registry_value "$key" "${expected%%=*}")
    [ "$found" = "${expected#*=}" ] ||
      fail "Apps & Features: ${expected%%=*} is $(printf %q "$found"), not \"${expected#*=}\""
  done
  local kilobytes=$(($(cat "$unix"/* | wc -c) / 1024)) estimated
  estimated=$(($(registry_value "$key" EstimatedSize)))
  [ $((estimated - kilobytes)) -ge -1 ] && [ $((estimated - kilobytes)) -le 1 ] ||
    fail "Apps & Features: EstimatedSize $estimated KB, the files take $kilobytes KB"
}

# Runs a Windows program; a program that waits for a person fails after LIMIT seconds.
win() {
  timeout "${LIMIT:-120}" wine "$@" </dev/null
}

# The prefix's C: drive.
drive_c() { echo "$WINEPREFIX/drive_c"; }

# Waits until every program of the prefix has ended (a program may hand its work to another,
# as NSIS uninstallers do).
wait_for_prefix_programs() {
  timeout 120 wineserver -w || fail "programs of the prefix still run after two minutes"
}

# `wine reg export` of KEY into FILE, or the word "absent" when the key does not exist.
export_key() {
  if ! win reg export "$1" "$2.reg" /y >/dev/null 2>&1; then
    echo absent >"$2"
    return
  fi
  # The export is UTF-16; the comparison wants text.
  iconv -f UTF-16LE -t UTF-8 "$2.reg" | tr -d '\r' >"$2"
  rm -f "$2.reg"
}

# What an install may change and an uninstall must put back: the classes of the filter and its
# page, the whole DirectShow filter category, every Apps & Features entry, and every file of C:.
# snapshot FOLDER
snapshot() {
  mkdir -p "$1"
  export_key 'HKCR\CLSID\{8B498501-1218-11CF-ADC4-00A0D100041B}' "$1/filter-class"
  export_key 'HKCR\CLSID\{8B498502-1218-11CF-ADC4-00A0D100041B}' "$1/page-class"
  export_key 'HKCR\CLSID\{083863F1-70DE-11D0-BD40-00A0C911CE86}' "$1/filter-category"
  export_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' "$1/uninstall-entries"
  # The setup's and the uninstaller's logs stay in the user's temporary folder.
  (cd "$(drive_c)" && find . | grep -Ev '^\./users/[^/]*/Temp/Halvaris-(setup|uninstall)\.log$' |
    LC_ALL=C sort) >"$1/files"
}

# same_snapshots BEFORE AFTER WHAT
same_snapshots() {
  local part
  for part in filter-class page-class filter-category uninstall-entries files; do
    diff -u "$1/$part" "$2/$part" >"$scratch/diff" ||
      fail "$3: $part differs: $(head -c 1500 "$scratch/diff")"
  done
}

# reg_query ARGUMENTS...: `reg query` in the prefix. reg answers 0, or 1 for a missing key or
# value; any other status is Wine's own trouble (the program did not start or was cut off), so
# it is said on the standard error and the query is asked once more.
reg_query() {
  local output status
  output=$(win reg query "$@" 2>"$scratch/reg-errors")
  status=$?
  if [ "$status" -gt 1 ]; then
    echo "reg query $* exited with $status ($(head -c 300 "$scratch/reg-errors")); asking again" >&2
    output=$(win reg query "$@" 2>/dev/null)
    status=$?
  fi
  printf '%s\n' "$output" | tr -d '\r'
  return "$status"
}

# registry_value KEY [VALUE]: the data of the value (the default one without VALUE).
registry_value() {
  if [ $# -eq 1 ]; then
    reg_query "$1" /ve | sed -n 's/^ *(Default) *REG_[A-Z_]* *//p'
  else
    reg_query "$1" /v "$2" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
  fi
}

# Runs the QuietUninstallString of the Apps & Features entry as written there, through a command
# file, and waits for the uninstaller's copy of itself to finish too. Snapshots then leave out
# the one thing NSIS leaves for Windows to remove at the next restart: the empty temporary
# folder of that copy (~nsu*.tmp); anything in it would still show.
run_quiet_uninstall() {
  local quiet
  quiet=$(registry_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Halvaris' \
    QuietUninstallString)
  [ -n "$quiet" ] || { fail "no QuietUninstallString"; return; }
  printf '%s\r\n' "@$quiet" >"$scratch/uninstall.cmd"
  local folder command started
  folder=$(winepath -u "$(echo "$quiet" | sed -n 's/^"\(.*\)\\Uninstall.exe".*/\1/p')" 2>/dev/null)
  command=$(winepath -w "$scratch/uninstall.cmd" 2>/dev/null)
  started=$(now_ms)
  win cmd /c "$command" || fail "the silent uninstall exits with $?"
  # The folder goes last but for the entry; then every program of the prefix must end.
  for _ in $(seq 600); do
    [ -e "$folder" ] || break
    sleep 0.1
  done
  uninstall_seconds=$(seconds_since "$started")
  wait_for_prefix_programs
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# seconds_since START-MS: the time since, in seconds with one decimal.
seconds_since() {
  local elapsed=$(($(now_ms) - $1))
  printf '%d.%d' $((elapsed / 1000)) $((elapsed % 1000 / 100))
}

# snapshot_after_uninstall FOLDER: a snapshot without NSIS's empty ~nsu*.tmp folder.
snapshot_after_uninstall() {
  snapshot "$1"
  grep -v '^\./users/[^/]*/Temp/~nsu[^/]*\.tmp$' "$1/files" >"$1/files.kept"
  mv "$1/files.kept" "$1/files"
}

# run_command_line LINE: runs LINE through a command file, so that the program receives it
# exactly as written (quotes included), as from a script or a deployment tool.
run_command_line() {
  printf '@%s\r\n@exit %%errorlevel%%\r\n' "$1" >"$scratch/command.cmd"
  win cmd /c "$(winepath -w "$scratch/command.cmd" 2>/dev/null)"
}

# hold_file WINDOWS-PROGRAM: starts the program (graph-decode) on a pipe that never ends, so that
# it runs, its file in use as in a long decode, until release_file.
hold_file() {
  rm -f "$scratch/endless.dif"
  mkfifo "$scratch/endless.dif"
  exec 7<>"$scratch/endless.dif"
  wine "$1" "$(winepath -w "$scratch/endless.dif" 2>/dev/null)" - --system 1 </dev/null \
    >/dev/null 2>&1 7>&- &
  held_program=$!
  # Running once it has opened the pipe (a new prefix's server takes seconds to start); a
  # second more, as one loaded run once found the program's file free just after that.
  for _ in $(seq 300); do
    if ls -l "/proc/$held_program/fd" 2>/dev/null | grep -q endless.dif; then
      sleep 1
      return
    fi
    sleep 0.1
  done
  fail "$1 did not start"
}
release_file() {
  [ -n "${held_program:-}" ] || return 0
  kill "$held_program" 2>/dev/null
  wait "$held_program" 2>/dev/null
  held_program=
  exec 7>&-
}

# A restart as Wine carries it out: every program ended, then wineboot's restart, which carries
# out the renames and deletions left in PendingFileRenameOperations.
restart_windows() {
  wineserver -k >/dev/null 2>&1
  wine wineboot -r >/dev/null 2>&1
  wineserver -w
}

# The deletions and renames left for the next restart, one a line.
pending_file_operations() {
  registry_value 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' \
    PendingFileRenameOperations | sed 's/\\0/\n/g'
}

# The setup's log, as text.
setup_log() {
  iconv -f UTF-16LE -t UTF-8 "$(drive_c)"/users/*/Temp/Halvaris-setup.log 2>/dev/null |
    sed '1s/^\xEF\xBB\xBF//' | tr -d '\r'
}
