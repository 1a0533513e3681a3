# shellcheck shell=bash
# Private X servers for trying Pelmode without a desktop: sourced by the
# scripts and the tests, never run on its own.

XSERVER_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# xserver_start KIND DIR [SERVER_ARGS...]
# KIND is "dummy" (Xorg on the dummy driver; needs root) or "xvfb". The server
# picks a free display itself; its logs go to DIR. Sets XSERVER_PID and
# XSERVER_DISPLAY once the server accepts clients.
xserver_start() {
  local kind=$1 dir=$2 fd number
  shift 2
  mkdir -p "$dir"
  : >"$dir/displayfd"
  exec {fd}>"$dir/displayfd"
  case $kind in
    dummy)
      Xorg -noreset -nolisten tcp -config "$XSERVER_LIB_DIR/dummy-xorg.conf" \
        -logfile "$dir/xorg.log" -displayfd "$fd" "$@" >"$dir/server.out" 2>&1 &
      ;;
    xvfb)
      Xvfb -noreset -nolisten tcp -displayfd "$fd" "$@" >"$dir/server.out" 2>&1 &
      ;;
    *)
      echo "xserver_start: unknown kind $kind" >&2
      return 1
      ;;
  esac
  XSERVER_PID=$!
  exec {fd}>&-
  for _ in $(seq 200); do
    # The server writes the number and a line end once it is ready.
    if read -r number <"$dir/displayfd" && [[ -n $number ]]; then
      # shellcheck disable=SC2034  # the caller's
      XSERVER_DISPLAY=:$number
      return 0
    fi
    if ! kill -0 "$XSERVER_PID" 2>/dev/null; then
      echo "The $kind X server did not start; its output:" >&2
      cat "$dir/server.out" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "The $kind X server did not become ready in 20 s" >&2
  kill "$XSERVER_PID"
  return 1
}

xserver_stop() {
  kill "$XSERVER_PID" 2>/dev/null && wait "$XSERVER_PID" 2>/dev/null
  return 0
}

# A display number that no server on this machine uses.
xserver_unused_display() {
  local n
  for n in $(seq 90 199); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then
      echo ":$n"
      return 0
    fi
  done
  return 1
}

# One line per active output and one for the screen, as xrandr reports them:
# "screen 1024x768" and "DUMMY0 1024x768+0+0 60.00*" (the rate in force).
xserver_observed_layout() {
  xrandr --current | awk '
    /^Screen [0-9]+:/ { sub(/,$/, "", $10); print "screen " $8 "x" $10 }
    / connected / {
      out = $1
      for (i = 3; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+\+/) { geom = $i; break }
    }
    /^   / && /\*/ && out != "" {
      for (i = 2; i <= NF; i++) if ($i ~ /\*/) { sub(/\+/, "", $i); print out " " geom " " $i; break }
      out = ""
    }'
}
