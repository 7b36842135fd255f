#!/usr/bin/env bash
# Prepares the Wine prefix once: Japanese locale, font replacements so that
# "MS ゴシック" and "ＭＳ Ｐゴシック" render with Noto CJK, caption glyphs, no
# window-manager stall, no Mono/Gecko prompts. Re-running is cheap.
set -euo pipefail
source "$(dirname "$0")/env.sh"

stamp=$WINEPREFIX/.vello-ready-3
[ -f "$stamp" ] && exit 0

mkdir -p "$(dirname "$WINEPREFIX")"
wineboot -i >/dev/null 2>&1 </dev/null || true
wineserver -w || true

reg=$(mktemp --suffix=.reg)
python3 - "$reg" <<'PY'
import sys
text = r'''Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS ゴシック"="Noto Sans Mono CJK JP"
"ＭＳ ゴシック"="Noto Sans Mono CJK JP"
"MS Gothic"="Noto Sans Mono CJK JP"
"ＭＳ Ｐゴシック"="Noto Sans CJK JP"
"MS PGothic"="Noto Sans CJK JP"
"MS UI Gothic"="Noto Sans CJK JP"
"ＭＳ 明朝"="Noto Serif CJK JP"
"MS Mincho"="Noto Serif CJK JP"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="Y"

[HKEY_CURRENT_USER\Control Panel\International]
"Locale"="00000411"
'''
open(sys.argv[1], 'wb').write(b'\xff\xfe' + text.replace('\n', '\r\n').encode('utf-16-le'))
PY
wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1 </dev/null || wine regedit /S "$reg" >/dev/null 2>&1 </dev/null
rm -f "$reg"
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || true
fi
wineserver -w || true
touch "$stamp"
