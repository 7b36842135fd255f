# Sourced: gives the caller a DISPLAY, starting a virtual screen when there is
# none. VELLO_XVFB_PID is set when this script started one.
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  for n in $(seq 91 140); do
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then
      Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      VELLO_XVFB_PID=$!
      export DISPLAY=:$n
      for _ in $(seq 1 50); do
        xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break
        sleep 0.1
      done
      break
    fi
  done
fi
