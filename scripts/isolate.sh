# Sourced: runs the caller in a network namespace of its own that holds only
# the loopback, so that nothing a test or benchmark starts can send a packet
# off this machine. Vello announces itself by multicast DNS on every
# interface that can multicast; in here there is none (the lab makes its own
# namespaces and links inside). Usage, before anything else runs:
#   source scripts/isolate.sh; vello_isolate "$0" "$@"
# As root it uses `unshare -n`; otherwise an unprivileged user namespace
# where the system allows it. Where neither can be had it refuses to run.
# Called again inside (a script the first one runs), it only checks.
vello_isolate() {
  case "${VELLO_ISOLATED:-}" in
    "")
      local how=-n
      if [ "$(id -u)" != 0 ]; then
        if ! unshare -rn true 2>/dev/null; then
          echo "$(basename "$1"): cannot make a network namespace of its own (unshare -n as root, or unshare -rn);" \
               "run it as root, or allow unprivileged user namespaces: its copies of Vello must not reach the network" >&2
          exit 1
        fi
        how=-rn
        export VELLO_REAL_UID=$(id -u) VELLO_REAL_GID=$(id -g)
      fi
      VELLO_ISOLATED=new exec unshare $how bash "$@"
      ;;
    new)
      if [ -n "${VELLO_REAL_UID:-}" ] && [ "$(id -u)" = 0 ]; then
        ip link set lo up
        # Unprivileged, the namespace was made as its root, whom file
        # permissions would not bind: the run goes on as the user again (a
        # namespace inside maps the user's own ids), so read-only files stay
        # read-only.
        exec unshare --user --map-user="$VELLO_REAL_UID" --map-group="$VELLO_REAL_GID" bash "$@"
      fi
      [ -n "${VELLO_REAL_UID:-}" ] || ip link set lo up
      # A wineserver of this prefix started outside would make the sockets of
      # every program here in its own namespace (Wine creates them in the
      # server): this run starts its own.
      if [ -n "${WINEPREFIX:-}" ] && command -v wineserver >/dev/null; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
      fi
      export VELLO_ISOLATED=1
      ;;
  esac
  # The guard itself: any interface but the loopback means packets could
  # leave, and the run stops before anything starts.
  local others
  others=$(ip -o link show | awk -F': ' '$2 != "lo" {print $2}' | paste -sd, -)
  if [ -n "$others" ]; then
    echo "$(basename "$1"): its network namespace holds interfaces besides the loopback ($others): refusing to run" >&2
    exit 1
  fi
}
