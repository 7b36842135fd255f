#!/usr/bin/env bash
# The Debian package end to end: build it from the build tree as
# scripts/release.sh does, check it with lintian, install it into this
# machine with apt-get, start `vello` as a new user on the virtual screen
# (the first start prepares the user's own prefix), send it a message with
# the installed native vello-send, exit, and remove the package again.
# Then, as a user without root: unpack the package, install from it with its
# own install.sh (no sources, no build tools), uninstall while Vello runs
# (it must exit as File > 閉じる does, saving its window) and purge.
#   run_deb_test.sh WIN_BUILD NATIVE_BUILD
# Needs root for apt-get; the machine is left as it was.
set -u
WIN_BUILD=$1
NATIVE_BUILD=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/env.sh"
if [ "$(id -u)" != 0 ]; then
  echo "deb test: installing a package needs root; not run"
  exit 0
fi
# Its copies of Vello must not reach the network: a namespace of its own.
source "$(dirname "$0")/../../scripts/isolate.sh"
vello_isolate "$0" "$@"
source "$here/../../scripts/xvfb.sh"
SHOTS=$VELLO_BUILD/screenshots
mkdir -p "$SHOTS"
source "$here/../checks.sh"

work=$(mktemp -d /tmp/vello-deb-test.XXXXXX)
chmod 755 "$work"
home=$work/home
home2=$work/home2
mkdir "$home" "$home2"
installed_here=no
VPID=
cleanup() {
  [ -n "$VPID" ] && kill "$VPID" 2>/dev/null
  for h in "$home" "$home2"; do
    [ -d "$h/.local/share/wineprefixes/vello" ] && WINEPREFIX=$h/.local/share/wineprefixes/vello wineserver -k 2>/dev/null
  done
  [ "$installed_here" = yes ] && DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y vello >/dev/null 2>&1
  [ -n "${VELLO_XVFB_PID:-}" ] && kill "$VELLO_XVFB_PID" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A user's session: a home folder of its own, nothing of the test's Wine
# settings in the environment.
as_user() {
  local h=$1; shift
  env -i HOME="$h" USER="$(id -un)" LOGNAME="$(id -un)" PATH="$h/.local/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin" \
    LANG=C.UTF-8 DISPLAY="$DISPLAY" "$@"
}
drv() {  # drv HOME COMMAND...
  local h=$1; shift
  WINEPREFIX=$h/.local/share/wineprefixes/vello WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" HOME=$h \
    timeout 30 wine "$WIN_BUILD/e2e_driver.exe" "$@" 2>/dev/null | tr -d '\r'
}
wait_count() {  # wait_count HOME CLASS N TENTHS
  for _ in $(seq 1 "${4:-100}"); do [ "$(drv "$1" count "$2")" = "$3" ] && return 0; sleep 0.1; done
  return 1
}
home_tree() { (cd "$1" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort); }
# The user's files before a start: a port of the test's own, no discovery.
user_settings() {
  mkdir -p "$1/.local/share/vello"
  printf '[setup]\r\nport=%s\r\nDiscovery=0\r\nLog=1\r\n' "$2" > "$1/.local/share/vello/vello.ini"
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$WIN_BUILD/CMakeCache.txt")
stage=$work/stage
python3 "$VELLO_ROOT/packaging/make_zip.py" --epoch 315532800 --folder Vello-$version --version "$version" \
  --stage "$stage" "$work/Vello.zip" \
  readme.txt="$VELLO_ROOT/packaging/readme.txt" vello.exe="$WIN_BUILD/vello.exe" \
  vello-send.exe="$WIN_BUILD/vello-send.exe" VELLO.html="$VELLO_ROOT/src/resources/VELLO.html" \
  LICENSE.txt="$VELLO_ROOT/LICENSE" THIRD-PARTY-NOTICES.txt="$VELLO_ROOT/THIRD-PARTY-NOTICES.txt" >/dev/null
DEBFULLNAME="Vello package test" DEBEMAIL="package-test@vello.invalid" \
  "$VELLO_ROOT/packaging/make_deb.sh" "$version" "$stage" "$NATIVE_BUILD/vello-send" "$work" >/dev/null
deb=$work/vello_${version}_amd64.deb
check_true "the package is built" "[ -s '$deb' ]"
check "its dependencies are declared" \
  "$(dpkg-deb -f "$deb" Depends | sed 's/libc6 (>= [0-9.]*)/libc6 (>= V)/')" \
  "libc6 (>= V), wine, wine64, fonts-wine, fonts-noto-cjk, locales"
lintian --fail-on error --suppress-tags no-manual-page "$deb" > "$work/lintian.log" 2>&1
check "lintian finds no error" "$?" "0"
grep -E '^E:' "$work/lintian.log"

# --- As root: the package through apt-get. ---
if dpkg -s vello >/dev/null 2>&1; then
  echo "FAIL a package vello is installed on this machine already; the test leaves it alone"
  exit 1
fi
installed_here=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb" > "$work/apt.log" 2>&1
check "apt-get installs it" "$?" "0"
check_true "the commands vello and vello-send are installed" "[ -x /usr/bin/vello ] && [ -x /usr/bin/vello-send ]"
check_true "the desktop entry and the icons are installed" \
  "[ -f /usr/share/applications/vello.desktop ] && [ -f /usr/share/icons/hicolor/256x256/apps/vello.png ]"
check "the installed vello-send runs" "$(/usr/bin/vello-send --version | head -1)" "vello-send $version"

PORT=$((20000 + RANDOM % 20000))
user_settings "$home" "$PORT"
as_user "$home" vello > "$work/first-start.log" 2>&1 &
VPID=$!
# The first start makes the prefix: about a minute at most. The driver runs
# in that prefix only once it is ready (a Wine program started in it
# meanwhile would keep the launcher waiting for Wine to settle).
for _ in $(seq 1 1800); do
  [ -f "$home/.local/share/wineprefixes/vello/.vello-ready" ] || ! kill -0 "$VPID" 2>/dev/null && break
  sleep 0.1
done
check "the first start prepares the prefix and shows the main window" \
  "$(wait_count "$home" TMainForm 1 300 && drv "$home" text TMainForm)" "Vello ver.$version"
check_true "it said that it prepares the prefix" "grep -q 'preparing the Wine prefix' '$work/first-start.log'"
app=$home/.local/share/vello
for f in vello.exe VELLO.html LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  check_true "the user's copy of $f is the installed one" "cmp -s /usr/lib/vello/$f '$app/$f'"
done
check "the user's prefix has the Japanese font replacement" \
  "$(grep -c '^"MS \\x30b4\\x30b7\\x30c3\\x30af"="Noto Sans Mono CJK JP"' "$home/.local/share/wineprefixes/vello/user.reg")" "1"
/usr/bin/vello-send --port "$PORT" 127.0.0.1 "パッケージで入れました"
check "the installed vello-send reaches it" "$?" "0"
check_true "the balloon comes" "wait_count '$home' TForm 1"
check "the balloon shows the message" "$(drv "$home" texts TForm)" "パッケージで入れました"
sleep 0.5
import -window root "$SHOTS/deb-balloon.png" 2>/dev/null
drv "$home" menu "閉じる(&X)" >/dev/null
for _ in $(seq 1 100); do kill -0 "$VPID" 2>/dev/null || break; sleep 0.1; done
check_true "File > Close ends it" "! kill -0 $VPID 2>/dev/null"
wait "$VPID" 2>/dev/null
VPID=
check_true "its log holds the message, in the user's folder" \
  "iconv -f CP932 -t UTF-8 < '$app/vello.log' | grep -q 'パッケージで入れました'"
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y vello > "$work/apt-remove.log" 2>&1
check "apt-get removes it" "$?" "0"
installed_here=no
check_true "nothing of the package remains on the machine" \
  "! dpkg -s vello >/dev/null 2>&1 && [ ! -e /usr/bin/vello ] && [ ! -e /usr/lib/vello ] && [ ! -e /usr/share/vello ]"

# --- As a user without root: install.sh from the unpacked package. ---
dpkg-deb -x "$deb" "$work/unpacked"
# The prefix the package's first start made, instead of making another.
mkdir -p "$home2/.local/share/wineprefixes"
cp -a "$home/.local/share/wineprefixes/vello" "$home2/.local/share/wineprefixes/vello"
before=$(home_tree "$home2" | grep -v '^\.local/share/wineprefixes/vello')
as_user "$home2" "$work/unpacked/usr/share/vello/install.sh" > "$work/install.log" 2>&1
check "install.sh from the unpacked package installs without the sources" "$?" "0"
app2=$home2/.local/share/vello
check "the program folder holds the package's program" \
  "$(cd "$app2" && ls -A | LC_ALL=C sort | tr '\n' ' ')" \
  ".install-folders LICENSE.txt THIRD-PARTY-NOTICES.txt VELLO.html readme.txt vello-send.exe vello.exe wine-japanese.sh "
check "the native vello-send is installed for the user" \
  "$(as_user "$home2" vello-send --version | head -1)" "vello-send $version"
PORT2=$((20000 + RANDOM % 20000))
user_settings "$home2" "$PORT2"
as_user "$home2" vello > /dev/null 2>&1 &
VPID=$!
check "the user's command starts it" "$(wait_count "$home2" TMainForm 1 300 && drv "$home2" text TMainForm)" \
  "Vello ver.$version"
as_user "$home2" vello-send --port "$PORT2" 127.0.0.1 "ユーザーだけで入れました"
check "the user's vello-send reaches it" "$?" "0"
check "the balloon shows the message" "$(wait_count "$home2" TForm 1 && drv "$home2" texts TForm)" \
  "ユーザーだけで入れました"
check_true "no window was written yet" "! tr -d '\r' < '$app2/vello.ini' | grep -q '^Width='"

as_user "$home2" "$work/unpacked/usr/share/vello/install.sh" --uninstall > "$work/uninstall.log" 2>&1
check "--uninstall succeeds while Vello runs" "$?" "0"
for _ in $(seq 1 50); do kill -0 "$VPID" 2>/dev/null || break; sleep 0.1; done
check_true "--uninstall waited for Vello to end" "! kill -0 $VPID 2>/dev/null"
wait "$VPID" 2>/dev/null
VPID=
check_true "Vello exited as File > 閉じる does: it wrote its window" \
  "tr -d '\r' < '$app2/vello.ini' | grep -q '^Width='"
check "the user's files stay" "$(cd "$app2" && ls -A | LC_ALL=C sort | tr '\n' ' ')" "vello.ini vello.log "
check_true "the user's commands are gone" "[ ! -e '$home2/.local/bin/vello' ] && [ ! -e '$home2/.local/bin/vello-send' ]"

# What a copy ended in the middle of a write leaves: locks and temporary files.
for f in vello.ini.lock vello.ini.lock.next vello.dat.4242-1.tmp vellot.dat.lock velloFixed.dat.17-3.tmp; do
  : > "$app2/$f"
done
as_user "$home2" "$work/unpacked/usr/share/vello/install.sh" --uninstall --purge > "$work/purge.log" 2>&1
check "--uninstall --purge succeeds" "$?" "0"
check "after --purge nothing of Vello remains" "$(home_tree "$home2")" "$before"

echo "deb test: $passed passed, $failed failed, in $SECONDS s"
[ "$failed" = 0 ]
