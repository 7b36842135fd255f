#!/usr/bin/env bash
# End to end: the real vello.exe, copied into a fresh folder per scenario,
# started under Wine, driven from outside by e2e_driver.exe and by raw bytes
# on its port from this (Linux) side. Screenshots go to build/screenshots.
#   run_e2e.sh VELLO_EXE DRIVER_EXE [scenario...]
set -u
# Its copies of Vello must not reach the network: a namespace of its own.
source "$(dirname "$0")/../../scripts/isolate.sh"
vello_isolate "$0" "$@"
VELLO_EXE=$1
DRIVER_EXE=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/env.sh"
source "$here/../../scripts/xvfb.sh"
SHOTS=$VELLO_BUILD/screenshots
mkdir -p "$SHOTS"
source "$here/../checks.sh"
port_base=$((20000 + RANDOM % 20000))

drv() { timeout 30 wine "$DRIVER_EXE" "$@" 2> >(grep -a "^driver:" >&2) | tr -d '\r'; }
# A fresh folder with vello.exe and, optionally, a settings file.
new_run() {
  RUN=$(mktemp -d /tmp/vello-e2e.XXXXXX)
  cp "$VELLO_EXE" "$RUN/vello.exe"
  PORT=$((port_base++))
  # Discovery off as well: the run is isolated, and this says so twice.
  printf '[setup]\r\nport=%s\r\nDiscovery=0\r\n' "$PORT" > "$RUN/vello.ini"
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
  check "the File menu's commands" "$(drv menu-open 'ファイル(&F)' | tr '\n' ' ')" "仕事中モード(&W) - ログを開く(&L) - タイマー(&T) 送信待ちのメッセージ(&M)... - 閉じる(&X) "
  sleep 0.3
  shot main-window-file-menu
  drv close-menus
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
  # A new place first, so that what the tray's Exit writes cannot be what
  # File > Close wrote before.
  drv move 420 330 360 300
  check "the tray menu's commands" "$(drv tray-menu-open | tr '\n' ' ')" "仕事中モード(&W) - 設定(&S) 送信待ちのメッセージ(&M)... - キャンセル(&C) 終了(&X) "
  shot tray-menu
  drv popup "終了(&X)"
  check_true "tray menu Exit ends the program" wait_exit
  check "tray Exit writes the geometry too" "$(ini_value Left) $(ini_value Top) $(ini_value Width) $(ini_value Height)" "420 330 360 300"
  stop  # only if the exit above failed: the next scenario needs the desktop
}

scenario_hand_written_port() {
  new_run
  printf '[SETUP]\r\nPORT=%s\r\nDiscovery=0\r\n' "$PORT" > "$RUN/vello.ini"
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
  printf '[setup]\r\nport=%s\r\nLog=1\r\nDiscovery=0\r\n' "$PORT" > "$RUN/vello.ini"
  start
  drv set-composer "自分に送ります"
  drv set-dest 127.0.0.1
  drv menu "送信(&S)"
  sleep 1.5
  shot send-confirmation
  check "sent by address: confirmation" "$(drv box)" "Vello|送信しました！"
  check_true "sent by address: the balloon arrives" "wait_count TForm 1"
  drv set-dest ""
  # The confirmation came after the balloon (the line counts as sent once the
  # receiver, here the program itself, has taken it), so closing it left the
  # main window over the balloon: moved aside, as a person would.
  drv move 0 0 360 260
  check "the balloon's menu" "$(drv balloon-menu-open | tr '\n' ' ')" "返信する 引用して返信 - 閉じる　Ctrl+C "
  shot balloon-menu
  drv popup 返信する
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

# The flood peer: from one host (127.0.0.1), half-open connections far
# beyond its share (8 read at once and 64 waiting; the program resets the
# rest), held silent past its 10 s idle limit; from another (127.0.0.6),
# malformed lines, lines over the message bound and connections reset
# mid-line; meanwhile valid lines from four other hosts (127.0.0.2 to .5,
# fewer from each than the balloons one sender may have open), all shuffled
# and sent from four threads at once. Loopback only, bounded counts.
flood_peer() {  # flood_peer PORT VALID: prints nothing; the lines are "洪水 N"
  python3 - "$1" "$2" <<'PY'
import random, socket, struct, sys, threading, time
port, valid_count = int(sys.argv[1]), int(sys.argv[2])
rng = random.Random(7)
addr = ("127.0.0.1", port)

def line(text):
    return ('200,60,16777215,0,10,"MS ゴシック",0,N,"%s"' % text).encode("cp932")

items = [("send", line("洪水 %d" % i), "127.0.0.%d" % (2 + i % 4)) for i in range(valid_count)]
malformed = [b"abc", b"1,2,3", b"315,179,x,0,10,\"a\",0,N,\"t\"", b"\"no closing quote",
             b",,,,,,,,,", b"315,179,16777215,0,99999999999,\"a\",0,N,\"t\"", b"\xff\xfe\x81"]
for i in range(40):
    junk = bytes(rng.choice(b"abcXYZ-+ .;:\x81\x9f\xe0") for _ in range(rng.randint(1, 200)))
    items.append(("send", malformed[i] if i < len(malformed) else junk, "127.0.0.6"))
for _ in range(4):
    items.append(("huge", b'315,179,16777215,0,10,"a",0,N,"' + b"x" * (16 << 20), "127.0.0.6"))
for i in range(20):
    whole = line("切断 %d" % i)
    items.append(("reset", whole[: len(whole) // 2], "127.0.0.6"))
rng.shuffle(items)

held = []
for _ in range(300):
    held.append(socket.create_connection(addr, timeout=30))
start = time.time()

lock = threading.Lock()
def worker():
    while True:
        with lock:
            if not items:
                return
            kind, data, source = items.pop()
        try:
            s = socket.create_connection(addr, timeout=30, source_address=(source, 0))
            if kind == "reset":
                s.sendall(data)
                time.sleep(0.01)
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            else:
                s.sendall(data)
            s.close()
        except OSError:
            pass  # a huge line is cut off by the receiver
threads = [threading.Thread(target=worker) for _ in range(4)]
for t in threads: t.start()
for t in threads: t.join()
# Past the idle limit, so that the silent ones are swept by the program.
time.sleep(max(0, 12 - (time.time() - start)))
for s in held: s.close()
PY
}
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null; }

scenario_flood() {
  new_run
  start
  local valid=60 rss_before rss_after mon pings
  rss_before=$(rss_kib "$VPID")
  # Liveness and error boxes, sampled all through the flood.
  ( while [ ! -e "$RUN/flood.done" ]; do
      echo "boxes $(drv box-count)" >> "$RUN/monitor"
      echo "ping $(drv ping)" >> "$RUN/monitor"
    done ) &
  mon=$!
  flood_peer "$PORT" "$valid"
  for _ in $(seq 1 150); do [ "$(drv count TForm)" = "$valid" ] && break; sleep 0.2; done
  sleep 1
  touch "$RUN/flood.done"
  wait "$mon"
  shot flood
  check_true "alive after the flood" "kill -0 $VPID"
  check "the main window answers within 100 ms after the flood" "$(drv ping | cut -d' ' -f1)" "ok"
  check "one balloon for each valid line" "$(drv count TForm)" "$valid"
  # Each of "洪水 0" .. "洪水 59" exactly once: a text shown twice must not
  # stand in for one lost. The difference of the two sorted lists is empty.
  check "every valid line shown exactly once" \
    "$(diff <(drv texts TForm | grep '^洪水 ' | sort) <(seq 0 $((valid - 1)) | sed 's/^/洪水 /' | sort) | grep '^[<>]' | tr '\n' ' ')" ""
  check "no balloon from a reset or cut line" "$(drv texts TForm | grep -vc '^洪水 [0-9]*$')" "0"
  # The monitor pings all through the flood (at least 12 s, a ping every
  # 0.1-0.3 s here): fewer than 20 means it did not watch the flood.
  pings=$(grep -c '^ping ' "$RUN/monitor")
  check_true "the monitor pinged all through the flood ($pings pings, at least 20)" "[ $pings -ge 20 ]"
  check "every ping during the flood answered within 100 ms" \
    "$(grep '^ping ' "$RUN/monitor" | grep -vc '^ping ok ')" "0"
  check "never more than one error box" "$(awk '/^boxes/ && $2 > 1' "$RUN/monitor" | wc -l)" "0"
  check_true "an error box was shown" "grep -q '^boxes 1' '$RUN/monitor'"
  rss_after=$(rss_kib "$VPID")
  # What may stay: the balloons. A 200 x 120 balloon costs about 128 KiB
  # under Wine (its 32-bit surface alone is 200 * 120 * 4 = 94 KiB; 60 such
  # balloons sent alone grow the program by 7.5 MiB), and 3 MiB of slack for
  # the heap: 60 * 128 + 3072 = 10752 KiB. A flood run grows by about
  # 8.2 MiB. One of the 16 MiB lines kept goes far over it, and so do the
  # four lines' 1 MiB receive buffers kept (4 MiB).
  check_true "memory bounded: RSS $rss_before -> $rss_after KiB (allowance $((valid * 128 + 3072)) KiB)" \
    "[ -n '$rss_after' ] && [ $((rss_after - rss_before)) -lt $((valid * 128 + 3072)) ]"
  for _ in 1 2 3; do [ "$(drv box-count)" = 0 ] || drv box 300 >/dev/null; done
  stop
}

# vello-send.exe under Wine: the command line reaches it through Wine's
# conversion from the Unix locale, which loses every byte above 0x7F where
# the locale has no UTF-8 (LANG=C, as under cron). Text given there must be
# refused, never sent as other bytes; text on standard input still goes.
scenario_sender_locale() {
  local exe status said received
  exe=$(dirname "$VELLO_EXE")/vello-send.exe
  received=$(mktemp /tmp/vello-e2e-received.XXXXXX)
  PORT=$((port_base++))
  python3 -c '
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen(8)
s.settimeout(60)
open(sys.argv[2] + ".ready", "w").close()
with open(sys.argv[2], "w") as out:
    while True:
        try:
            c, _ = s.accept()
        except socket.timeout:
            break
        data = b""
        while True:
            b = c.recv(65536)
            if not b:
                break
            data += b
        c.close()
        out.write(data.hex() + "\n")
        out.flush()
' "$PORT" "$received" &
  local listener=$!
  # Listening before the first send, however loaded the machine is.
  for _ in $(seq 1 300); do [ -e "$received.ready" ] && break; sleep 0.1; done
  rm -f "$received.ready"
  local hello expected
  hello=$(printf 'こんにちは' | iconv -f UTF-8 -t CP932 | od -An -tx1 | tr -d ' \n')
  expected=$(printf '315,179,16777215,0,10,"MS ゴシック",0,N,"こんにちは\r\n"' | iconv -f UTF-8 -t CP932 |
    od -An -tx1 | tr -d ' \n')
  said=$( (unset LC_ALL LOCPATH; LANG=C timeout 30 wine "$exe" -p "$PORT" 127.0.0.1 'こんにちは' 2>&1 >/dev/null); echo "status $?")
  check "LANG=C: Japanese text on the command line is refused (status 3)" "${said##*status }" "3"
  check_true "LANG=C: the refusal says what to do" "grep -q 'C.UTF-8' <<< \"\$said\""
  status=$( (unset LC_ALL LOCPATH; printf 'こんにちは\n' | LANG=C timeout 30 wine "$exe" -p "$PORT" 127.0.0.1 >/dev/null 2>&1); echo $?)
  check "LANG=C: the same text on standard input is sent" "$status" "0"
  status=$(timeout 30 wine "$exe" -p "$PORT" 127.0.0.1 'こんにちは' >/dev/null 2>&1; echo $?)
  check "Japanese locale: the text on the command line is sent" "$status" "0"
  for _ in $(seq 1 50); do [ "$(wc -l < "$received" 2>/dev/null)" -ge 2 ] && break; sleep 0.1; done
  kill "$listener" 2>/dev/null; wait "$listener" 2>/dev/null
  check "exactly two messages arrived" "$(wc -l < "$received")" "2"
  check "each carries こんにちは in code page 932" "$(grep -c "^$expected\$" "$received")" "2"
  check_true "(the expected bytes hold the text)" "grep -q '$hello' <<< '$expected'"
  rm -f "$received"
}

scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(first_start hand_written_port receive send_to_itself flood sender_locale)
for s in "${scenarios[@]}"; do
  echo "== $s"
  "scenario_$s"
done
echo "e2e: $passed passed, $failed failed"
[ "$failed" = 0 ]
