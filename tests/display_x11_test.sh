#!/usr/bin/env bash
# Runs the built Pelmode as a user does against private X servers and checks
# its exact output, its exit status, and the mode that xrandr then reports.
# Usage: display_x11_test.sh PELMODE WORK_DIR GROUP
# GROUP: dummy, monitors, xvfb, norandr, wayland, vanishing or valgrind
set -uo pipefail

PELMODE=("$1")
WORK=$2
GROUP=$3
source "$(dirname "$0")/lib/expect.sh"
source "$(dirname "$0")/lib/monitors.sh"

test_dummy() {
  xserver_start dummy "$WORK/dummy" || return 1
  export DISPLAY=$XSERVER_DISPLAY
  xrandr --output DUMMY0 --mode 1920x1080

  run_pelmode 1024 768
  expect "change down at the current rate" 0 "$(done_text '1920x1080    60Hz' 1024x768)" "" \
    "$(layout 1024x768 60.00\*)"
  run_pelmode 1920 1080
  expect "change back" 0 "$(done_text '1024x768    60Hz' 1920x1080)" "" \
    "$(layout 1920x1080 59.96\*)"
  run_pelmode 1000 700
  expect "size not offered: mode unchanged" 1 "$(failed_out '1920x1080    60Hz' 1000x700)" \
    "$(failed_err 'the display does not offer 1000x700')" "$(layout 1920x1080 59.96\*)"
  run_pelmode 1920 1080
  expect "target equal to the current mode" 0 "$(done_text '1920x1080    60Hz' 1920x1080)" "" \
    "$(layout 1920x1080 59.96\*)"
  run_pelmode 1600 1200
  expect "screen narrows and grows taller" 0 "$(done_text '1920x1080    60Hz' 1600x1200)" "" \
    "$(layout 1600x1200 60.00\*)"
  xrandr --output DUMMY0 --mode 1024x768 --rate 85
  run_pelmode 800 600px
  expect "current rate kept where offered" 0 "$(done_text '1024x768    85Hz' 800x600)" "" \
    "$(layout 800x600 85.14\*)"
  run_pelmode 1280 720
  expect "highest rate where the current one is not offered" 0 \
    "$(done_text '800x600    85Hz' 1280x720)" "" "$(layout 1280x720 59.86\*)"
  # Below the server's smallest screen: the screen stays at that size.
  add_tiny_mode DUMMY0
  run_pelmode 48 40
  expect "mode smaller than the smallest screen" 0 "$(done_text '1280x720    60Hz' 48x40)" "" \
    $'screen 64x64\nDUMMY0 48x40+0+0 215.33*'

  # The change is made; that nobody could read about it shows in the status.
  local status
  "${PELMODE[@]}" 1024 768 </dev/null >&-
  status=$?
  report "standard output closed" "$( ((status == 1)) || echo "exit status $status")"
  "${PELMODE[@]}" 1280 720 </dev/null >/dev/full
  status=$?
  report "standard output full" "$( ((status == 1)) || echo "exit status $status")"
  # A pipe whose reading end is closed before Pelmode starts.
  python3 -c 'import os, subprocess, sys
r, w = os.pipe()
os.close(r)
sys.exit(subprocess.call(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=w))' \
    "${PELMODE[@]}" 1024 768
  status=$?
  report "standard output a broken pipe" "$( ((status == 1)) || echo "exit status $status")"
  report "each of them still changed the mode" \
    "$(diff <(echo "$(layout 1024x768 60.00\*)") <(xserver_observed_layout))"

  xserver_stop
}

test_monitors() {
  xserver_start dummy "$WORK/monitors" || return 1
  export DISPLAY=$XSERVER_DISPLAY
  add_monitor_modes
  local entry before
  for entry in "${MONITOR_LAYOUTS[@]}"; do
    split_layout "$entry"
    set_layout "$options"
    before=$(geometry)
    # shellcheck disable=SC2086
    run_pelmode $size
    report "$name: the change" \
      "$( ((STATUS == 0)) || echo "exit status $STATUS")$(diff <(echo "$after") <(geometry))"
    # shellcheck disable=SC2046
    run_pelmode $(first_size "$before")
    report "$name: the change back" \
      "$( ((STATUS == 0)) || echo "exit status $STATUS")$(diff <(echo "$before") <(geometry))"
  done
  # The mirror lacks the mode: nothing is touched.
  add_tiny_mode DUMMY0
  before=$(xserver_observed_layout)
  run_pelmode 48 40
  expect "mirror without the size" 1 "$(failed_out '1920x1080    60Hz' 48x40)" \
    "$(failed_err 'the mirrored output DUMMY1 does not offer 48x40')" "$before"
  # gdb moves the second CRTC off the screen, so the server refuses it: the
  # first, already changed, must be put back.
  set_layout "--output DUMMY0 --mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1280x1024 --pos 1920x0"
  before=$(xserver_observed_layout)
  ASAN_OPTIONS=detect_leaks=0 gdb -batch -nx -ex 'set breakpoint pending on' \
    -ex 'break xcb_randr_set_crtc_config' -ex 'ignore 1 1' \
    -ex "run 1024 768 </dev/null >$WORK/out 2>$WORK/err" -ex 'set $r8 = 32000' \
    -ex delete -ex continue --args "${PELMODE[@]}" >"$WORK/gdb.log" 2>&1
  STATUS=$(sed -n 's/.*exited with code \([0-9]*\)\]/\1/p' "$WORK/gdb.log")
  STATUS=$((10#${STATUS:-0}))
  expect "a refused step undoes the steps before it" 1 \
    "$(failed_out '1920x1080    60Hz' 1024x768)" \
    "$(failed_err 'the display server refused the change')" "$before"
  xserver_stop
}

test_xvfb() {
  start_xvfb "$WORK/xvfb" -audit 4 || return 1
  local vlayout=$'screen 1280x1024\nscreen 1280x1024+0+0 0.00*'

  run_pelmode 1024 768
  expect "from a mode without timings" 0 "$(done_text '1280x1024    0Hz' 1024x768)" "" \
    $'screen 1024x768\nscreen 1024x768+0+0 59.92*'
  run_pelmode 1280 1024
  expect "back to the server's own mode" 0 "$(done_text '1024x768    60Hz' 1280x1024)" "" \
    "$vlayout"

  # The server logs each client that connects: Pelmode must not be one of
  # them unless it has a change to ask for.
  local clients_before
  clients_before=$(grep -c 'connected from' "$WORK/xvfb/server.out")
  for args in "" "800" "800 600 60" "abc 600" "800 -600" "0 0"; do
    # shellcheck disable=SC2086
    run_pelmode $args
    [[ $STATUS == 2 ]] || report "no request for '$args'" "exit status $STATUS, expected 2"$'\n'
  done
  sleep 0.2
  local clients_after
  clients_after=$(grep -c 'connected from' "$WORK/xvfb/server.out")
  report "usage and invalid values never reach the server" \
    "$( ((clients_after == clients_before)) || echo "$((clients_after - clients_before)) connections")"
  run_pelmode 1280 1024
  sleep 0.2
  report "a valid run shows in the server's client log" \
    "$( (($(grep -c 'connected from' "$WORK/xvfb/server.out") > clients_after)) || echo "not logged")"

  local unused
  unused=$(xserver_unused_display)
  DISPLAY=$unused run_pelmode 800 600
  expect "DISPLAY names no server" 1 "$(failed_out unknown 800x600)" \
    "$(failed_err "cannot open display \"$unused\"")" "$vlayout"
  DISPLAY='' run_pelmode 800 600
  expect "DISPLAY empty" 1 "$(failed_out unknown 800x600)" \
    "$(failed_err 'no display is set (DISPLAY is empty)')"
  (unset DISPLAY && run_pelmode 800 600 && exit "$STATUS")
  STATUS=$?
  expect "DISPLAY unset" 1 "$(failed_out unknown 800x600)" \
    "$(failed_err 'no display is set (DISPLAY is not set)')"
  DISPLAY=$XSERVER_DISPLAY.1 run_pelmode 800 600
  expect "screen that does not exist" 1 "$(failed_out unknown 800x600)" \
    "$(failed_err "cannot open display \"$XSERVER_DISPLAY.1\"")" "$vlayout"

  xserver_stop
}

# Weston with Xwayland: RandR there only pretends, for the asking client.
test_wayland() {
  export XDG_RUNTIME_DIR=$WORK/wayland/run
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  rm -f "$WORK/wayland/weston.log"
  weston --backend=headless-backend.so --xwayland --socket=pelmode-test \
    --log="$WORK/wayland/weston.log" >/dev/null 2>&1 &
  local weston=$! number=""
  for _ in $(seq 100); do
    number=$(sed -n 's/.*xserver listening on display :\([0-9]*\).*/\1/p' \
      "$WORK/wayland/weston.log" 2>/dev/null | head -n 1)
    [[ -n $number ]] && break
    sleep 0.1
  done
  [[ -n $number ]] || { kill "$weston"; return 1; }
  export DISPLAY=:$number
  local before
  before=$(xrandr --current)
  run_pelmode 800 600
  expect "Wayland session: refused, nothing asked" 1 \
    "$(failed_out '1024x640    60Hz' 800x600)" \
    "$(failed_err "this is a Wayland session; change the display mode in the compositor's settings")"
  report "Wayland session: mode unchanged" "$(diff <(echo "$before") <(xrandr --current))"
  kill "$weston"
  wait "$weston"
}

# The server dies after the query, when the change's first request (the
# server grab) is about to go out: gdb holds Pelmode there meanwhile.
test_vanishing() {
  start_xvfb "$WORK/vanishing" || return 1
  # LeakSanitizer cannot work under ptrace; the other groups cover leaks.
  ASAN_OPTIONS=detect_leaks=0 gdb -batch -nx -ex 'set breakpoint pending on' \
    -ex 'break xcb_grab_server' \
    -ex "run 1024 768 </dev/null >$WORK/out 2>$WORK/err" \
    -ex "shell kill -9 $XSERVER_PID; sleep 0.3" -ex continue \
    --args "${PELMODE[@]}" >"$WORK/gdb.log" 2>&1
  STATUS=$(sed -n 's/.*exited with code \([0-9]*\)\]/\1/p' "$WORK/gdb.log")
  STATUS=$((10#${STATUS:-0}))
  grep -q 'Breakpoint 1, ' "$WORK/gdb.log" ||
    report "server gone before the change" "gdb never stopped Pelmode:"$'\n'"$(cat "$WORK/gdb.log")"
  expect "server gone before the change" 1 "$(failed_out '1280x1024    0Hz' 1024x768)" \
    "$(failed_err 'the connection to the display server was lost')"
  { wait "$XSERVER_PID"; } 2>/dev/null
  return 0
}

# Memcheck over the change, a refusal and a missing display: no error, no
# leak, and the same output as without it.
test_valgrind() {
  start_xvfb "$WORK/valgrind" || return 1
  PELMODE=(valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=all
    --errors-for-leak-kinds=all --log-file="$WORK/valgrind.log" "${PELMODE[@]}")
  run_pelmode 1024 768
  expect "memcheck: change" 0 "$(done_text '1280x1024    0Hz' 1024x768)" ""
  report "memcheck: change, nothing reported" "$(cat "$WORK/valgrind.log")"
  run_pelmode 1000 700
  expect "memcheck: refusal" 1 "$(failed_out '1024x768    60Hz' 1000x700)" \
    "$(failed_err 'the display does not offer 1000x700')"
  report "memcheck: refusal, nothing reported" "$(cat "$WORK/valgrind.log")"
  DISPLAY=$(xserver_unused_display) run_pelmode 800 600
  report "memcheck: no server, nothing reported" \
    "$( ((STATUS == 1)) || echo "exit status $STATUS")$(cat "$WORK/valgrind.log")"
  xserver_stop
}

test_norandr() {
  xserver_start xvfb "$WORK/norandr" -extension RANDR -screen 0 1280x1024x24 || return 1
  export DISPLAY=$XSERVER_DISPLAY
  run_pelmode 1024 768
  expect "server without RandR" 1 "$(failed_out unknown 1024x768)" \
    "$(failed_err 'the display server has no RandR 1.3 support')"
  xserver_stop
}

mkdir -p "$WORK"
if [[ $GROUP == dummy || $GROUP == monitors ]] && [[ $(id -u) != 0 ]]; then
  echo "Xorg with the dummy driver needs root; skipped"
  exit 77
fi
"test_$GROUP" || report "start the $GROUP server" "see the messages above"$'\n'
summary
