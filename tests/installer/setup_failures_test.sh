#!/bin/bash
# The setup when something fails, under Wine, each case in a fresh copy of one prefix:
#   - a processor without MMX, SSE or SSE2 (a test build whose processor check answers 0) is
#     refused before anything is written: exit code 3, nothing changed;
#   - a decoder whose DllRegisterServer cannot be called (a test build with a stand-in module)
#     ends the install with exit code 7, and its Apps & Features entry still uninstalls it all;
#   - a copy whose decoder module has gone still uninstalls cleanly: its registration is removed
#     directly, but only while it names that copy's module.
# Meant to run on a private X display, like the install cycle: silent runs must not ask.
# Usage: setup_failures_test.sh SETUP.exe REFUSING-SETUP.exe BROKEN-DECODER-SETUP.exe
set -u
setup=$1 refusing=$2 broken=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=setup_test_support.sh
. "$here/setup_test_support.sh"

filter_server='HKCR\CLSID\{8B498501-1218-11CF-ADC4-00A0D100041B}\InprocServer32'
installed_decoder='Program Files/Halvaris/halvarisDecoder.ax'

make_ready_prefix

use_fresh_prefix refused
snapshot "$scratch/refused-before"
win "$refusing" /S
status=$?
[ "$status" -eq 3 ] || fail "refused processor: the setup exits with $status, not 3"
wait_for_prefix_programs
snapshot "$scratch/refused-after"
same_snapshots "$scratch/refused-before" "$scratch/refused-after" "refused processor"

use_fresh_prefix unregistrable
snapshot "$scratch/unregistrable-before"
win "$broken" /S
status=$?
[ "$status" -eq 7 ] || fail "failed registration: the setup exits with $status, not 7"
[ -z "$(registry_value "$filter_server")" ] || fail "failed registration: the filter is registered"
run_quiet_uninstall
snapshot_after_uninstall "$scratch/unregistrable-after"
same_snapshots "$scratch/unregistrable-before" "$scratch/unregistrable-after" \
  "uninstall after a failed registration"

use_fresh_prefix module-gone
snapshot "$scratch/module-gone-before"
win "$setup" /S || fail "module gone: the install exits with $?"
rm -f "$(drive_c)/$installed_decoder"
run_quiet_uninstall
snapshot_after_uninstall "$scratch/module-gone-after"
same_snapshots "$scratch/module-gone-before" "$scratch/module-gone-after" \
  "uninstall of a copy whose decoder module has gone"

# Another copy of the decoder registered since: the uninstall leaves that registration alone.
use_fresh_prefix other-copy
win "$setup" /S || fail "other copy: the install exits with $?"
mkdir -p "$(drive_c)/Elsewhere"
cp "$(drive_c)/$installed_decoder" "$(drive_c)/Elsewhere/halvarisDecoder.ax"
win regsvr32 /s 'C:\Elsewhere\halvarisDecoder.ax' || fail "other copy: regsvr32 exits with $?"
rm -f "$(drive_c)/$installed_decoder"
run_quiet_uninstall
[ "$(registry_value "$filter_server")" = 'C:\Elsewhere\halvarisDecoder.ax' ] ||
  fail "other copy: the uninstall took the other copy's registration"
[ ! -e "$(drive_c)/Program Files/Halvaris" ] || fail "other copy: the install folder is left"

[ "$failures" -eq 0 ] && echo "refused, failed and damaged installs: all checks passed"
exit "$failures"
