#!/usr/bin/env bash
# Runs the benchmarks by hand (never from ctest): Vello against the minimal
# receiver (the floor), side by side under Wine, each in a fresh folder,
# measured by bench_peer.exe in the same prefix; the log append and the
# reading of a big phrase file natively and under Wine. Prints the figures;
# bench/README.md explains them.
#
#   bench/run_bench.sh [receive] [burst] [startup] [exit] [log] [phrases]
#                      [waiting] [waiting_startup]   (default: all)
#
# With a cross build made with -DVELLO_TIMING=ON as VELLO_BENCH_WIN, Vello's
# timing points (src/platform/timing_points.h) are printed after each part.
#
# Environment: VELLO_BUILD (the Wine prefix lives under it, as for the other
# scripts), VELLO_BENCH_WIN (the cross build with vello.exe, bench_peer.exe,
# minimal_receiver.exe, log_append_bench.exe, phrase_load_bench.exe; default
# $VELLO_BUILD/win), VELLO_BENCH_NATIVE (the native build with
# log_append_bench and phrase_load_bench; default $VELLO_BUILD/native), and
# the sizes RECEIVE_N (300), BURST_N (2000), STARTUP_N (15), LOG_N (2000),
# LOG_MB (100), POLL_US (100), PHRASES_N (20), EXIT_VELLO_N (500, the most
# balloons Vello keeps open), EXIT_FLOOR_N (2000), SENDERS (10); for the
# messages kept for their receiver WAITING_RUNS (3), WAITING_SENDERS (30),
# WAITING_EACH (3), WAITING_SEEN_AFTER_MS (0), WAITING_ONE_ADDRESS (0; 1:
# every sender from 127.0.0.1, one sender to the receiver), WAITING_N (1000),
# WAITING_RECEIVERS (4), WAITING_WATCH_S (70).
set -u
# Its copies of Vello must not reach the network: a namespace of its own.
source "$(dirname "$0")/../scripts/isolate.sh"
vello_isolate "$0" "$@"
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/env.sh"
WIN=${VELLO_BENCH_WIN:-$VELLO_BUILD/win}
NATIVE=${VELLO_BENCH_NATIVE:-$VELLO_BUILD/native}
RECEIVE_N=${RECEIVE_N:-300}
BURST_N=${BURST_N:-2000}
STARTUP_N=${STARTUP_N:-15}
LOG_N=${LOG_N:-2000}
LOG_MB=${LOG_MB:-100}
POLL_US=${POLL_US:-100}
PHRASES_N=${PHRASES_N:-20}
EXIT_VELLO_N=${EXIT_VELLO_N:-500}
EXIT_FLOOR_N=${EXIT_FLOOR_N:-2000}
SENDERS=${SENDERS:-10}
WAITING_RUNS=${WAITING_RUNS:-3}
WAITING_SENDERS=${WAITING_SENDERS:-30}
WAITING_EACH=${WAITING_EACH:-3}
WAITING_SEEN_AFTER_MS=${WAITING_SEEN_AFTER_MS:-0}
WAITING_ONE_ADDRESS=${WAITING_ONE_ADDRESS:-0}
WAITING_N=${WAITING_N:-1000}
WAITING_RECEIVERS=${WAITING_RECEIVERS:-4}
WAITING_WATCH_S=${WAITING_WATCH_S:-70}
for exe in vello.exe minimal_receiver.exe bench_peer.exe; do
  [ -f "$WIN/$exe" ] || { echo "missing $WIN/$exe: build the cross tree first" >&2; exit 2; }
done

# A server of the prefix left by a run just before (it lingers 30 s) lives
# in that run's namespace and would put this run's sockets there: the
# check in vello_isolate ran before the prefix was known. It goes first.
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
"$here/../scripts/setup-wine.sh"
source "$here/../scripts/xvfb.sh"
# A virtual screen started here ends with the run.
trap '[ -n "${VELLO_XVFB_PID:-}" ] && kill "$VELLO_XVFB_PID" 2>/dev/null' EXIT
# One server for the run: a wine start then costs ~0.1 s instead of ~2.5 s.
# It ends by itself 30 s after the last program.
wineserver -p30 2>/dev/null
wine wineboot >/dev/null 2>&1 </dev/null

port_base=$((21000 + RANDOM % 20000))
peer() { wine "$WIN/bench_peer.exe" "$@" 2>/dev/null | tr -d '\r'; }
# fresh: a new folder with both receivers; sets RUN, VPORT, FPORT.
fresh() {
  RUN=$(mktemp -d /tmp/vello-bench.XXXXXX)
  cp "$WIN/vello.exe" "$WIN/minimal_receiver.exe" "$RUN/"
  VPORT=$((port_base++))
  FPORT=$((port_base++))
  printf '[setup]\r\nport=%s\r\n' "$VPORT" > "$RUN/vello.ini"
}
# done: prints Vello's timing points when the build has them, and removes RUN.
done_run() {
  if [ -f "$RUN/vello.exe.timing.txt" ]; then
    echo "-- timing points (ms; step: count, mean, max)"
    cat "$RUN/vello.exe.timing.txt"
  fi
  rm -rf "$RUN"
}
start_vello() { (cd "$RUN" && wine ./vello.exe >/dev/null 2>&1 &); }
start_floor() { (cd "$RUN" && wine ./minimal_receiver.exe "$FPORT" >/dev/null 2>&1 &); }
header() {
  echo
  echo "== $1 ($(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores)"
}

bench_receive() {
  local from
  # Messages from $SENDERS senders in turn (Vello keeps at most 50 balloons
  # of one sender open), their names known after the warm-up; then each
  # message from a sender of its own, so every log entry waits for a look-up.
  for from in "--senders $SENDERS --warmup $SENDERS" --from-each; do
    header "receive: connection to shown and settled popup (log written), $RECEIVE_N messages each, interleaved${from:+, $from}"
    fresh
    # The log is on: "settled" includes its entry.
    printf 'Log=1\r\n' >> "$RUN/vello.ini"
    start_vello
    start_floor
    peer wait "vello:$VPORT" "floor:$FPORT" || return 1
    peer receive "$RECEIVE_N" "vello:$VPORT" "floor:$FPORT" --poll-us "$POLL_US" $from \
      --log "$(winepath -w "$RUN/vello.log" 2>/dev/null)"
    peer close "vello:$VPORT" "floor:$FPORT"
    done_run
  done
}

bench_burst() {
  header "burst: $BURST_N messages to each receiver at once"
  fresh
  start_vello
  start_floor
  peer wait "vello:$VPORT" "floor:$FPORT" || return 1
  peer burst "$BURST_N" "vello:$VPORT" --senders 40 "floor:$FPORT" --senders 40
  peer close "vello:$VPORT" "floor:$FPORT"
  done_run
  header "burst: $BURST_N messages to Vello alone"
  fresh
  start_vello
  peer wait "vello:$VPORT" || return 1
  peer burst "$BURST_N" "vello:$VPORT"
  peer close "vello:$VPORT"
  done_run
}

bench_startup() {
  header "start-up: process start to listening and main window shown, $STARTUP_N starts each, alternating"
  fresh
  peer startup "$STARTUP_N" "vello:$VPORT:$(winepath -w "$RUN/vello.exe" 2>/dev/null)" \
    "floor:$FPORT:$(winepath -w "$RUN/minimal_receiver.exe" 2>/dev/null)"
  done_run
}

bench_exit() {
  header "exit: Vello with $EXIT_VELLO_N balloons while the floor holds $EXIT_FLOOR_N popups; then Vello alone"
  fresh
  start_vello
  start_floor
  peer wait "vello:$VPORT" "floor:$FPORT" || return 1
  peer fill "$EXIT_FLOOR_N" "floor:$FPORT"
  peer fill "$EXIT_VELLO_N" "vello:$VPORT" --senders 20
  peer close "vello:$VPORT"
  peer close "floor:$FPORT"
  done_run
  fresh
  start_vello
  peer wait "vello:$VPORT" || return 1
  peer fill "$EXIT_VELLO_N" "vello:$VPORT" --senders 20
  peer close "vello:$VPORT"
  done_run
}

bench_log() {
  local dir
  dir=$(mktemp -d /tmp/vello-bench-log.XXXXXX)
  if [ -x "$NATIVE/log_append_bench" ]; then
    header "log append, native: empty log against a $LOG_MB MB log, interleaved"
    "$NATIVE/log_append_bench" "$dir" "$LOG_N" "$LOG_MB"
  else
    echo "(no $NATIVE/log_append_bench: native log append skipped)"
  fi
  if [ -f "$WIN/log_append_bench.exe" ]; then
    header "log append, under Wine: empty log against a $LOG_MB MB log, interleaved"
    wine "$WIN/log_append_bench.exe" "$(winepath -w "$dir" 2>/dev/null)" "$LOG_N" "$LOG_MB" 2>/dev/null | tr -d '\r'
  fi
  rm -rf "$dir"
}

bench_phrases() {
  local dir
  dir=$(mktemp -d /tmp/vello-bench-phrases.XXXXXX)
  if [ -x "$NATIVE/phrase_load_bench" ]; then
    header "phrase file of 2,000 categories, native: one reading, and category by category once"
    "$NATIVE/phrase_load_bench" "$dir" "$PHRASES_N" --one-by-one
  else
    echo "(no $NATIVE/phrase_load_bench: native phrase reading skipped)"
  fi
  if [ -f "$WIN/phrase_load_bench.exe" ]; then
    header "phrase file of 2,000 categories, under Wine: one reading, and category by category once"
    wine "$WIN/phrase_load_bench.exe" "$(winepath -w "$dir" 2>/dev/null)" "$PHRASES_N" --one-by-one 2>/dev/null |
      tr -d '\r'
  fi
  rm -rf "$dir"
}

# A folder of its own with vello.exe, listening on a new port, discovery
# off: sets VDIR, VPORT.
vello_folder() {
  VDIR=$(mktemp -d /tmp/vello-bench.XXXXXX)
  cp "$WIN/vello.exe" "$VDIR/"
  VPORT=$((port_base++))
  printf '[setup]\r\nport=%s\r\nDiscovery=0\r\n%s' "$VPORT" "${1:-}" > "$VDIR/vello.ini"
}
waiting_bench() { wine "$WIN/waiting_bench.exe" "$@" 2>/dev/null | tr -d '\r'; }

bench_waiting() {
  local run senders prefix i pids from one
  [ -f "$WIN/waiting_bench.exe" ] || { echo "missing $WIN/waiting_bench.exe" >&2; return 1; }
  # The senders run in a Wine prefix of their own: their requests to the
  # Wine server do not queue with the receiver's, as on a network.
  prefix=$(mktemp -d /tmp/vello-bench-prefix.XXXXXX)
  cp -a "$WINEPREFIX/." "$prefix/"
  WINEPREFIX=$prefix wineserver -p30 2>/dev/null
  WINEPREFIX=$prefix wine wineboot >/dev/null 2>&1 </dev/null
  # $WAITING_SENDERS senders, each a process with a real outbox and a
  # loopback address of its own, keep $WAITING_EACH messages each while no
  # receiver runs; the receiver starts, and once its window is shown (and
  # $WAITING_SEEN_AFTER_MS more) they are told it is seen, as discovery
  # would tell them.
  for run in $(seq "$WAITING_RUNS"); do
    header "waiting: $WAITING_SENDERS senders keeping $WAITING_EACH messages each for a receiver that starts, run $run of $WAITING_RUNS"
    vello_folder $'Log=1\r\n'
    senders=$(mktemp -d /tmp/vello-bench-senders.XXXXXX)
    pids=()
    one=()
    [ "$WAITING_ONE_ADDRESS" = 1 ] && one=(--one-address)
    for i in $(seq 0 $((WAITING_SENDERS - 1))); do
      from=(--from "127.0.0.$((11 + i))")
      [ "$WAITING_ONE_ADDRESS" = 1 ] && from=()
      WINEPREFIX=$prefix wine "$WIN/waiting_bench.exe" sender "$i" 1 "$VPORT" "$(winepath -w "$senders" 2>/dev/null)" \
        "${from[@]}" --each "$WAITING_EACH" >/dev/null 2>&1 </dev/null &
      pids+=($!)
    done
    waiting_bench deliver "$(winepath -w "$VDIR/vello.exe" 2>/dev/null)" "$VPORT" "$(winepath -w "$senders" 2>/dev/null)" \
      --senders "$WAITING_SENDERS" --each "$WAITING_EACH" --seen-after-ms "$WAITING_SEEN_AFTER_MS" --senders-started \
      "${one[@]}"
    wait "${pids[@]}"
    echo "load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
    rm -rf "$VDIR" "$senders"
  done
  WINEPREFIX=$prefix wineserver -k 2>/dev/null
  rm -rf "$prefix"
}

bench_waiting_startup() {
  local with without receivers
  [ -f "$WIN/waiting_bench.exe" ] || { echo "missing $WIN/waiting_bench.exe" >&2; return 1; }
  vello_folder
  with=$VDIR
  WITH_PORT=$VPORT
  vello_folder
  without=$VDIR
  WITHOUT_PORT=$VPORT
  # The start-up: $WAITING_N messages that are not due for ten minutes (a
  # list on its back-off, as it usually lies), read at every start alike.
  waiting_bench file "$(winepath -w "$with/vello.wait" 2>/dev/null)" "$WAITING_N" "$WAITING_RECEIVERS" --due-in-ms 600000
  header "waiting file: reading it, and a change to it, as the outbox makes them"
  cp "$with/vello.wait" "$with/timed.wait"
  waiting_bench time "$(winepath -w "$with/timed.wait" 2>/dev/null)" 20
  rm -f "$with/timed.wait"
  header "waiting start-up: $WAITING_N messages waiting against none, $STARTUP_N starts each, alternating"
  peer startup "$STARTUP_N" "waiting=vello:$WITH_PORT:$(winepath -w "$with/vello.exe" 2>/dev/null)" \
    "none=vello:$WITHOUT_PORT:$(winepath -w "$without/vello.exe" 2>/dev/null)"
  # Then every message due at once, nobody running: the outbox tries them
  # (each try fails at once) while the window is pinged and the memory
  # sampled; then the same program with none. First for a few receivers,
  # then each message for a receiver of its own (one try each at once).
  waiting_bench file "$(winepath -w "$with/vello.wait" 2>/dev/null)" "$WAITING_N" "$WAITING_RECEIVERS"
  header "waiting, tried: $WAITING_N messages for $WAITING_RECEIVERS receivers, all due at the start, watched ${WAITING_WATCH_S} s; then none"
  peer watch "$WAITING_WATCH_S" "waiting=vello:$WITH_PORT:$(winepath -w "$with/vello.exe" 2>/dev/null)" \
    "none=vello:$WITHOUT_PORT:$(winepath -w "$without/vello.exe" 2>/dev/null)"
  echo "still waiting afterwards: $(grep -c '^id=' "$with/vello.wait") messages; load average $(cut -d' ' -f1-3 /proc/loadavg)"
  waiting_bench file "$(winepath -w "$with/vello.wait" 2>/dev/null)" "$WAITING_N" "$WAITING_N"
  header "waiting, tried: $WAITING_N messages for $WAITING_N receivers, all due at the start, watched ${WAITING_WATCH_S} s"
  peer watch "$WAITING_WATCH_S" "waiting=vello:$WITH_PORT:$(winepath -w "$with/vello.exe" 2>/dev/null)"
  echo "still waiting afterwards: $(grep -c '^id=' "$with/vello.wait") messages; load average $(cut -d' ' -f1-3 /proc/loadavg)"
  rm -rf "$with" "$without"
}

what=("$@")
[ ${#what[@]} -gt 0 ] || what=(receive burst startup exit log phrases waiting waiting_startup)
status=0
for w in "${what[@]}"; do
  "bench_$w" || status=1
done
exit $status
