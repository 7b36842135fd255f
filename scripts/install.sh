#!/usr/bin/env bash
# Installs Vello for the current user on a Linux desktop, under ~/.local:
#
#   ~/.local/share/vello/                  vello.exe, vello-send.exe, VELLO.html,
#                                          readme.txt, the licence and notices;
#                                          Vello keeps the user's files beside
#                                          vello.exe
#   ~/.local/share/wineprefixes/vello/     Vello's own Wine prefix (Japanese
#                                          fonts and locale)
#   ~/.local/bin/vello                     the command that starts it
#   ~/.local/bin/vello-send                the native sender, when installing
#                                          from the Debian package
#   ~/.local/share/applications/vello.desktop and the icon in
#   ~/.local/share/icons/hicolor/NxN/apps/vello.png
#   ~/.config/autostart/vello.desktop      with --autostart: start at log-in
#
# Usage:
#   install.sh [--from DEB|ZIP|FOLDER] [--autostart | --no-autostart]
#   install.sh --uninstall [--purge]
#
# Without root and without the sources: unpack the release's Debian package
# and run this script from it,
#   dpkg-deb -x vello_<version>_amd64.deb vello-package
#   vello-package/usr/share/vello/install.sh
# which installs from that package. In the sources, scripts/install.sh
# installs from the release archive scripts/release.sh makes
# (out/Vello-<version>-win64.zip). --from names another package or archive,
# or a folder holding vello.exe, such as the build tree build/win. Installing
# again updates the program and keeps the user's files, and the autostart
# entry unless --no-autostart.
#
# --uninstall asks a running Vello to exit, as File > 閉じる does (so that
# it saves its window), waits for it, and removes everything the install
# made; it keeps the user's settings, address book, fixed phrases, schedule
# and log. With --purge those go too, and nothing of Vello is left. The
# Debian packages it installed stay: other programs may use them.
#
# The Debian packages Vello needs (Wine, the Noto CJK fonts, the locale
# sources) are installed with apt-get when missing, through sudo when not
# run as root.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
source "$here/wine-japanese.sh"

data=${XDG_DATA_HOME:-$HOME/.local/share}
app_dir=$data/vello
prefix=$data/wineprefixes/vello
bin_dir=$HOME/.local/bin
launcher=$bin_dir/vello
native_sender=$bin_dir/vello-send
apps_dir=$data/applications
icon_root=$data/icons/hicolor
icon_sizes="16 32 48 64 128 256"
autostart_dir=${XDG_CONFIG_HOME:-$HOME/.config}/autostart
# What the install puts into the program folder, and what Vello writes there
# for the user (each with the lock files and temporary files of its safe
# replace, which a copy ended in the middle of a write may leave).
program_files="vello.exe vello-send.exe VELLO.html readme.txt LICENSE.txt THIRD-PARTY-NOTICES.txt wine-japanese.sh"
user_files="vello.ini vello.dat velloFixed.dat vellot.dat vello.log"
# The folders the install had to create, so that uninstalling removes those
# and no others.
made_folders=$app_dir/.install-folders
packages="wine wine64 fonts-wine fonts-noto-cjk locales python3"

say() { echo "vello install: $*"; }
fail() { echo "vello install: $*" >&2; exit 1; }

usage() {
  # The comment at the top of this file.
  sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'
  exit "${1:-0}"
}

action=install from="" autostart=keep purge=no
while [ $# -gt 0 ]; do
  case "$1" in
    --from) [ $# -ge 2 ] || usage 2; from=$2; shift ;;
    --from=*) from=${1#--from=} ;;
    --autostart) autostart=yes ;;
    --no-autostart) autostart=no ;;
    --uninstall) action=uninstall ;;
    --purge) purge=yes ;;
    -h|--help) usage 0 ;;
    *) echo "vello install: unknown option: $1" >&2; usage 2 >&2 ;;
  esac
  shift
done
[ "$purge" = no ] || [ "$action" = uninstall ] || fail "--purge goes with --uninstall"
[ "$action" = install ] || { [ -z "$from" ] && [ "$autostart" = keep ]; } ||
  fail "--from and --autostart go with installing, not with --uninstall"

# Where the rest comes from: an unpacked Debian package (this script is its
# usr/share/vello/install.sh, or --from names the package), or the sources.
tree=""
[ -f "$here/../../lib/vello/vello.exe" ] && tree=$(cd "$here/../.." && pwd)
use_tree() {
  tree=$1
  japanese=$tree/share/vello/wine-japanese.sh
  launcher_source=$tree/bin/vello
  entry_source=$tree/share/applications/vello.desktop
  icon_source() { echo "$tree/share/icons/hicolor/${1}x$1/apps/vello.png"; }
  sender_source=$tree/bin/vello-send
}
if [ -n "$tree" ]; then
  use_tree "$tree"
else
  japanese=$here/wine-japanese.sh
  launcher_source=$root/packaging/linux/vello
  entry_source=$root/packaging/linux/vello.desktop
  icon_source() { echo "$root/src/resources/icons/vello-$1.png"; }
  sender_source=""
fi

# The environment Vello runs in: its prefix, no Wine menu entries or file
# associations written into the user's desktop (winemenubuilder), no
# Mono/Gecko prompts, the Japanese locale compiled into the prefix.
wine_environment() {
  export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}

# make_folder DIR: mkdir -p, noting each folder this creates.
make_folder() {
  local dir=$1 missing=()
  while [ ! -d "$dir" ]; do
    missing=("$dir" "${missing[@]}")
    dir=$(dirname "$dir")
  done
  for dir in "${missing[@]}"; do
    mkdir "$dir"
    created+=("$dir")
  done
}

# A path as one argument of a desktop entry's Exec: in double quotes with ",
# `, $ and \ escaped, then every \ doubled again, as the entry's string
# values escape it.
exec_quote() {
  local s=$1
  s=${s//\\/\\\\}; s=${s//\"/\\\"}; s=${s//\`/\\\`}; s=${s//\$/\\\$}
  s=${s//\\/\\\\}
  printf '"%s"' "$s"
}

# Single quotes for the launcher's shell text.
sh_quote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }

# The package's desktop entry, starting the command by its full path.
desktop_entry() {
  local exec_line
  exec_line="Exec=$(exec_quote "$launcher")"
  EXEC_LINE=$exec_line awk '/^Exec=/ { print ENVIRON["EXEC_LINE"]; next } { print }' "$entry_source"
}

install_packages() {
  local need=() pkg
  if ! command -v dpkg >/dev/null; then
    command -v wine >/dev/null ||
      fail "Wine is missing; install wine, the Noto CJK fonts and python3 with your system's packages"
    return
  fi
  for pkg in $packages; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
  done
  [ ${#need[@]} -gt 0 ] || { say "Debian packages: all there ($packages)"; return; }
  local sudo=()
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || fail "needs these Debian packages, and sudo to install them: ${need[*]}"
    sudo=(sudo)
  fi
  say "installing Debian packages: ${need[*]}"
  "${sudo[@]}" apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
}

# Puts the program files of the source (package, zip or folder) into $1.
unpack() {
  local into=$1 src=$from
  if [ -z "$src" ] && [ -n "$tree" ]; then
    src=$tree/lib/vello
  elif [ -n "$src" ] && [ -f "$src" ] && [[ "$src" == *.deb ]]; then
    say "unpacking the package $src"
    command -v dpkg-deb >/dev/null || fail "dpkg-deb is missing: cannot unpack $src"
    dpkg-deb -x "$src" "$into/package" || fail "cannot unpack $src"
    use_tree "$into/package/usr"
    src=$tree/lib/vello
  elif [ -z "$src" ]; then
    local version
    version=$(sed -n 's/^project(vello VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
    src=$root/out/Vello-$version-win64.zip
    [ -f "$src" ] || fail "no release archive at $src: make it with scripts/release.sh, or name an archive or a build folder with --from"
  fi
  if [ -d "$src" ]; then
    say "taking the program from the folder $src"
    local f
    for f in $program_files; do
      [ -f "$src/$f" ] && cp "$src/$f" "$into/"
    done
  elif [ -f "$src" ]; then
    say "taking the program from the archive $src"
    python3 - "$src" "$into" $program_files <<'PY' || fail "cannot unpack $src"
import os, sys, zipfile
archive, into, wanted = sys.argv[1], sys.argv[2], set(sys.argv[3:])
with zipfile.ZipFile(archive) as zf:
    for info in zf.infolist():
        name = info.filename.rsplit("/", 1)[-1]
        # The files sit in the archive's one folder; nothing else is taken.
        if name in wanted and info.filename.count("/") <= 1:
            with open(os.path.join(into, name), "wb") as out:
                out.write(zf.read(info))
PY
  else
    fail "no such archive or folder: $src"
  fi
  [ -f "$into/vello.exe" ] || fail "$src holds no vello.exe"
}

do_install() {
  install_packages
  command -v wine >/dev/null || fail "wine is still missing after installing the packages"
  created=()
  [ -f "$made_folders" ] && mapfile -t created < "$made_folders"

  staging=$(mktemp -d)
  trap 'rm -rf "$staging"' EXIT
  unpack "$staging"
  cp "$japanese" "$staging/wine-japanese.sh"

  say "program folder: $app_dir"
  make_folder "$app_dir"
  local f
  for f in $program_files; do
    [ -f "$staging/$f" ] || continue
    # A new file renamed over the old one: a running copy keeps its own.
    cp "$staging/$f" "$app_dir/.$f.new"
    mv -f "$app_dir/.$f.new" "$app_dir/$f"
  done

  wine_environment
  make_folder "$prefix"
  say "Japanese locale for Wine: $prefix/locale"
  vello_japanese_locale "$prefix/locale"
  [ -f "$prefix/locale/ja_JP.UTF-8/LC_CTYPE" ] || fail "cannot compile the ja_JP.UTF-8 locale (package locales)"
  if [ -f "$prefix/.vello-ready" ]; then
    say "Wine prefix: $prefix (already prepared)"
  else
    say "Wine prefix: $prefix (first time: this takes a minute)"
    vello_prepare_prefix
    touch "$prefix/.vello-ready"
  fi

  say "command: $launcher"
  make_folder "$bin_dir"
  # The package's launcher, taking the program from the user's own folder.
  PROGRAM_DIR="program_dir=$(sh_quote "$app_dir")" SUPPORT="support=$(sh_quote "$app_dir/wine-japanese.sh")" \
    awk '/^program_dir=/ { print ENVIRON["PROGRAM_DIR"]; next }
         /^support=/ { print ENVIRON["SUPPORT"]; next } { print }' "$launcher_source" > "$launcher.new"
  chmod 755 "$launcher.new"
  mv -f "$launcher.new" "$launcher"
  if [ -n "$sender_source" ] && [ -f "$sender_source" ]; then
    say "command-line sender: $native_sender"
    cp "$sender_source" "$native_sender.new"
    chmod 755 "$native_sender.new"
    mv -f "$native_sender.new" "$native_sender"
  fi

  say "desktop entry: $apps_dir/vello.desktop, icon vello in $icon_root"
  local size
  for size in $icon_sizes; do
    make_folder "$icon_root/${size}x$size/apps"
    cp "$(icon_source "$size")" "$icon_root/${size}x$size/apps/vello.png"
  done
  make_folder "$apps_dir"
  desktop_entry > "$apps_dir/vello.desktop"
  [ "$autostart" = keep ] && [ -f "$autostart_dir/vello.desktop" ] && autostart=yes
  if [ "$autostart" = yes ]; then
    say "autostart at log-in: $autostart_dir/vello.desktop"
    make_folder "$autostart_dir"
    { desktop_entry; echo "X-GNOME-Autostart-enabled=true"; } > "$autostart_dir/vello.desktop"
  elif [ "$autostart" = no ] && [ -f "$autostart_dir/vello.desktop" ]; then
    say "no autostart at log-in: removing $autostart_dir/vello.desktop"
    rm -f "$autostart_dir/vello.desktop"
  fi
  # Desktops watch these folders; the entry has no file types, so there is
  # no cache to update (and none to leave behind).

  printf '%s\n' "${created[@]}" | awk 'NF && !seen[$0]++' > "$made_folders"
  say "done. Start Vello from the desktop's menu or with: vello"
  case ":$PATH:" in
    *":$bin_dir:"*) ;;
    *) say "$bin_dir is not in PATH yet: log in again, or run $launcher" ;;
  esac
}

do_uninstall() {
  [ -d "$app_dir" ] || [ -d "$prefix" ] || [ -f "$launcher" ] || { say "Vello is not installed"; return; }
  if [ -d "$prefix" ] && command -v wineserver >/dev/null; then
    # Closing its windows ends Vello as File > 閉じる does: it saves its
    # window and stops listening. Wine's own processes in the prefix follow.
    say "asking Vello to exit, if it runs, and waiting for it"
    (
      wine_environment
      wine taskkill /im vello.exe >/dev/null 2>&1 </dev/null
      if ! timeout 60 wineserver -w 2>/dev/null; then
        say "Vello did not exit within a minute: ending Wine in its prefix"
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
      fi
    ) || true
  fi
  say "removing the Wine prefix $prefix"
  rm -rf "$prefix"
  say "removing the command, the desktop entry, the autostart entry and the icons"
  rm -f "$launcher" "$launcher.new" "$native_sender" "$native_sender.new" "$apps_dir/vello.desktop" \
    "$autostart_dir/vello.desktop"
  local size f
  for size in $icon_sizes; do rm -f "$icon_root/${size}x$size/apps/vello.png"; done
  say "removing the program from $app_dir"
  for f in $program_files; do rm -f "$app_dir/$f" "$app_dir/.$f.new"; done
  if [ "$purge" = yes ]; then
    say "removing the settings, address book, phrases, schedule and log (--purge)"
    for f in $user_files; do
      rm -f "$app_dir/$f" "$app_dir/$f.lock" "$app_dir/$f.lock.next" "$app_dir/$f".*.tmp "$app_dir/$f.tmp"
    done
  fi
  # The folders the install made, deepest first, where nothing else is left.
  if [ -f "$made_folders" ]; then
    local folders
    mapfile -t folders < <(sort -r "$made_folders")
    rm -f "$made_folders"
    for f in "${folders[@]}"; do
      [ -n "$f" ] && rmdir "$f" 2>/dev/null || true
    done
  fi
  # Vello's own folder, when --purge has emptied it, even where the record
  # of made folders went with an earlier uninstall.
  [ "$purge" = yes ] && rmdir "$app_dir" 2>/dev/null || true
  if [ -d "$app_dir" ]; then
    say "kept in $app_dir:"
    (cd "$app_dir" && ls -A | sed 's/^/  /')
  fi
  say "done"
}

"do_$action"
