#!/usr/bin/env bash
# Makes the Debian package for Linux desktops with dpkg-deb alone:
#   make_deb.sh VERSION STAGE_DIR VELLO_SEND OUT_DIR
# STAGE_DIR holds the Windows program as the release archive packs it
# (make_zip.py --stage), VELLO_SEND is the native sender. Writes
# OUT_DIR/vello_VERSION_amd64.deb and prints its name.
#
#   /usr/bin/vello               the launcher (packaging/linux/vello)
#   /usr/bin/vello-send          the native sender
#   /usr/lib/vello/              vello.exe, vello-send.exe, the help, the read-me,
#                                the licence and the notices: what each user's
#                                copy is made from
#   /usr/share/vello/            the Wine prefix set-up the launcher uses, and
#                                install.sh for a user without root
#   /usr/share/applications/vello.desktop, the icons, the copyright file
#
# The maintainer is who builds it: DEBFULLNAME and DEBEMAIL as Debian's
# tools take them, else git's user.name and user.email.
set -euo pipefail
version=$1 stage=$2 vello_send=$3 out_dir=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root_dir=$(cd "$here/.." && pwd)
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root_dir" log -1 --format=%ct 2>/dev/null || echo 315532800)}

name=${DEBFULLNAME:-$(git -C "$root_dir" config user.name 2>/dev/null || true)}
email=${DEBEMAIL:-$(git -C "$root_dir" config user.email 2>/dev/null || true)}
if [ -z "$name" ] || [ -z "$email" ]; then
  echo "make_deb.sh: say who builds the package: DEBFULLNAME and DEBEMAIL, or git's user.name and user.email" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pkg=$work/vello
mkdir -p "$pkg/DEBIAN" "$pkg/usr/bin" "$pkg/usr/lib/vello" "$pkg/usr/share/vello" \
  "$pkg/usr/share/applications" "$pkg/usr/share/doc/vello"
install -m 755 "$here/linux/vello" "$pkg/usr/bin/vello"
install -m 755 "$vello_send" "$pkg/usr/bin/vello-send"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$pkg/usr/bin/vello-send"
for f in vello.exe vello-send.exe VELLO.html readme.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  install -m 644 "$stage/$f" "$pkg/usr/lib/vello/$f"
done
install -m 644 "$root_dir/scripts/wine-japanese.sh" "$pkg/usr/share/vello/wine-japanese.sh"
install -m 755 "$root_dir/scripts/install.sh" "$pkg/usr/share/vello/install.sh"
install -m 644 "$here/linux/vello.desktop" "$pkg/usr/share/applications/vello.desktop"
for size in 16 32 48 64 128 256; do
  mkdir -p "$pkg/usr/share/icons/hicolor/${size}x$size/apps"
  install -m 644 "$root_dir/src/resources/icons/vello-$size.png" "$pkg/usr/share/icons/hicolor/${size}x$size/apps/vello.png"
done

{
  cat <<EOT
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Vello
Comment: The Windows executables in /usr/lib/vello and /usr/bin/vello-send
 contain the runtime of the toolchain that builds them: the MinGW-w64 runtime
 and winpthreads (ZPL-2.1, expat and other permissive terms) and GCC's runtime
 libraries (GPL-3+ with the GCC Runtime Library Exception 3.1). Their notices
 are in /usr/lib/vello/THIRD-PARTY-NOTICES.txt.

Files: *
Copyright: 2026 The Vello developers
License: Expat
EOT
  # The licence's own text, as a copyright file's paragraph holds it.
  sed -n '/^Permission is hereby granted/,$p' "$root_dir/LICENSE" | sed 's/^$/./; s/^/ /'
} > "$pkg/usr/share/doc/vello/copyright"
chmod 644 "$pkg/usr/share/doc/vello/copyright"
{
  echo "vello ($version) unstable; urgency=medium"
  echo
  echo "  * Vello $version."
  echo
  echo " -- $name <$email>  $(LC_ALL=C date -u -R -d "@$epoch")"
} | gzip -9n > "$pkg/usr/share/doc/vello/changelog.gz"
chmod 644 "$pkg/usr/share/doc/vello/changelog.gz"

# The native sender needs the C library at the version of the newest symbol
# it takes from it.
glibc=$(objdump -T "$pkg/usr/bin/vello-send" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -V | tail -1)
installed_kb=$(du -sk --exclude=DEBIAN "$pkg" | cut -f1)
cat > "$pkg/DEBIAN/control" <<EOT
Package: vello
Version: $version
Architecture: amd64
Maintainer: $name <$email>
Installed-Size: $installed_kb
Depends: libc6 (>= $glibc), wine, wine64, fonts-wine, fonts-noto-cjk, locales
Section: net
Priority: optional
Description: pop-up messages between the computers of a local network
 Vello sends short messages between the computers of one local network,
 each shown on the receiving screen as a speech balloon in the sender's
 font and colours. Its user interface is Japanese. Every running copy
 listens on TCP port 5963 and finds the other copies of its network
 segment by multicast DNS (UDP port 5353).
 .
 This package holds the Windows program, run under Wine in each user's own
 Wine prefix with Japanese fonts and locale (the command vello), and the
 native command-line sender vello-send.
EOT
(cd "$pkg" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) > "$pkg/DEBIAN/md5sums"
chmod 644 "$pkg/DEBIAN/control" "$pkg/DEBIAN/md5sums"
find "$pkg" -type d -exec chmod 755 {} +
find "$pkg" -exec touch --no-dereference -d "@$epoch" {} +

mkdir -p "$out_dir"
deb=$out_dir/vello_${version}_amd64.deb
SOURCE_DATE_EPOCH=$epoch dpkg-deb --root-owner-group -Zxz --build "$pkg" "$deb.tmp" >/dev/null
mv -f "$deb.tmp" "$deb"
echo "$(stat -c %s "$deb") bytes  $(basename "$deb")"
