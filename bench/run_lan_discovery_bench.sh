#!/usr/bin/env bash
# Discovery on a hostile and on a crowded link, measured in a lab of
# network namespaces (tests/lan/lab.sh; nothing leaves the machine), run by
# hand as root:
#
#   bench/run_lan_discovery_bench.sh [flood] [crowd]      (default: both)
#
# flood: pc-d floods the link with multicast DNS, FLOOD_RATE packets a
#   second of one kind at a time (malformed, queries, made-up copies of the
#   service, all three in turn), while pc-a sends FLOOD_SENDS messages to
#   Vello on pc-b, one after the other; for each message the time from the
#   connection to the balloon, and pc-b's main window pinged every 20 ms
#   meanwhile. Each kind with discovery on and off, and without a flood.
# crowd: one host holds CROWD addresses of the link, each announcing a copy
#   of the service from port 5353 (tests/lan/lan_peer.py mdns-crowd). The
#   time until pc-b, already running, lists them all; the time until pc-c,
#   started afterwards, lists them all and pc-b; then, over CROWD_MEASURE_S
#   seconds, every packet on the link by sender.
#
# Environment: VELLO_BENCH_EXE (the vello.exe to measure; default the
# build's), FLOOD_RATE (3000), FLOOD_SENDS (8), CROWD (1000),
# CROWD_MEASURE_S (300).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/env.sh"
VELLO_EXE=$(realpath "${VELLO_BENCH_EXE:-$VELLO_BUILD/win/vello.exe}")
DRIVER_EXE=$(realpath "$VELLO_BUILD/win/e2e_driver.exe")
FLOOD_RATE=${FLOOD_RATE:-3000}
FLOOD_SENDS=${FLOOD_SENDS:-8}
CROWD=${CROWD:-1000}
CROWD_MEASURE_S=${CROWD_MEASURE_S:-300}
LAB_PREFIX=16  # room for the crowd: 198.18.0.0/16
source "$here/../tests/lan/lab.sh"
source "$here/../tests/lan/lab_drive.sh"

header() { echo; echo "== $1 ($(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg))"; }

run_flood() {
  header "flood: $FLOOD_RATE packets a second, $FLOOD_SENDS messages each, $(basename "$VELLO_EXE")"
  echo "| flood | discovery | shown after, median / max ms | pings | over 100 ms | worst ping ms | flood sent |"
  echo "|---|---|---|---|---|---|---|"
  local discovery kind i flooder latencies worst late pings
  for discovery in 1 0; do
    for kind in none malformed queries forged forged,malformed,queries; do
      vello_up b "Discovery=$discovery\r\n"
      flooder=
      : > "$LAB_DIR/flood"
      if [ "$kind" != none ]; then
        host_spawn d "${PEER[@]}" mdns-flood "${HOST_ADDR[d]}" "$FLOOD_RATE" $((4 + FLOOD_SENDS * 4)) "$kind" \
          > "$LAB_DIR/flood" 2>&1
        flooder=$!
        sleep 2  # made-up copies have filled the cache by now
      fi
      latencies=() worst=0 late=0 pings=0
      for i in $(seq 1 "$FLOOD_SENDS"); do
        timed_send a b 3000 300 "計測 $i"
        latencies+=("${LATENCY:-99999}")
        pings=$((pings + PINGS))
        late=$((late + ${LATE/\?/0}))
        [ "${WORST/\?/0}" -gt "$worst" ] && worst=${WORST/\?/0}
      done
      [ -n "$flooder" ] && { kill "$flooder" 2>/dev/null; wait "$flooder" 2>/dev/null; }
      vello_down b
      local sorted median
      sorted=($(printf '%s\n' "${latencies[@]}" | sort -n))
      median=${sorted[$(( (${#sorted[@]} - 1) / 2 ))]}
      echo "| $kind | $([ "$discovery" = 1 ] && echo on || echo off) | $median / ${sorted[-1]} | $pings | $late | $worst |" \
        "$( [ -n "$flooder" ] && (grep -o 'flooded.*' "$LAB_DIR/flood" || echo "killed at $((4 + FLOOD_SENDS * 4)) s") ) |"
    done
  done
}

run_crowd() {
  header "crowd: $CROWD copies on one host, each from an address of its own"
  local first=${CROWD_FIRST:-198.18.4.0} addresses=() i t0 last seen window_c count
  host_addresses crowd "$first" "$CROWD"
  # One interpreter for all of them: a start each would take minutes.
  mapfile -t addresses < <(python3 -c "import ipaddress,sys
for i in range(int(sys.argv[2])): print(ipaddress.IPv4Address(sys.argv[1]) + i)" "$first" "$CROWD")
  vello_up b
  host_spawn crowd "${PEER[@]}" mdns-crowd "$first" "$CROWD" > "$LAB_DIR/crowd-announcer" 2>&1
  local responder=$!
  for _ in $(seq 1 300); do grep -q '^announced' "$LAB_DIR/crowd-announcer" && break; sleep 0.1; done
  t0=$(awk '$1 == "announced" {print $2}' "$LAB_DIR/crowd-announcer")
  drv b dest-watch 120000 seen "${addresses[@]}" > "$LAB_DIR/crowd-b"
  count=$(grep -c '^seen' "$LAB_DIR/crowd-b")
  last=$(awk '$1 == "seen" {print $3}' "$LAB_DIR/crowd-b" | sort -n | tail -1)
  echo "pc-b (running before) lists $count of $CROWD, all $((last - t0)) ms after the crowd's first announcement"

  vello_start c
  drv c dest-watch 120000 seen pc-b "${addresses[@]}" > "$LAB_DIR/crowd-c"
  window_c=$(awk '$1 == "window" {print $2}' "$LAB_DIR/crowd-c")
  count=$(grep -c '^seen' "$LAB_DIR/crowd-c")
  last=$(awk '$1 == "seen" {print $3}' "$LAB_DIR/crowd-c" | sort -n | tail -1)
  echo "pc-c (started after) lists $count of $((CROWD + 1)) (the crowd and pc-b), all $((last - window_c)) ms after its window"

  host_run d "${PEER[@]}" mdns-count "${HOST_ADDR[d]}" "$CROWD_MEASURE_S" "${HOST_ADDR[b]}" "${HOST_ADDR[c]}" \
    > "$LAB_DIR/count" 2>&1
  local total from_b from_c minutes
  total=$(awk '$1 == "packets" {print $2}' "$LAB_DIR/count")
  from_b=$(awk -v a="${HOST_ADDR[b]}" '$1 == "from" && $2 == a {print $3}' "$LAB_DIR/count")
  from_c=$(awk -v a="${HOST_ADDR[c]}" '$1 == "from" && $2 == a {print $3}' "$LAB_DIR/count")
  minutes=$(python3 -c "print($CROWD_MEASURE_S / 60)")
  python3 -c "
t, b, c, n, m = $total, $from_b, $from_c, $CROWD + 2, $minutes
print('over %.0f min: %d packets on the link, %.2f per copy per minute; pc-b sent %.1f a minute, pc-c %.1f, the crowd %.2f per copy per minute' % (m, t, t / n / m, b / m, c / m, (t - b - c) / (n - 2) / m))"
  drv b dest-watch 3000 seen pc-c "${addresses[@]}" > "$LAB_DIR/crowd-b-end"
  drv c dest-watch 3000 seen pc-b "${addresses[@]}" > "$LAB_DIR/crowd-c-end"
  echo "at the end pc-b lists $(grep -c '^seen' "$LAB_DIR/crowd-b-end") of $((CROWD + 1)), pc-c $(grep -c '^seen' "$LAB_DIR/crowd-c-end") of $((CROWD + 1))"
  kill "$responder" 2>/dev/null
  wait "$responder" 2>/dev/null
  vello_down c
  vello_down b
}

lab_sweep_stale
lab_possible || exit 2
trap lab_down EXIT
trap 'exit 130' INT TERM HUP
"$here/../scripts/setup-wine.sh"
lab_up
host_add a pc-a 1 && host_add b pc-b 2 && host_add c pc-c 3 && host_add d pc-d 4 && host_add crowd crowd 60 || exit 1
for id in a b c d crowd; do host_files "$id" "$(hosts_lines a b c)" 'nameserver 127.0.0.1\n'; done
hosts_wine "$WINEPREFIX" b c || { lab_log "the hosts' Wine did not start"; exit 1; }
what=("$@")
[ ${#what[@]} -gt 0 ] || what=(flood crowd)
for w in "${what[@]}"; do "run_$w"; done
