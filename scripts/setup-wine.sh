#!/usr/bin/env bash
# Prepares the test prefix once: Japanese locale and fonts (wine-japanese.sh),
# no window-manager stall on the bare virtual screen, no Mono/Gecko prompts.
# Re-running is cheap.
set -euo pipefail
source "$(dirname "$0")/env.sh"

stamp=$WINEPREFIX/.vello-ready-3
[ -f "$stamp" ] && exit 0

# Without a window manager, Wine's managed windows stall about 2 s on every
# hide or destroy.
vello_prepare_prefix '
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="Y"
'
touch "$stamp"
