#!/usr/bin/env bash
# Runs a test program as an ordinary user, so that file permissions bind it:
# read-only and unreadable files refuse a writer as they do on a user's
# machine. CI runs as root, for whom they do not; root runs the program as
# "nobody" instead. The program is copied into a folder of its own first, as
# the build tree may lie where that user cannot go.
set -euo pipefail
program=$1
shift
if [ "$(id -u)" != 0 ]; then
  exec "$program" "$@"
fi
user=nobody
id -u "$user" >/dev/null
dir=$(mktemp -d "${TMPDIR:-/tmp}/vello-unprivileged.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cp "$program" "$dir/"
chmod 755 "$dir"
cd "$dir"
setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups \
  env HOME="$dir" TMPDIR=/tmp "$dir/$(basename "$program")" "$@"
