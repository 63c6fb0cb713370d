#!/bin/sh
# How ctest starts the Windows programs: under Wine, in a prefix that is never the user's ~/.wine.
# Usage: wine-emulator.sh FALLBACK-PREFIX PROGRAM [ARGUMENTS...]
# cmake/run-wine-tests.sh passes a throwaway prefix in WINEPREFIX. Without one (a plain
# `ctest --preset windows`), FALLBACK-PREFIX, a prefix kept in the build folder, is made on first
# use, and the programs run without a display as they do in the test runs; HALVARIS_WINE_DISPLAY=1
# (set by run-with-display.sh) keeps the display.
set -eu
fallback=$1
shift
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$fallback" WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="winealsa.drv=d;winemenubuilder.exe=d"
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wine wineboot -i >/dev/null 2>&1
      wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
fi
[ "${HALVARIS_WINE_DISPLAY:-}" = 1 ] || unset DISPLAY
exec wine "$@"
