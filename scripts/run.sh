#!/usr/bin/env bash
# Builds Vello and starts it under Wine. With no display it runs on a virtual
# screen and saves a screenshot of what a person would see.
set -euo pipefail
source "$(dirname "$0")/env.sh"
"$VELLO_ROOT/scripts/build.sh"
"$VELLO_ROOT/scripts/setup-wine.sh"
run_dir=$VELLO_BUILD/run
mkdir -p "$run_dir"
cp "$VELLO_BUILD/win/vello.exe" "$run_dir/"
[ -f "$VELLO_ROOT/src/resources/VELLO.html" ] && cp "$VELLO_ROOT/src/resources/VELLO.html" "$run_dir/"

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
