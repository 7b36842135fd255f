#!/usr/bin/env bash
# Wine without a compiled Japanese locale runs in code page 1252 and garbles
# every Japanese text without a word. Where the locale cannot be compiled
# (no package locales: here a localedef that fails), each way of starting
# Wine must stop with an error that names the package, and start nothing.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/vello-locale-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/home"
printf '#!/bin/sh\nexit 1\n' > "$work/bin/localedef"
# A wine that would only show that something was started.
printf '#!/bin/sh\necho WINE-STARTED\n' > "$work/bin/wine"
cp "$work/bin/wine" "$work/bin/wineserver"
cp "$work/bin/wine" "$work/bin/wineboot"
chmod +x "$work/bin/"*
path=$work/bin:/usr/bin:/bin
# The launcher as install.sh writes it: the program and the set-up from here.
mkdir -p "$work/program"
sed -e "s|^program_dir=.*|program_dir='$work/program'|" -e "s|^support=.*|support='$root/scripts/wine-japanese.sh'|" \
  "$root/packaging/linux/vello" > "$work/vello"
chmod +x "$work/vello"
passed=0 failed=0

# name | command
cases=(
  "the shared function|source '$root/scripts/wine-japanese.sh'; vello_japanese_locale '$work/locale1' && echo REACHED"
  "the scripts' environment (env.sh)|VELLO_BUILD='$work/build' source '$root/scripts/env.sh' && echo REACHED"
  "the launcher of the package and the install|'$work/vello' && echo REACHED"
)
for c in "${cases[@]}"; do
  name=${c%%|*} command=${c#*|}
  env -i HOME="$work/home" PATH="$path" bash -c "$command" > "$work/out" 2> "$work/err"
  rc=$?
  if [ "$rc" != 0 ] && ! grep -q 'REACHED\|WINE-STARTED' "$work/out" &&
     grep -q 'cannot compile the Japanese locale ja_JP.UTF-8.*package locales' "$work/err"; then
    passed=$((passed + 1)); echo "ok   $name stops with an error"
  else
    failed=$((failed + 1))
    echo "FAIL $name: status $rc, output [$(cat "$work/out")], errors [$(cat "$work/err")]"
  fi
done
echo "locale test: $passed passed, $failed failed"
[ "$failed" = 0 ]
