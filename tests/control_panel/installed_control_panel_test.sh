#!/bin/bash
# The Control Panel as the setup installs it: a silent install into a throwaway prefix, then the
# driver program (installed_control_panel_test.cpp) starts and drives the installed program.
# Needs an X display for the windows (the test runs under xvfb-run).
# Usage: installed_control_panel_test.sh SETUP.exe DRIVER.exe [gtest options...]
set -u
setup=$1 driver=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
# shellcheck source=../installer/setup_test_support.sh
. "$here/../installer/setup_test_support.sh"
trap 'stop_prefix; rm -rf "$scratch"' EXIT

make_ready_prefix
use_fresh_prefix control-panel
win "$setup" /S || fail "the silent install exits with $?"
HALVARIS_INSTALL_FOLDER='C:\Program Files\Halvaris' HALVARIS_SETUP=$(winepath -w "$setup") \
  LIMIT=600 win "$driver" "$@" || fail "the Control Panel tests"
exit "$failures"
