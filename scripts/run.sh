#!/usr/bin/env bash
# Builds Vello and starts it under Wine. With no display it runs on a virtual
# screen and saves a screenshot of what a person would see. On a fresh
# machine it first installs the Debian packages that are missing.
set -euo pipefail
source "$(dirname "$0")/packages.sh"
vello_install_packages
source "$(dirname "$0")/env.sh"
"$VELLO_ROOT/scripts/build.sh"
"$VELLO_ROOT/scripts/setup-wine.sh"
run_dir=$VELLO_BUILD/run
mkdir -p "$run_dir"
# The program with the documents its version page and help menu open.
for f in vello.exe VELLO.html LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  cp "$VELLO_BUILD/win/$f" "$run_dir/"
done

had_display=yes
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then had_display=no; fi
source "$VELLO_ROOT/scripts/xvfb.sh"
if [ "$had_display" = yes ]; then
  echo "Starting Vello from $run_dir (files beside it: vello.ini, vello.log, ...)"
  exec wine "$run_dir/vello.exe"
fi
wine "$run_dir/vello.exe" >/dev/null 2>&1 &
sleep "${VELLO_SCREENSHOT_DELAY:-6}"
mkdir -p "$VELLO_BUILD/screenshots"
shot=$VELLO_BUILD/screenshots/vello.png
import -window root "$shot"
echo "Vello is running on the virtual screen $DISPLAY; screenshot: $shot"
echo "Stop it with: WINEPREFIX=$WINEPREFIX wineserver -k"
