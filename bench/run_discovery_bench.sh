#!/usr/bin/env bash
# The discovery benchmark, run by hand (as root): real discovery owners
# under Wine, optionally with python3-zeroconf announcers beside them, all on
# the loopback interface of a network namespace of its own, so nothing
# leaves the machine and no other program's port 5353 is disturbed. The
# namespace gets a Wine prefix and wineserver of its own (a server started
# outside it would put the sockets outside).
#
#   bench/run_discovery_bench.sh [listed] [idle] [zeroconf]     (default: all)
#
# Environment: VELLO_BENCH_WIN (the cross build with discovery_bench.exe;
# default $VELLO_BUILD/win), ROUNDS (10), WARMUP_S (120), MEASURE_S (300),
# EXTRA (27 zeroconf announcers beside 3 copies).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/env.sh"
WIN=${VELLO_BENCH_WIN:-$VELLO_BUILD/win}
ROUNDS=${ROUNDS:-10}
WARMUP_S=${WARMUP_S:-120}
MEASURE_S=${MEASURE_S:-300}
EXTRA=${EXTRA:-27}
[ -f "$WIN/discovery_bench.exe" ] || { echo "missing $WIN/discovery_bench.exe: build the cross tree first" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "run as root (it makes a network namespace)" >&2; exit 2; }
/usr/bin/python3 -c 'import zeroconf' 2>/dev/null || { echo "needs python3-zeroconf" >&2; exit 2; }

if [ -z "${VELLO_IN_BENCH_NETNS:-}" ]; then
  "$here/../scripts/setup-wine.sh"
  work=$(mktemp -d /tmp/vello-discovery-bench.XXXXXX)
  cp -a "$WINEPREFIX" "$work/prefix"
  VELLO_IN_BENCH_NETNS=1 WINEPREFIX="$work/prefix" unshare -n "$0" "$@"
  status=$?
  rm -rf "$work"
  exit $status
fi

ip link set lo up
ip route add 224.0.0.0/4 dev lo
source "$here/../scripts/xvfb.sh"
wineserver -p 2>/dev/null
wine wineboot >/dev/null 2>&1 </dev/null
bench() { wine "$WIN/discovery_bench.exe" "$@" 2>/dev/null | sed -u 's/\r$//'; }
header() { echo; echo "== $1 ($(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores)"; }

run_listed() {
  for n in 3 30; do
    header "listed: a newcomer among $n copies, $ROUNDS rounds"
    bench listed "$n" "$ROUNDS"
  done
}

run_idle() {
  for n in 3 30; do
    header "idle: $n copies, first minute, then ${MEASURE_S} s after ${WARMUP_S} s"
    /usr/bin/python3 "$here/mdns_count.py" 127.0.0.1 $((WARMUP_S + MEASURE_S + 5)) > /tmp/mdns_count.$$ &
    counter=$!
    sleep 1
    bench idle "$n" "$WARMUP_S" "$MEASURE_S"
    wait $counter
    echo "on the wire, all senders, whole run: $(cat /tmp/mdns_count.$$)"
  done
  rm -f /tmp/mdns_count.$$
}

run_zeroconf() {
  stop=$(mktemp -u /tmp/vello-zc-stop.XXXXXX)
  /usr/bin/python3 "$here/zeroconf_announcers.py" "$EXTRA" 127.0.0.1 "$stop" > /tmp/zc.$$ 2>&1 &
  zc=$!
  for _ in $(seq 1 300); do grep -q registered /tmp/zc.$$ && break; sleep 0.1; done
  sleep 3
  header "listed: a newcomer among 3 copies and $EXTRA zeroconf announcers, $ROUNDS rounds"
  bench listed 4 "$ROUNDS"
  header "idle: 3 copies beside $EXTRA zeroconf announcers, ${MEASURE_S} s after ${WARMUP_S} s"
  /usr/bin/python3 "$here/mdns_count.py" 127.0.0.1 $((WARMUP_S + MEASURE_S + 5)) > /tmp/mdns_count.$$ &
  counter=$!
  sleep 1
  bench idle 3 "$WARMUP_S" "$MEASURE_S"
  wait $counter
  echo "on the wire, all senders, whole run: $(cat /tmp/mdns_count.$$)"
  touch "$stop"
  wait $zc
  rm -f "$stop" /tmp/zc.$$ /tmp/mdns_count.$$
}

what=("$@")
[ ${#what[@]} -gt 0 ] || what=(listed idle zeroconf)
for w in "${what[@]}"; do "run_$w"; done
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
[ -n "${VELLO_XVFB_PID:-}" ] && kill "$VELLO_XVFB_PID" 2>/dev/null
exit 0
