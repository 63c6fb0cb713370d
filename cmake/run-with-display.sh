#!/bin/sh
# Runs a Windows test program under Wine on a private X display: Wine creates windows only with a
# display, and the test runner deliberately starts without one.
# Usage: run-with-display.sh EMULATOR... PROGRAM [ARGUMENTS...]  (EMULATOR: the build's
# CMAKE_CROSSCOMPILING_EMULATOR, which chooses the Wine prefix)
set -eu
export HALVARIS_WINE_DISPLAY=1
exec xvfb-run -a "$@"
