#!/usr/bin/env bash
# End to end: the real vello.exe, copied into a fresh folder per scenario,
# started under Wine, driven from outside by e2e_driver.exe and by raw bytes
# on its port from this (Linux) side. Screenshots go to build/screenshots.
#   run_e2e.sh VELLO_EXE DRIVER_EXE [scenario...]
set -u
VELLO_EXE=$1
DRIVER_EXE=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/env.sh"
source "$here/../../scripts/xvfb.sh"
SHOTS=$VELLO_BUILD/screenshots
mkdir -p "$SHOTS"
passed=0
failed=0
port_base=$((20000 + RANDOM % 20000))

drv() { timeout 30 wine "$DRIVER_EXE" "$@" 2>/dev/null | tr -d '\r'; }
check() {
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); echo "ok   $1"
  else failed=$((failed + 1)); echo "FAIL $1: expected [$3], got [$2]"; fi
}
check_true() {
  if eval "$2"; then passed=$((passed + 1)); echo "ok   $1"
  else failed=$((failed + 1)); echo "FAIL $1"; fi
}
# A fresh folder with vello.exe and, optionally, a settings file.
new_run() {
  RUN=$(mktemp -d /tmp/vello-e2e.XXXXXX)
  cp "$VELLO_EXE" "$RUN/vello.exe"
  PORT=$((port_base++))
  printf '[setup]\r\nport=%s\r\n' "$PORT" > "$RUN/vello.ini"
}
start() {
  wine "$RUN/vello.exe" >/dev/null 2>&1 &
  VPID=$!
  for _ in $(seq 1 100); do [ "$(drv count TMainForm)" = 1 ] && break; sleep 0.1; done
  sleep 0.3
}
wait_exit() {
  for _ in $(seq 1 100); do kill -0 "$VPID" 2>/dev/null || return 0; sleep 0.1; done
  return 1
}
stop() {
  if kill -0 "$VPID" 2>/dev/null; then
    drv menu "閉じる(&X)"
    wait_exit || kill "$VPID" 2>/dev/null
  fi
  wait "$VPID" 2>/dev/null
}
# Raw bytes to the port: send PORT PIECES PAUSE < bytes
send_raw() {
  python3 -c '
import socket, sys, time
port, pieces, pause = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
data = sys.stdin.buffer.read()
s = socket.create_connection(("127.0.0.1", port), timeout=5)
step = max(1, -(-len(data) // pieces))
for i in range(0, len(data), step):
    s.sendall(data[i:i + step])
    if pause: time.sleep(pause)
s.close()
' "$1" "${2:-1}" "${3:-0}"
}
line() {  # line TEXT [look...]: a message line in CP932
  printf '%s,%s,%s,%s,%s,"%s",%s,%s,"%s"' "${2:-315}" "${3:-179}" "${4:-16777215}" "${5:-0}" "${6:-10}" \
    "${7:-MS ゴシック}" "${8:-0}" "${9:-N}" "$1" | iconv -f UTF-8 -t CP932
}
wait_count() {  # wait_count CLASS N
  for _ in $(seq 1 50); do [ "$(drv count "$1")" = "$2" ] && return 0; sleep 0.1; done
  return 1
}
ini_value() { tr -d '\r' < "$RUN/vello.ini" | grep -i "^$1=" | head -1 | cut -d= -f2; }
shot() { import -window root "$SHOTS/$1.png" 2>/dev/null; }

scenario_first_start() {
  new_run
  rm -f "$RUN/vello.ini"
  start
  check "first start: caption" "$(drv text TMainForm)" "Vello ver.1.5"
  check "first start: bounds" "$(drv wait TMainForm)" "360 244 323 258"
  # The File menu open, for the eye.
  read -r x y _ _ <<<"$(drv wait TMainForm)"
  xdotool mousemove $((x + 30)) $((y + 34)) click 1 2>/dev/null
  sleep 0.5
  shot main-window-file-menu
  xdotool key Escape 2>/dev/null
  sleep 0.2
  check "close box explains how to exit" "$(drv close-box; drv box)" "Vello|[メニュー]・[ファイル]・[閉じる]で終了してください"
  check "still running after the close box" "$(drv count TMainForm)" "1"
  # A second start points to the first and leaves it alone.
  wine "$RUN/vello.exe" >/dev/null 2>&1 &
  second=$!
  sleep 0.8
  shot second-start
  check "second start shows the message" "$(drv box)" "Vello|右下を見て！"
  wait "$second" 2>/dev/null
  check "first instance untouched" "$(drv count TMainForm)" "1"
  drv move 400 300 400 280
  sleep 0.2
  drv menu "閉じる(&X)"
  check_true "File > Close ends the program" wait_exit
  check "geometry written: Width" "$(ini_value Width)" "400"
  check "geometry written: Height" "$(ini_value Height)" "280"
  check "geometry written: Top" "$(ini_value Top)" "300"
  check "geometry written: Left" "$(ini_value Left)" "400"
  check "Pri written" "$(ini_value Pri)" "0"
  start
  check "next start restores the geometry" "$(drv wait TMainForm)" "400 300 400 280"
  drv tray-menu "終了(&X)"
  check_true "tray menu Exit ends the program" wait_exit
  check "tray Exit writes the geometry too" "$(ini_value Width)" "400"
}

scenario_hand_written_port() {
  new_run
  printf '[SETUP]\r\nPORT=%s\r\n' "$PORT" > "$RUN/vello.ini"
  start
  line 'ポート指定' | send_raw "$PORT"
  check_true "a hand-written SETUP/PORT is honoured" "wait_count TForm 1"
  stop
}

scenario_receive() {
  new_run
  start
  printf '315,179,8454143,255,16,"ＭＳ Ｐゴシック",1,N,"こんにちは、Vello です\r\n二行目も太字で\r\n"' |
    iconv -f UTF-8 -t CP932 | send_raw "$PORT" 3 0.3
  check_true "a line in three pieces pops one balloon" "wait_count TForm 1"
  sleep 0.5
  shot balloon
  check "the balloon is 315 x 239" "$(drv wait TForm | cut -d' ' -f3-)" "315 239"
  sleep 1.2
  shot tray-blinking
  for i in $(seq 1 20); do printf 'garbage %s' "$i" | send_raw "$PORT"; done
  sleep 1.5
  check "a burst of malformed lines leaves one error box" "$(drv box-count)" "1"
  drv box >/dev/null
  line 'まだ動いています' | send_raw "$PORT"
  check_true "the program is alive after the burst" "wait_count TForm 2"
  stop
}

scenario_send_to_itself() {
  new_run
  printf '[setup]\r\nport=%s\r\nLog=1\r\n' "$PORT" > "$RUN/vello.ini"
  start
  drv set-composer "自分に送ります"
  drv set-dest 127.0.0.1
  drv menu "送信(&S)"
  sleep 1.5
  shot send-confirmation
  check "sent by address: confirmation" "$(drv box)" "Vello|送信しました！"
  check_true "sent by address: the balloon arrives" "wait_count TForm 1"
  drv set-dest ""
  drv balloon-menu
  sleep 0.6
  shot balloon-menu
  read -r bx by _ _ <<<"$(drv wait TForm)"
  xdotool mousemove $((bx + 50)) $((by + 32)) click 1 2>/dev/null   # the first item, 返信する
  sleep 0.5
  check "reply fills the destination box with the sender" "$(drv get-dest)" "localhost"
  drv set-dest "$(hostname)"
  drv menu "送信(&S)"
  check "sent by computer name: confirmation" "$(drv box)" "Vello|送信しました！"
  check_true "sent by computer name: the balloon arrives" "wait_count TForm 2"
  stop
  log=$(iconv -f CP932 -t UTF-8 < "$RUN/vello.log" | tr -d '\r')
  check "the log holds two sent entries" "$(grep -c '^【送信】' <<<"$log")" "2"
  check "the log holds two received entries" "$(grep -c '^【受信】' <<<"$log")" "2"
  check "the log names the destination" "$(grep -c '^To : 127.0.0.1$' <<<"$log")" "1"
}

scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(first_start hand_written_port receive send_to_itself)
for s in "${scenarios[@]}"; do
  echo "== $s"
  "scenario_$s"
done
echo "e2e: $passed passed, $failed failed"
[ "$failed" = 0 ]
