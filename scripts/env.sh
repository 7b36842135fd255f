# Sourced by the other scripts: one place for the Wine and X settings.
VELLO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export VELLO_ROOT
export VELLO_BUILD=${VELLO_BUILD:-$VELLO_ROOT/build}
# The test builds' flags: optimised as released, with line tables only
# (-g1: a backtrace names files and lines; full debug information would
# take a quarter more compile time, and nobody debugs the CI's build).
export VELLO_CXX_FLAGS=${VELLO_CXX_FLAGS:--O2 -g1 -DNDEBUG}
export WINEPREFIX=${WINEPREFIX:-$VELLO_BUILD/wine/prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win64
source "$VELLO_ROOT/scripts/wine-japanese.sh"
# A Japanese locale makes Wine's ANSI code page 932 and its dates Japanese;
# the project keeps its own compiled copy.
vello_japanese_locale "$VELLO_BUILD/locale" || return 1
