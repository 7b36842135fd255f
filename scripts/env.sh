# Sourced by the other scripts: one place for the Wine and X settings.
VELLO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export VELLO_ROOT
export VELLO_BUILD=${VELLO_BUILD:-$VELLO_ROOT/build}
export WINEPREFIX=${WINEPREFIX:-$VELLO_BUILD/wine/prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win64
# A Japanese locale makes Wine's ANSI code page 932 and its dates Japanese.
# glibc has it only once generated; the project keeps its own copy.
export LOCPATH=$VELLO_BUILD/locale
if [ ! -f "$LOCPATH/ja_JP.UTF-8/LC_CTYPE" ] && command -v localedef >/dev/null; then
  mkdir -p "$LOCPATH"
  localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" >/dev/null 2>&1 || true
fi
if [ -f "$LOCPATH/ja_JP.UTF-8/LC_CTYPE" ]; then
  { export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8; } 2>/dev/null
fi
