# Sourced: what Wine needs to show Vello's Japanese text, shared by the test
# prefix (env.sh, setup-wine.sh) and the user's install (install.sh).

# vello_japanese_locale DIR: Wine takes its ANSI code page (932) and its date
# formats from the Unix locale, and glibc has ja_JP.UTF-8 only once compiled.
# Compiles it into DIR when it is not there yet (no root needed) and selects
# it. Without it Wine would run quietly in code page 1252 and garble every
# Japanese text: that is an error, said on standard error, and the status 1.
vello_japanese_locale() {
  local dir=$1
  if [ ! -f "$dir/ja_JP.UTF-8/LC_CTYPE" ]; then
    mkdir -p "$dir" 2>/dev/null
    localedef -i ja_JP -f UTF-8 "$dir/ja_JP.UTF-8" >/dev/null 2>&1
  fi
  if [ ! -f "$dir/ja_JP.UTF-8/LC_CTYPE" ]; then
    echo "vello: cannot compile the Japanese locale ja_JP.UTF-8 into $dir, which Wine needs for code page 932:" \
         "install the Debian package locales (its localedef and /usr/share/i18n/locales/ja_JP)" >&2
    return 1
  fi
  export LOCPATH=$dir
  { export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8; } 2>/dev/null
}

# vello_prepare_prefix [REG_TEXT]: creates $WINEPREFIX and makes it Japanese:
# font replacements so that "MS ゴシック" and "ＭＳ Ｐゴシック" render with
# Noto CJK, the Japanese locale, caption glyphs (Marlett). REG_TEXT holds
# further .reg lines for the caller's own needs.
vello_prepare_prefix() {
  local extra=${1:-}
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w || true

  # A .reg file with Japanese names must be UTF-16LE with a byte-order mark
  # and CR LF line ends.
  local reg
  reg=$(mktemp --suffix=.reg)
  {
    printf '\xff\xfe'
    { cat <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS ゴシック"="Noto Sans Mono CJK JP"
"ＭＳ ゴシック"="Noto Sans Mono CJK JP"
"MS Gothic"="Noto Sans Mono CJK JP"
"ＭＳ Ｐゴシック"="Noto Sans CJK JP"
"MS PGothic"="Noto Sans CJK JP"
"MS UI Gothic"="Noto Sans CJK JP"
"ＭＳ 明朝"="Noto Serif CJK JP"
"MS Mincho"="Noto Serif CJK JP"

[HKEY_CURRENT_USER\Control Panel\International]
"Locale"="00000411"
REG
      printf '%s\n' "$extra"
    } | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE
  } > "$reg"
  wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1 </dev/null ||
    wine regedit /S "$reg" >/dev/null 2>&1 </dev/null
  rm -f "$reg"
  # Debian's Wine does not find its own Marlett, and caption buttons then
  # draw as letters. (Tahoma is left out: it turned Japanese titles into boxes.)
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || true
  fi
  wineserver -w || true
}
