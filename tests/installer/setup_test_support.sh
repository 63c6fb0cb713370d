# Sourced by the setup tests: throwaway Wine prefixes (one booted per script, copied for each
# case), runs with a time limit, and checks that count failures instead of stopping.
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
