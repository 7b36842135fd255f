#!/usr/bin/env bash
# The Linux install end to end, in a throwaway home folder: pack the built
# program as the release is packed, install it with scripts/install.sh,
# start it as the desktop entry does, send it a message with vello-send, see
# the balloon, stop it from its menu, uninstall, and check that exactly the
# user's files remain (and, after --purge, nothing).
#   run_install_test.sh WIN_BUILD NATIVE_BUILD
set -u
# Its copies of Vello must not reach the network: a namespace of its own.
source "$(dirname "$0")/../../scripts/isolate.sh"
vello_isolate "$0" "$@"
WIN_BUILD=$1
NATIVE_BUILD=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/env.sh"
source "$here/../../scripts/xvfb.sh"
SHOTS=$VELLO_BUILD/screenshots
mkdir -p "$SHOTS"
source "$here/../checks.sh"

work=$(mktemp -d /tmp/vello-install-test.XXXXXX)
home=$work/home
mkdir "$home"
prefix=$home/.local/share/wineprefixes/vello
app=$home/.local/share/vello
VPID=
cleanup() {
  [ -n "$VPID" ] && kill "$VPID" 2>/dev/null
  [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null
  # The virtual screen, when this script started it.
  [ -n "${VELLO_XVFB_PID:-}" ] && kill "$VELLO_XVFB_PID" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A user's session: a fresh home folder with nothing of Vello in it, and
# nothing of the test's Wine settings in the environment.
as_user() {
  env -i HOME="$home" USER="$(id -un)" LOGNAME="$(id -un)" PATH="/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin" \
    LANG=C.UTF-8 DISPLAY="$DISPLAY" "$@"
}
# The driver, in the installed prefix, with the installed environment.
drv() {
  WINEPREFIX=$prefix WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" HOME=$home \
    timeout 30 wine "$WIN_BUILD/e2e_driver.exe" "$@" 2>/dev/null | tr -d '\r'
}
wait_count() {  # wait_count CLASS N
  for _ in $(seq 1 100); do [ "$(drv count "$1")" = "$2" ] && return 0; sleep 0.1; done
  return 1
}
# Everything under the home folder, files and folders, one a line.
home_tree() { (cd "$home" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort); }

# The archive, packed from the build tree the way scripts/release.sh packs.
zip=$work/Vello-test-win64.zip
python3 "$VELLO_ROOT/packaging/make_zip.py" --epoch 315532800 --folder Vello-test --version test "$zip" \
  readme.txt="$VELLO_ROOT/packaging/readme.txt" vello.exe="$WIN_BUILD/vello.exe" \
  vello-send.exe="$WIN_BUILD/vello-send.exe" VELLO.html="$VELLO_ROOT/src/resources/VELLO.html" >/dev/null

# Things of the user's own beside where the install writes: they must stay,
# the empty folder too.
mkdir -p "$home/.local/bin" "$home/.config/autostart" "$home/.local/share/applications"
echo '#!/bin/sh' > "$home/.local/bin/own-tool"
printf '[Desktop Entry]\nType=Application\nName=Own\nExec=true\n' > "$home/.config/autostart/own.desktop"

started=$(date +%s%N)
as_user "$VELLO_ROOT/scripts/install.sh" --from "$zip" > "$work/install.log" 2>&1
check "install succeeds" "$?" "0"
ms=$((($(date +%s%N) - started) / 1000000))
echo "     the first install took $((ms / 1000)).$((ms % 1000 / 100)) s"
check_true "install says what it does" "grep -q 'Wine prefix: $prefix' '$work/install.log'"
packed() { python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))' "$@"; }
for f in vello.exe vello-send.exe VELLO.html readme.txt; do
  check "program file $f is the packed one" "$(cmp -s <(packed "$zip" "Vello-test/$f") "$app/$f" && echo same)" "same"
done
check_true "the command is executable" "[ -x '$home/.local/bin/vello' ]"
# Wine writes the name "MS ゴシック" with its characters escaped.
check "the prefix has the Japanese font replacement" \
  "$(grep -c '^"MS \\x30b4\\x30b7\\x30c3\\x30af"="Noto Sans Mono CJK JP"' "$prefix/user.reg")" "1"
for size in 16 32 48 64 128 256; do
  icon=$home/.local/share/icons/hicolor/${size}x$size/apps/vello.png
  check "icon ${size}x$size is a PNG of that size" \
    "$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(d[:8]==b"\x89PNG\r\n\x1a\n", *struct.unpack(">II", d[16:24]))' "$icon" 2>&1)" \
    "True $size $size"
done
entry=$home/.local/share/applications/vello.desktop
check "the desktop entry starts the command" "$(sed -n 's/^Exec=//p' "$entry")" "\"$home/.local/bin/vello\""
check "the desktop entry names the icon" "$(sed -n 's/^Icon=//p' "$entry")" "vello"
check_true "no autostart entry unless asked" "[ ! -e '$home/.config/autostart/vello.desktop' ]"

# Installing again, now with the autostart entry: the prefix is kept.
as_user "$VELLO_ROOT/scripts/install.sh" --from "$zip" --autostart > "$work/install2.log" 2>&1
check "a second install with --autostart succeeds" "$?" "0"
check_true "the second install keeps the prepared prefix" "grep -q 'already prepared' '$work/install2.log'"
check "the autostart entry starts the command" \
  "$(sed -n 's/^Exec=//p' "$home/.config/autostart/vello.desktop")" "\"$home/.local/bin/vello\""
as_user "$VELLO_ROOT/scripts/install.sh" --from "$zip" > /dev/null 2>&1
check_true "an update keeps the autostart entry" "[ -f '$home/.config/autostart/vello.desktop' ]"
as_user "$VELLO_ROOT/scripts/install.sh" --from "$zip" --no-autostart > /dev/null 2>&1
check_true "--no-autostart removes it" "[ ! -e '$home/.config/autostart/vello.desktop' ]"
as_user "$VELLO_ROOT/scripts/install.sh" --from "$zip" --autostart > /dev/null 2>&1

# The user's files as another copy left them, and a port of the test's own.
PORT=$((20000 + RANDOM % 20000))
printf '[setup]\r\nport=%s\r\nLog=1\r\nDiscovery=0\r\n' "$PORT" > "$app/vello.ini"
printf 'たろう : 127.0.0.1\r\n' | iconv -f UTF-8 -t CP932 > "$app/vello.dat"
cp "$app/vello.dat" "$work/vello.dat.before"

# Start it the way the desktop does: the entry's Exec line.
exec_line=$(sed -n 's/^Exec="\(.*\)"$/\1/p' "$entry")
as_user "$exec_line" > /dev/null 2>&1 &
VPID=$!
check "the installed Vello starts and shows its main window" "$(wait_count TMainForm 1 && drv text TMainForm)" "Vello ver.1.5"
"$NATIVE_BUILD/vello-send" --port "$PORT" 127.0.0.1 "インストールできました"
check "vello-send reaches it" "$?" "0"
check_true "the balloon comes" "wait_count TForm 1"
check "the balloon shows the message" "$(drv texts TForm)" "インストールできました"
sleep 0.5
import -window root "$SHOTS/install-balloon.png" 2>/dev/null
# Wine's own dialogs in Japanese: the command set the Japanese locale.
drv menu "フォント(&F)..." >/dev/null
check "Wine's own dialogs are Japanese (the font dialog's title)" "$(drv box)" "フォントの指定|"
drv menu "閉じる(&X)" >/dev/null
for _ in $(seq 1 100); do kill -0 "$VPID" 2>/dev/null || break; sleep 0.1; done
check_true "File > Close ends it" "! kill -0 $VPID 2>/dev/null"
wait "$VPID" 2>/dev/null
VPID=

as_user "$VELLO_ROOT/scripts/install.sh" --uninstall > "$work/uninstall.log" 2>&1
check "uninstall succeeds" "$?" "0"
expected=".config
.config/autostart
.config/autostart/own.desktop
.local
.local/bin
.local/bin/own-tool
.local/share
.local/share/applications
.local/share/vello
.local/share/vello/vello.dat
.local/share/vello/vello.ini
.local/share/vello/vello.log"
# Vello may also have saved the schedule or the phrases on the way; those are
# the user's files too.
check "exactly the user's files remain" \
  "$(home_tree | grep -Ev '^\.local/share/vello/(vellot|velloFixed)\.dat$')" "$expected"
check_true "the address book is untouched" "cmp -s '$work/vello.dat.before' '$app/vello.dat'"
check_true "the settings kept the window written on exit" "tr -d '\r' < '$app/vello.ini' | grep -q '^Width='"
check_true "the log holds the message received" \
  "iconv -f CP932 -t UTF-8 < '$app/vello.log' | grep -q 'インストールできました'"
# The date as the Japanese locale writes it (year first): Wine ran in it.
check_true "the log's date is in the Japanese form" "tr -d '\r' < '$app/vello.log' | grep -Eq '^Date : [0-9]{4}/'"

as_user "$VELLO_ROOT/scripts/install.sh" --uninstall --purge > "$work/purge.log" 2>&1
check "uninstall --purge succeeds" "$?" "0"
check "after --purge only what the user had before remains" "$(home_tree)" ".config
.config/autostart
.config/autostart/own.desktop
.local
.local/bin
.local/bin/own-tool
.local/share
.local/share/applications"

echo "install test: $passed passed, $failed failed, in $SECONDS s"
[ "$failed" = 0 ]
