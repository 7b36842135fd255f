#!/usr/bin/env bash
# The Windows installer under Wine, as an administrator deploys it: build
# the installer from the build tree as scripts/release.sh does (and an older
# version of it), install silently, upgrade over the older one, start the
# installed program from its Start-menu shortcut, send it a message with
# vello-send, exit, remove silently, and check what remains: the user's own
# files and nothing else.
#   run_msi_test.sh WIN_BUILD NATIVE_BUILD
# Runs in a copy of the prepared test prefix (scripts/setup-wine.sh), with
# a wineserver of its own.
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

work=$(mktemp -d /tmp/vello-msi-test.XXXXXX)
template=$WINEPREFIX
export WINEPREFIX=$work/prefix
cleanup() {
  wineserver -k 2>/dev/null
  [ -n "${VELLO_XVFB_PID:-}" ] && kill "$VELLO_XVFB_PID" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$template" "$WINEPREFIX"
user_dir=$WINEPREFIX/drive_c/users/$(id -un)
app=$user_dir/AppData/Local/Programs/Vello
link="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vello.lnk"

drv() { timeout 30 wine "$WIN_BUILD/e2e_driver.exe" "$@" 2>/dev/null | tr -d '\r'; }
wait_count() {  # wait_count CLASS N
  for _ in $(seq 1 100); do [ "$(drv count "$1")" = "$2" ] && return 0; sleep 0.1; done
  return 1
}
# The versions of Vello in the system's list of installed programs.
installed_versions() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ { name = ""; v = "" } $1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" { v = $3 }
         name == "Vello" && v != "" { print v; name = "" }' | sort | tr '\n' ' '
}
installer_key() { wine reg query 'HKCU\Software\Vello\Installer' >/dev/null 2>&1 && echo present || echo absent; }
program_folder() { (cd "$app" 2>/dev/null && ls -A | LC_ALL=C sort | tr '\n' ' '); }

# The installers, from the files the release archive packs.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$WIN_BUILD/CMakeCache.txt")
stage=$work/stage
python3 "$VELLO_ROOT/packaging/make_zip.py" --epoch 315532800 --folder Vello-$version --version "$version" \
  --stage "$stage" "$work/Vello.zip" \
  readme.txt="$VELLO_ROOT/packaging/readme.txt" vello.exe="$WIN_BUILD/vello.exe" \
  vello-send.exe="$WIN_BUILD/vello-send.exe" VELLO.html="$VELLO_ROOT/src/resources/VELLO.html" \
  LICENSE.txt="$VELLO_ROOT/LICENSE" THIRD-PARTY-NOTICES.txt="$VELLO_ROOT/THIRD-PARTY-NOTICES.txt" >/dev/null
"$VELLO_ROOT/packaging/make_msi.sh" 0.9 "$stage" "$work/old.msi" >/dev/null
"$VELLO_ROOT/packaging/make_msi.sh" "$version" "$stage" "$work/new.msi" >/dev/null
check_true "the installers are built" "[ -s '$work/old.msi' ] && [ -s '$work/new.msi' ]"

wine msiexec /i "$work/old.msi" /qn
check "an older version installs silently" "$?" "0"
check "it is listed as installed" "$(installed_versions)" "0.9.0 "
wine msiexec /i "$work/new.msi" /qn
check "the new version installs silently over it" "$?" "0"
check "the new version replaced the old one (major upgrade)" "$(installed_versions)" "$version.0 "
check "the program folder holds the program, the help, the licence and the notices" "$(program_folder)" \
  "LICENSE.txt THIRD-PARTY-NOTICES.txt VELLO.html readme.txt vello-send.exe vello.exe "
for f in vello.exe vello-send.exe VELLO.html readme.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  check_true "$f is the packed one" "cmp -s '$stage/$f' '$app/$f'"
done
check_true "the Start-menu shortcut is there" "[ -f '$link' ]"
check "the installer's registry values are there" "$(installer_key)" "present"

# The user's own files, before the first start: a port of the test's own
# and no discovery on the network.
PORT=$((20000 + RANDOM % 20000))
printf '[setup]\r\nport=%s\r\nDiscovery=0\r\n' "$PORT" > "$app/vello.ini"
printf 'たろう : 127.0.0.1\r\n' | iconv -f UTF-8 -t CP932 > "$app/vello.dat"

# Started as a user does, from the Start menu.
wine start /unix "$link" >/dev/null 2>&1
check "the shortcut starts the installed Vello" "$(wait_count TMainForm 1 && drv text TMainForm)" "Vello ver.$version"
"$NATIVE_BUILD/vello-send" --port "$PORT" 127.0.0.1 "インストーラーで入れました"
check "vello-send reaches it" "$?" "0"
check_true "the balloon comes" "wait_count TForm 1"
check "the balloon shows the message" "$(drv texts TForm)" "インストーラーで入れました"
sleep 0.5
import -window root "$SHOTS/msi-balloon.png" 2>/dev/null
drv menu "閉じる(&X)" >/dev/null
check_true "File > Close ends it" "wait_count TMainForm 0"
timeout 30 wineserver -w
check_true "the program wrote its window on exit, into the installed folder" \
  "tr -d '\r' < '$app/vello.ini' | grep -q '^Width='"

wine msiexec /x "$work/new.msi" /qn
check "it is removed silently" "$?" "0"
check "nothing of it is listed as installed" "$(installed_versions)" ""
check_true "the Start-menu shortcut is gone" "[ ! -e '$link' ]"
check "the installer's registry values are gone" "$(installer_key)" "absent"
check "only the user's own files remain" "$(program_folder)" "vello.dat vello.ini "

echo "msi test: $passed passed, $failed failed, in $SECONDS s"
[ "$failed" = 0 ]
