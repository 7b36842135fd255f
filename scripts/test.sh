#!/usr/bin/env bash
# Builds everything and runs every test: the core natively, then the Win32
# tests, the end-to-end tests and the Linux install under Wine on a virtual
# screen.
set -euo pipefail
source "$(dirname "$0")/packages.sh"
vello_install_packages
source "$(dirname "$0")/env.sh"
# Nothing a test starts may reach the network: the whole run is in a network
# namespace of its own with only the loopback.
source "$(dirname "$0")/isolate.sh"
vello_isolate "$0" "$@"
# Where the time goes, so a slow run shows which stage grew.
stage() { echo "== ${SECONDS}s: $*"; }
stage "build"
"$VELLO_ROOT/scripts/build.sh"
stage "Wine prefix"
"$VELLO_ROOT/scripts/setup-wine.sh"

status=0
stage "native tests"
ctest --test-dir "$VELLO_BUILD/native" --output-on-failure || status=1
stage "sanitizers"
"$VELLO_ROOT/scripts/test-sanitizers.sh" || status=1

source "$VELLO_ROOT/scripts/xvfb.sh"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  [ -n "${VELLO_XVFB_PID:-}" ] && kill "$VELLO_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
# One wineserver for the whole run: every wine start then costs ~0.1 s.
wineserver -p 2>/dev/null || true  # already running is fine
wine wineboot >/dev/null 2>&1 </dev/null || true
stage "Win32, end-to-end and lab tests"
ctest --test-dir "$VELLO_BUILD/win" --output-on-failure --timeout 300 || status=1
stage "install tests"
# The Linux install, in a throwaway home folder with a prefix of its own.
"$VELLO_ROOT/tests/install/run_install_test.sh" "$VELLO_BUILD/win" "$VELLO_BUILD/native" || status=1
# The Windows installer under Wine, and the Debian package (installed into
# this machine with apt-get and removed again; root only).
"$VELLO_ROOT/tests/install/run_msi_test.sh" "$VELLO_BUILD/win" "$VELLO_BUILD/native" || status=1
"$VELLO_ROOT/tests/install/run_deb_test.sh" "$VELLO_BUILD/win" "$VELLO_BUILD/native" || status=1
stage "done"
exit $status
