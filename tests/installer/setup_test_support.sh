# Sourced by the setup tests: throwaway Wine prefixes (one booted per script, copied for each
# case), runs with a time limit, snapshots of what an install changes, and checks that count
# failures instead of stopping.
# The caller sets `scratch` (a fresh folder that the caller removes) before calling make_ready_prefix.

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
  (cd "$(drive_c)" && find . | LC_ALL=C sort) >"$1/files"
}

# same_snapshots BEFORE AFTER WHAT
same_snapshots() {
  local part
  for part in filter-class page-class filter-category uninstall-entries files; do
    diff -u "$1/$part" "$2/$part" >"$scratch/diff" ||
      fail "$3: $part differs: $(head -c 1500 "$scratch/diff")"
  done
}

# registry_value KEY [VALUE]: the data of the value (the default one without VALUE).
registry_value() {
  if [ $# -eq 1 ]; then
    win reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_[A-Z_]* *//p'
  else
    win reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
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
