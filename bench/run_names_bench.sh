#!/usr/bin/env bash
# Receiving when names cannot be had, and memory under a flood of large
# messages; run by hand, as root. Everything runs in network and mount
# namespaces of its own: only the loopback interface, a hosts file that
# knows localhost alone, and a name server (on 127.0.0.53) that takes every
# query and never answers, so a reverse look-up of any other sender waits
# for the resolver's whole time-out. No packet leaves the namespace. The
# receivers and the measuring peer share a Wine prefix and wineserver of
# their own (a server started outside would put the sockets outside).
#
#   bench/run_names_bench.sh [names] [flood]     (default: both)
#
# names: Vello against the minimal receiver, side by side, their messages
#   interleaved, each message from a loopback address not seen before (so
#   each starts a look-up that never ends); connection -> balloon shown and
#   -> handler done, and both main windows pinged every 20 ms throughout;
#   NAMES_RUNS times, each run followed by one with a name server that
#   refuses at once, for comparison.
# flood: FLOOD_SENDERS senders, each writing a line of FLOOD_BYTES (just
#   under the message bound) on FLOOD_EACH connections at once, to Vello,
#   FLOOD_ROUNDS times; its memory sampled meanwhile, and its peak resident
#   size as Linux counts it.
#
# Environment: VELLO_BENCH_WIN (the cross build with vello.exe,
# minimal_receiver.exe and bench_peer.exe; default $VELLO_BUILD/win),
# NAMES_N (300), NAMES_RUNS (3), POLL_US (100), RESOLVER ("timeout:5 attempts:2", the
# system's default), FLOOD_SENDERS (64), FLOOD_EACH (8), FLOOD_BYTES
# (327664), FLOOD_ROUNDS (3), FLOOD_SIZE (315x179, the balloon's size as
# the line asks for it).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/env.sh"
WIN=${VELLO_BENCH_WIN:-$VELLO_BUILD/win}
NAMES_N=${NAMES_N:-300}
NAMES_RUNS=${NAMES_RUNS:-3}
POLL_US=${POLL_US:-100}
RESOLVER=${RESOLVER:-timeout:5 attempts:2}
FLOOD_SENDERS=${FLOOD_SENDERS:-64}
FLOOD_EACH=${FLOOD_EACH:-8}
FLOOD_BYTES=${FLOOD_BYTES:-$((320 * 1024 - 16))}
FLOOD_ROUNDS=${FLOOD_ROUNDS:-3}
FLOOD_SIZE=${FLOOD_SIZE:-315x179}
for exe in vello.exe minimal_receiver.exe bench_peer.exe; do
  [ -f "$WIN/$exe" ] || { echo "missing $WIN/$exe: build the cross tree first" >&2; exit 2; }
done
[ "$(id -u)" = 0 ] || { echo "run as root (it makes network and mount namespaces)" >&2; exit 2; }

if [ -z "${VELLO_IN_NAMES_NETNS:-}" ]; then
  "$here/../scripts/setup-wine.sh"
  work=$(mktemp -d /tmp/vello-names-bench.XXXXXX)
  cp -a "$WINEPREFIX" "$work/prefix"
  printf 'nameserver 127.0.0.53\noptions %s\n' "$RESOLVER" > "$work/resolv.conf"
  printf '127.0.0.1\tlocalhost\n' > "$work/hosts"
  VELLO_IN_NAMES_NETNS=1 BENCH_WORK=$work WINEPREFIX="$work/prefix" \
    unshare -n -m --propagation private "$0" "$@"
  status=$?
  rm -rf "$work"
  exit $status
fi

mount --bind "$BENCH_WORK/resolv.conf" /etc/resolv.conf
mount --bind "$BENCH_WORK/hosts" /etc/hosts
ip link set lo up
python3 "$here/../tests/lan/lan_peer.py" swallow-dns 127.0.0.53 >/dev/null 2>&1 &
swallower=$!
source "$here/../scripts/xvfb.sh"
wineserver -p 2>/dev/null
wine wineboot >/dev/null 2>&1 </dev/null

port_base=$((21000 + RANDOM % 20000))
peer() { wine "$WIN/bench_peer.exe" "$@" 2>/dev/null | tr -d '\r'; }
fresh() {
  RUN=$(mktemp -d "$BENCH_WORK/run.XXXXXX")
  cp "$WIN/vello.exe" "$WIN/minimal_receiver.exe" "$RUN/"
  VPORT=$((port_base++))
  FPORT=$((port_base++))
  printf '[setup]\r\nport=%s\r\n' "$VPORT" > "$RUN/vello.ini"
}
header() {
  echo
  echo "== $1 ($(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores)"
}
# The Linux process of the Vello started here: its network namespace is ours.
vello_unix_pid() {
  local pid own
  own=$(readlink /proc/self/ns/net)
  for pid in $(pgrep -f 'vello\.exe'); do
    [ "$(readlink "/proc/$pid/ns/net" 2>/dev/null)" = "$own" ] && { echo "$pid"; return; }
  done
}

# The resolver's settings, changed in place (the bind mount follows the
# file; the resolver reads it again when it changes).
use_name_server() { printf 'nameserver %s\noptions %s\n' "$1" "$RESOLVER" > "$BENCH_WORK/resolv.conf"; }

# receive_side_by_side WHAT: Vello against the floor, each message from a
# new address.
receive_side_by_side() {
  header "$1; $NAMES_N messages each, interleaved, each from a new address"
  # What one reverse look-up of an unknown address costs here.
  local t0
  t0=$(date +%s%3N)
  getent hosts 127.9.9.9 >/dev/null
  echo "one reverse look-up of an unknown address: $(( $(date +%s%3N) - t0 )) ms"
  fresh
  (cd "$RUN" && wine ./vello.exe >/dev/null 2>&1 &)
  (cd "$RUN" && wine ./minimal_receiver.exe "$FPORT" >/dev/null 2>&1 &)
  peer wait "vello:$VPORT" "floor:$FPORT" || return 1
  peer receive "$NAMES_N" "vello:$VPORT" "floor:$FPORT" --poll-us "$POLL_US" --from-each 127.1.0.1 --ping
  peer close "vello:$VPORT" "floor:$FPORT"
}

# Runs with a name server that never answers, each followed by one with a
# name server that says at once that there is none (nothing listens on
# that address), for comparison: the load on the machine drifts, so the two
# alternate.
bench_names() {
  local run
  for run in $(seq 1 "$NAMES_RUNS"); do
    use_name_server 127.0.0.53
    receive_side_by_side "names, run $run: a name server that never answers ($RESOLVER)"
    use_name_server 127.0.0.54
    receive_side_by_side "names, run $run, for comparison: a name server that refuses at once"
  done
  use_name_server 127.0.0.53
}

bench_flood() {
  header "flood: $FLOOD_SENDERS senders x $FLOOD_EACH connections, lines of $FLOOD_BYTES bytes, balloons of $FLOOD_SIZE, $FLOOD_ROUNDS rounds"
  fresh
  (cd "$RUN" && wine ./vello.exe >/dev/null 2>&1 &)
  peer wait "vello:$VPORT" || return 1
  local pid round stop watch
  pid=$(vello_unix_pid)
  echo "resident before: $(awk '/^VmRSS/ {print $2, $3}' "/proc/$pid/status")"
  # Again and again on the same program: once the balloons are at their
  # bounds, what a flood leaves must not grow. The senders are Linux
  # programs, as other hosts would be, so that the receiver's Wine server
  # carries only the receiver's work.
  for round in $(seq 1 "$FLOOD_ROUNDS"); do
    echo "-- round $round"
    stop=$RUN/stop.$round
    watch=$RUN/monitor.$round
    # Straight into the file: a pipe would hold "monitoring" back.
    wine "$WIN/bench_peer.exe" monitor "vello:$VPORT" "$(winepath -w "$stop" 2>/dev/null)" > "$watch" 2>/dev/null &
    local monitor=$!
    for _ in $(seq 1 100); do grep -qs '^monitoring' "$watch" && break; sleep 0.1; done
    python3 "$here/flood_senders.py" 127.0.0.1 "$VPORT" "$FLOOD_SENDERS" "$FLOOD_EACH" "$FLOOD_BYTES" "127.2.$round.1" \
      "$FLOOD_SIZE"
    touch "$stop"
    wait "$monitor"
    tr -d '\r' < "$watch" | grep -v '^monitoring'
    echo "resident after: $(awk '/^VmRSS/ {print $2, $3}' "/proc/$pid/status")," \
      "peak resident so far (VmHWM): $(awk '/^VmHWM/ {print $2, $3}' "/proc/$pid/status")"
  done
  peer close "vello:$VPORT"
}

what=("$@")
[ ${#what[@]} -gt 0 ] || what=(names flood)
status=0
for w in "${what[@]}"; do "bench_$w" || status=1; done
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
kill "$swallower" 2>/dev/null
[ -n "${VELLO_XVFB_PID:-}" ] && kill "$VELLO_XVFB_PID" 2>/dev/null
exit $status
