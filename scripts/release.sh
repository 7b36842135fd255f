#!/usr/bin/env bash
# Makes the release, in out/:
#   Vello-<version>-win64.zip  for Windows: a stripped vello.exe, vello-send.exe,
#                              the help document, a read-me in Japanese, the
#                              licence and the third-party notices, all in one
#                              folder Vello-<version>/
#   Vello-<version>-x64.msi    the same files as an installer for one user
#                              (packaging/vello.wxs, built with wixl)
#   vello_<version>_amd64.deb  the Debian package for Linux desktops, with the
#                              native vello-send (packaging/make_deb.sh; its
#                              maintainer from DEBFULLNAME and DEBEMAIL, or
#                              git's user.name and user.email)
#
#   scripts/release.sh           build (build/release, build/release-native) and pack
#   scripts/release.sh --check   also build and pack a second time from a copy
#                                of the sources in another folder, and compare
#
# The builds need no googletest (BUILD_TESTING=OFF). The same sources give
# the same bytes in the archive and the package: the executables carry no
# time stamp and no build path, the entries are dated SOURCE_DATE_EPOCH (the
# last commit's time unless set), in a fixed order, with fixed attributes.
# (The installer is not compared: wixl stamps it with the time it is made.)
set -euo pipefail
source "$(dirname "$0")/env.sh"
jobs=${VELLO_JOBS:-$(nproc)}
out=${VELLO_RELEASE_OUT:-$VELLO_ROOT/out}
max_exe_bytes=2000000

check=no
case "${1:-}" in
  --check) check=yes ;;
  "") ;;
  *) echo "usage: scripts/release.sh [--check]" >&2; exit 2 ;;
esac

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$VELLO_ROOT" log -1 --format=%ct 2>/dev/null || echo 315532800)
fi
export SOURCE_DATE_EPOCH

tree=$VELLO_BUILD/release
native_tree=$VELLO_BUILD/release-native
echo "Building the release in $tree and $native_tree"
# Compiled as the tested build is (-O2), without its debug information.
cmake -S "$VELLO_ROOT" -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLO_RELEASE=ON -DBUILD_TESTING=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$VELLO_ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$tree" --target vello vello-send -j "$jobs"
cmake -S "$VELLO_ROOT" -B "$native_tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLO_RELEASE=ON -DBUILD_TESTING=OFF \
  >/dev/null
cmake --build "$native_tree" --target vello-send -j "$jobs"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/CMakeCache.txt")
exe_bytes=$(stat -c %s "$tree/vello.exe")
if [ "$exe_bytes" -ge "$max_exe_bytes" ]; then
  echo "release: vello.exe is $exe_bytes bytes, the release allows under $max_exe_bytes" >&2
  exit 1
fi

mkdir -p "$out"
zip=$out/Vello-$version-win64.zip
stage=$tree/stage
rm -rf "$stage"
python3 "$VELLO_ROOT/packaging/make_zip.py" --epoch "$SOURCE_DATE_EPOCH" --folder "Vello-$version" \
  --version "$version" --stage "$stage" "$zip" \
  readme.txt="$VELLO_ROOT/packaging/readme.txt" \
  vello.exe="$tree/vello.exe" \
  vello-send.exe="$tree/vello-send.exe" \
  VELLO.html="$VELLO_ROOT/src/resources/VELLO.html" \
  LICENSE.txt="$VELLO_ROOT/LICENSE" \
  THIRD-PARTY-NOTICES.txt="$VELLO_ROOT/THIRD-PARTY-NOTICES.txt"
msi=$out/Vello-$version-x64.msi
"$VELLO_ROOT/packaging/make_msi.sh" "$version" "$stage" "$msi"
"$VELLO_ROOT/packaging/make_deb.sh" "$version" "$stage" "$native_tree/vello-send" "$out"
deb=$out/vello_${version}_amd64.deb
echo "Release: $zip"
echo "         $msi"
echo "         $deb"

if [ "$check" = yes ]; then
  # A second build from scratch in another folder, with the same date.
  copy=$(mktemp -d /tmp/vello-release-check.XXXXXX)
  if git -C "$VELLO_ROOT" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$VELLO_ROOT" ls-files -z --cached --others --exclude-standard |
      (cd "$VELLO_ROOT" && xargs -0 cp --parents -t "$copy")
  else
    cp -a "$VELLO_ROOT/." "$copy/" && rm -rf "$copy/build" "$copy/out"
  fi
  echo "Building again in $copy"
  VELLO_BUILD="$copy/build" VELLO_RELEASE_OUT="$copy/out" "$copy/scripts/release.sh" >/dev/null
  for made in "$zip" "$deb"; do
    if ! cmp "$made" "$copy/out/$(basename "$made")"; then
      echo "release: the second build differs; it is kept in $copy" >&2
      exit 1
    fi
  done
  rm -rf "$copy"
  echo "Reproducible: a second build in another folder gave the same archive and package"
fi
