#!/usr/bin/env bash
# Makes the Windows installer (packaging/vello.wxs) with wixl from a folder
# holding the files as the release archive packs them:
#   make_msi.sh VERSION STAGE_DIR OUT.msi
# VERSION is the program's ("1.5"); the installer's is its three numbers
# ("1.5.0"). The product code is made from the version, so that each
# version has its own (a major upgrade replaces the one before) and the same
# version built again has the same.
set -euo pipefail
version=$1 stage=$(cd "$2" && pwd) out=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
command -v wixl >/dev/null || { echo "make_msi.sh: wixl is missing (Debian package wixl)" >&2; exit 1; }
msi_version=$version
while [ "$(tr -cd . <<<"$msi_version" | wc -c)" -lt 2 ]; do msi_version=$msi_version.0; done
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-Fa-f-]*\)".*/\1/p' "$here/vello.wxs")
product_code=$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
  "$upgrade_code" "$msi_version")
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
# wixl takes the files' sources relative to the folder it runs in; its
# warning that Platform is no property of Package is harmless.
(cd "$stage" && wixl -a x64 -D Version="$msi_version" -D ProductCode="$product_code" -D Stage=. \
   -o "$out.tmp" "$here/vello.wxs" 2> >(grep -v 'Platform' >&2))
mv -f "$out.tmp" "$out"
echo "$(stat -c %s "$out") bytes  $(basename "$out")"
