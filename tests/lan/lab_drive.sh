# Sourced after lab.sh: Vello and its peers on the lab's hosts, driven from
# outside (by the run and by the benchmarks). Needs VELLO_EXE and DRIVER_EXE.
LAB_TOOLS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SHOTS=$VELLO_BUILD/screenshots
PEER=(python3 "$LAB_TOOLS/lan_peer.py")
# Debian's python3 has python3-zeroconf, the independent implementation.
ZPEER=(/usr/bin/python3 "$LAB_TOOLS/lan_peer.py")
PORT=5963
# drv HOST ARGS...: the driver inside the host, against its Vello.
drv() {
  host_run "$1" timeout 30 wine "$DRIVER_EXE" "${@:2}" 2> >(grep -a "^driver:" >&2) | tr -d '\r'
}
now_ms() { date +%s%3N; }
shot() { import -display "${HOST_DISPLAY[$1]}" -window root "$SHOTS/lan-$2.png" 2>/dev/null; }

declare -A VELLO_PID VELLO_RUN VELLO_STARTED
# vello_start HOST [INI-LINES]: Vello started in a fresh folder on the host,
# logging, its main window at the left so that balloons in the middle of the
# screen stay clear; INI-LINES ("key=value\r\n"...) join [setup]. Sets
# VELLO_STARTED[HOST], the Unix time in ms just before the start.
vello_start() {
  local id=$1 run
  run=$(mktemp -d "${HOST_DIR[$id]}/run.XXXXXX")
  cp "$VELLO_EXE" "$run/vello.exe"
  printf '[setup]\r\nport=%s\r\nLog=1\r\n%b[window]\r\nLeft=20\r\nTop=60\r\n' "$PORT" "${2:-}" > "$run/vello.ini"
  VELLO_STARTED[$id]=$(now_ms)
  host_spawn "$id" wine "$run/vello.exe" </dev/null >/dev/null 2>&1
  VELLO_PID[$id]=$!
  VELLO_RUN[$id]=$run
}
# vello_wait HOST: its main window is up.
vello_wait() {
  for _ in $(seq 1 100); do [ "$(drv "$1" count TMainForm)" = 1 ] && break; sleep 0.1; done
  sleep 0.3
}
# vello_again HOST: Vello started again in the folder of its last start
# (its settings, log and kept messages as that run left them).
vello_again() {
  local id=$1
  VELLO_STARTED[$id]=$(now_ms)
  host_spawn "$id" wine "${VELLO_RUN[$id]}/vello.exe" </dev/null >/dev/null 2>&1
  VELLO_PID[$id]=$!
  vello_wait "$id"
}
vello_up() {
  vello_start "$@"
  vello_wait "$1"
}
vello_down() {
  local id=$1 pid=${VELLO_PID[$1]:-}
  [ -n "$pid" ] || return 0
  if kill -0 "$pid" 2>/dev/null; then
    drv "$id" menu "閉じる(&X)"
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null
  fi
  wait "$pid" 2>/dev/null
  VELLO_PID[$id]=
}
# log_lines HOST: the host's Vello log as UTF-8, without CR.
log_lines() { iconv -f CP932 -t UTF-8 2>/dev/null < "${VELLO_RUN[$1]}/vello.log" | tr -d '\r'; }

# wait_balloon HOST TEXT: a balloon showing TEXT (one of its lines) appears
# within 10 s.
wait_balloon() {
  local end=$((SECONDS + 10))
  while [ $SECONDS -le $end ]; do
    drv "$1" texts TForm | grep -qFx -- "$2" && return 0
    sleep 0.1
  done
  return 1
}

# send_from_composer HOST DESTINATION TEXT: typed and sent as a person
# would, through the menu; prints the box that answered.
send_from_composer() {
  drv "$1" set-composer "$3"
  drv "$1" set-dest "$2"
  drv "$1" menu "送信(&S)"
  drv "$1" box
}

# timed_send FROM TO TIMEOUT HOLD TEXT: a message line from a peer on FROM
# to TO's Vello while TO's driver watches for the balloon and pings TO's
# main window. Sets LATENCY (ms from the connect to the balloon, or empty),
# SENT (the connect, Unix ms), PINGS, LATE (pings not answered within
# 100 ms) and WORST (the slowest ping's ms).
timed_send() {
  local from=$1 to=$2 watch=$LAB_DIR/watch.$RANDOM sent shown
  # Straight into the file (a pipe would hold the start line back).
  host_run "$to" timeout 60 wine "$DRIVER_EXE" watch-balloon "$3" "$4" > "$watch" 2>/dev/null &
  local watcher=$!
  for _ in $(seq 1 200); do grep -q '^start ' "$watch" && break; sleep 0.05; done
  sent=$(host_run "$from" "${PEER[@]}" send "${HOST_ADDR[$to]}" "$PORT" "$5")
  SENT=$sent
  wait "$watcher"
  shown=$(tr -d '\r' < "$watch" | awk '$1 == "balloon" && $2 != "none" {print $2}')
  LATENCY=
  [ -n "$shown" ] && [ -n "$sent" ] && LATENCY=$((shown - sent))
  read -r _ PINGS _ LATE _ WORST <<<"$(tr -d '\r' < "$watch" | grep '^pings ')"
  PINGS=${PINGS:-0}
  LATE=${LATE:-?}
  WORST=${WORST:-?}
}

# wait_line FILE REGEX SECONDS: a line matching REGEX is in FILE in time.
wait_line() {
  local end=$((SECONDS + $3))
  while [ $SECONDS -le $end ]; do
    tr -d '\r' 2>/dev/null < "$1" | grep -qa -- "$2" && return 0
    sleep 0.1
  done
  return 1
}
# wait_line_count FILE REGEX N SECONDS: FILE holds N lines matching REGEX in time.
wait_line_count() {
  local end=$((SECONDS + $4))
  while [ $SECONDS -le $end ]; do
    [ "$(tr -d '\r' 2>/dev/null < "$1" | grep -ca -- "$2")" = "$3" ] && return 0
    sleep 0.1
  done
  return 1
}
# first_ms FILE WORD NAME: the time of the line "WORD NAME MS" from dest-watch.
first_ms() { tr -d '\r' < "$1" | awk -v w="$2" -v n="$3" '$1 == w && $2 == n {print $3; exit}'; }
# list_rows FILE: the rows dest-watch saw last, each followed by a blank;
# those after the separator sorted (the list appends copies as they come).
list_rows() {
  local rows=() row head= sep= tail=()
  read -ra rows <<<"$(tr -d '\r' < "$1" | grep '^rows' | tail -1)"
  for row in "${rows[@]:1}"; do
    if [ -n "$sep" ]; then tail+=("$row"); else head+="$row "; [ "$row" = ------ ] && sep=1; fi
  done
  printf '%s' "$head"
  [ ${#tail[@]} -eq 0 ] || printf '%s\n' "${tail[@]}" | sort | tr '\n' ' '
}

