# Sourced by run_lan.sh: a lab network of hosts on this one machine.
#
# Each host is a set of namespaces of its own: a network namespace joined to
# the lab's bridge (which lives in a namespace of its own, "<lab>-lan"), and
# a UTS and a mount namespace held open by one "holder" process, in which
# the host has its own computer name, hosts file and resolver settings (bind
# mounts of files in the host's folder). Every command of a host enters the
# holder's namespaces. A host that runs Vello also has its own copy of the
# prepared Wine prefix, its own wineserver (started inside the host before
# anything else of that prefix runs, because Wine makes a program's sockets
# in its server) and its own virtual screen.
#
# Nothing outside the namespaces the lab made is changed; lab_down removes
# them, with every process in them, also after a failure or an interrupt.

LAB_NAME=vlan$$                  # names of this run's namespaces start with it
LAB_NET=198.18.0                 # benchmarking range: nothing real lives there
LAB_PREFIX=${LAB_PREFIX:-24}     # the hosts' subnet: LAB_NET.0/24, or wider for crowds
LAB_DIR=
LAB_HOSTS=()
declare -A HOST_PID HOST_ADDR HOST_NAME HOST_DIR HOST_DISPLAY

lab_log() { echo "lan: $*" >&2; }

# Whether this machine can make the lab; prints one line and fails if not.
# The test is making the lab's first namespace, the bridge's, for real.
lab_possible() {
  local why=
  if [ "$(id -u)" != 0 ]; then why="not root"
  else
    for tool in ip unshare nsenter python3 xdpyinfo Xvfb; do
      command -v "$tool" >/dev/null 2>&1 || { why="no $tool"; break; }
    done
  fi
  if [ -z "$why" ]; then
    if ! ip netns add "$LAB_NAME-lan" 2>/dev/null; then why="cannot make network namespaces"
    elif ! unshare -u -m true 2>/dev/null; then
      why="cannot make UTS and mount namespaces"
      ip netns del "$LAB_NAME-lan"
    fi
  fi
  if [ -n "$why" ]; then
    echo "lan: skipped: $why (the lab needs root with CAP_SYS_ADMIN, iproute2 and util-linux)"
    return 1
  fi
}

# Namespaces left by a lab run that was killed outright (its runner's
# process is gone): ours by name, nobody else's.
lab_sweep_stale() {
  local ns pid
  for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^vlan[0-9]+-'); do
    pid=${ns#vlan}
    pid=${pid%%-*}
    kill -0 "$pid" 2>/dev/null && continue
    [ -z "$(ip netns pids "$ns" 2>/dev/null)" ] && ip netns del "$ns" 2>/dev/null
  done
}

# The bridge; lab_possible made its namespace.
lab_up() {
  LAB_DIR=$(mktemp -d "${TMPDIR:-/tmp}/vello-lan.XXXXXX")
  ip -n "$LAB_NAME-lan" link set lo up
  ip -n "$LAB_NAME-lan" link add br0 type bridge
  ip -n "$LAB_NAME-lan" link set br0 up
}

# host_add ID NAME LAST-OCTET: a host named NAME at $LAB_NET.LAST-OCTET.
host_add() {
  local id=$1 name=$2 addr=$LAB_NET.$3 ns=$LAB_NAME-$1 dir=$LAB_DIR/$1
  mkdir -p "$dir"
  ip netns add "$ns"
  LAB_HOSTS+=("$id")
  # The pair is made inside the lab's namespaces: nothing appears outside.
  ip -n "$LAB_NAME-lan" link add "v-$id" type veth peer name eth0 netns "$ns"
  ip -n "$LAB_NAME-lan" link set "v-$id" master br0 up
  ip -n "$ns" link set lo up
  ip -n "$ns" addr add "$addr/$LAB_PREFIX" dev eth0
  ip -n "$ns" link set eth0 up
  # Multicast needs a route; there is none to anywhere else.
  ip -n "$ns" route add 224.0.0.0/4 dev eth0
  # IPv4 only, as the program: no IPv6 chatter on the lab's wire.
  ip netns exec "$ns" sh -c 'for f in all default eth0 lo; do echo 1 > /proc/sys/net/ipv6/conf/$f/disable_ipv6; done' 2>/dev/null
  HOST_ADDR[$id]=$addr
  HOST_NAME[$id]=$name
  HOST_DIR[$id]=$dir
  : > "$dir/hosts"
  : > "$dir/resolv.conf"
  ip netns exec "$ns" unshare -u -m --propagation private sh -c '
    hostname "$1" && mount --bind "$2/hosts" /etc/hosts && mount --bind "$2/resolv.conf" /etc/resolv.conf &&
    exec sleep infinity' holder "$name" "$dir" </dev/null >/dev/null 2>&1 &
  HOST_PID[$id]=$!
  # Up once the holder has its name and sees the host's own hosts file.
  local own
  own=$(stat -c %i "$dir/hosts")
  for _ in $(seq 1 50); do
    [ "$(nsenter -t "${HOST_PID[$id]}" -u hostname 2>/dev/null)" = "$name" ] &&
      [ "$(nsenter -t "${HOST_PID[$id]}" -m stat -c %i /etc/hosts 2>/dev/null)" = "$own" ] && return 0
    sleep 0.1
  done
  lab_log "host $name did not come up"
  return 1
}

# host_addresses ID FIRST COUNT: COUNT more addresses on the host's
# interface, from FIRST (dotted) on, in the lab's subnet.
host_addresses() {
  local id=$1 first=$2 count=$3
  python3 -c '
import ipaddress, sys
first, count, prefix = ipaddress.IPv4Address(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
for i in range(count): print("addr add %s/%s dev eth0" % (first + i, prefix))' "$first" "$count" "$LAB_PREFIX" |
    ip -n "$LAB_NAME-$id" -batch -
}

# host_files ID HOSTS-LINES RESOLV-LINES: what the host's /etc/hosts and
# /etc/resolv.conf say. Written in place: the bind mounts follow the file.
host_files() {
  printf '%b' "$2" > "${HOST_DIR[$1]}/hosts"
  printf '%b' "$3" > "${HOST_DIR[$1]}/resolv.conf"
}

# "ADDRESS NAME" lines for the given hosts, and localhost.
hosts_lines() {
  local out='127.0.0.1\tlocalhost\n' id
  for id in "$@"; do out+="${HOST_ADDR[$id]}\t${HOST_NAME[$id]}\n"; done
  printf '%s' "$out"
}

# host_run ID COMMAND...: COMMAND inside the host, with its prefix and screen.
host_run() {
  local id=$1
  shift
  nsenter -t "${HOST_PID[$id]}" -n -u -m --wd="$PWD" -- \
    env WINEPREFIX="${HOST_DIR[$id]}/prefix" DISPLAY="${HOST_DISPLAY[$id]:-}" "$@"
}

# host_spawn ID COMMAND...: host_run in the background, with $! the
# command's own process (nsenter and env exec it), so that a signal to $!
# reaches the command itself and not a subshell around it.
host_spawn() {
  local id=$1
  shift
  nsenter -t "${HOST_PID[$id]}" -n -u -m --wd="$PWD" -- \
    env WINEPREFIX="${HOST_DIR[$id]}/prefix" DISPLAY="${HOST_DISPLAY[$id]:-}" "$@" &
}

# host_screen ID: a virtual screen of the host's own.
host_screen() {
  local id=$1 n pid
  for n in $(seq 150 260); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    host_run "$id" Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 50); do
      xdpyinfo -display ":$n" >/dev/null 2>&1 && { HOST_DISPLAY[$id]=:$n; return 0; }
      kill -0 "$pid" 2>/dev/null || break  # taken meanwhile: the next number
      sleep 0.1
    done
  done
  lab_log "no screen for ${HOST_NAME[$id]}"
  return 1
}

# hosts_wine TEMPLATE-PREFIX ID...: each host's own screen, its own copy of
# the prefix and its own wineserver, primed; the copies and the starts run
# side by side.
hosts_wine() {
  local template=$1 id pids=() status=0
  shift
  for id in "$@"; do host_screen "$id" || return 1; done
  for id in "$@"; do
    ( cp -a "$template" "${HOST_DIR[$id]}/prefix" &&
      host_run "$id" wineserver -p </dev/null >/dev/null 2>&1 &&
      host_run "$id" timeout 120 wine wineboot </dev/null >/dev/null 2>&1 ) &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
  return $status
}

# The folder wineserver made for a prefix's socket, to remove after it ends.
wine_server_dir() {
  local prefix=$1 tmpname
  tmpname=$(cat "$prefix/wineserver" 2>/dev/null) || return 1
  printf '/tmp/%s/server-%x-%x' "$tmpname" "0x$(stat -c %D "$prefix")" "$(stat -c %i "$prefix")"
}

lab_down() {
  local id ns pids server_dir
  for id in "${LAB_HOSTS[@]}"; do
    if [ -d "${HOST_DIR[$id]}/prefix" ]; then
      server_dir=$(wine_server_dir "${HOST_DIR[$id]}/prefix")
      host_run "$id" timeout 10 wineserver -k >/dev/null 2>&1
      host_run "$id" timeout 10 wineserver -w >/dev/null 2>&1
      [ -n "$server_dir" ] && rm -rf "$server_dir"
    fi
  done
  # Every process left in a lab namespace was started by this lab.
  for ns in "${LAB_HOSTS[@]/#/$LAB_NAME-}" "$LAB_NAME-lan"; do
    pids=$(ip netns pids "$ns" 2>/dev/null)
    [ -n "$pids" ] && kill $pids 2>/dev/null
  done
  sleep 0.3
  for ns in "${LAB_HOSTS[@]/#/$LAB_NAME-}" "$LAB_NAME-lan"; do
    pids=$(ip netns pids "$ns" 2>/dev/null)
    [ -n "$pids" ] && kill -9 $pids 2>/dev/null
    ip netns del "$ns" 2>/dev/null
  done
  # A screen killed outright leaves its lock behind.
  local n lock
  for id in "${LAB_HOSTS[@]}"; do
    n=${HOST_DISPLAY[$id]:-}
    n=${n#:}
    lock=/tmp/.X$n-lock
    if [ -n "$n" ] && [ -f "$lock" ] && ! kill -0 "$(tr -dc 0-9 < "$lock")" 2>/dev/null; then
      rm -f "$lock" "/tmp/.X11-unix/X$n"
    fi
  done
  [ -n "$LAB_DIR" ] && rm -rf "$LAB_DIR"
  LAB_HOSTS=()
}
