#!/bin/sh
# Runs a Windows test program under Wine on a private X display: Wine creates windows only with a
# display, and the test runner deliberately starts without one.
# Usage: run-with-display.sh PROGRAM [ARGUMENTS...]
set -eu
exec xvfb-run -a wine "$@"
