#!/usr/bin/env bash
# shellcheck disable=SC2016,SC2086,SC2046  # gdb commands quoted; sizes split
# Runs the built Pelmode as a user does against private X servers and checks
# its exact output, its exit status, and the mode that xrandr then reports.
# Usage: display_test.sh PELMODE WORK_DIR GROUP
# GROUP: dummy, monitors, xvfb, norandr, vanishing, wayland (weston),
# mutter, kwin, phoc, or wine (then PELMODE is the x86-64 Windows build).
set -uo pipefail

PELMODE=("$1")
WORK=$2
GROUP=$3
# shellcheck source=tests/lib/expect.sh
source "$(dirname "$0")/lib/expect.sh"

# Each layout: a name, the xrandr options that make it (DUMMY0 primary), the
# size DUMMY0 changes to, and the geometry xrandr then reports, a line for
# the screen and one for each output, separated by semicolons.
MONITOR_LAYOUTS=(
  "bottom edges lined up|--output DUMMY0 --mode 2048x1536 --pos 0x0 --output DUMMY1 --mode 1024x768 --pos 2048x768|800 600|screen 1824x768;DUMMY0 800x600+0+168;DUMMY1 1024x768+800+0"
  "three, the lower one below the left one|--output DUMMY0 --mode 1920x1080 --pos 1920x0 --output DUMMY1 --mode 1920x1080 --pos 0x0 --output DUMMY2 --mode 1280x1024 --pos 0x1080|1024 768|screen 2944x2104;DUMMY0 1024x768+1920+0;DUMMY1 1920x1080+0+0;DUMMY2 1280x1024+0+1080"
  "L, both larger than the new size|--output DUMMY0 --mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1280x1024 --pos 1920x0 --output DUMMY2 --mode 1280x1024 --pos 0x1080|1024 768|screen 2560x1792;DUMMY0 1024x768+0+0;DUMMY1 1280x1024+1280+0;DUMMY2 1280x1024+0+768"
  "mirror|--output DUMMY0 --mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1920x1080 --same-as DUMMY0|1024 768|screen 1024x768;DUMMY0 1024x768+0+0;DUMMY1 1024x768+0+0"
  "bottoms lined up, and on the way back the tops too|--output DUMMY0 --mode 2048x1536 --pos 0x0 --output DUMMY1 --mode 1920x1080 --pos 2048x456|1920 1080|screen 3840x1080;DUMMY0 1920x1080+0+0;DUMMY1 1920x1080+1920+0"
  "left, bottoms lined up|--output DUMMY0 --mode 2048x1536 --pos 640x0 --output DUMMY1 --mode 640x480 --pos 0x1056|1024 768|screen 1664x768;DUMMY0 1024x768+640+0;DUMMY1 640x480+0+288"
  "T: the lower one stays|--output DUMMY0 --mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1920x1080 --pos 1920x0 --output DUMMY2 --mode 1280x1024 --pos 1280x1080|1024 768|screen 2944x2104;DUMMY0 1024x768+0+0;DUMMY1 1920x1080+1024+0;DUMMY2 1280x1024+1280+1080"
)

# layout SIZE RATE: the screen and DUMMY0 alone, showing SIZE at RATE.
layout() { printf 'screen %s\nDUMMY0 %s+0+0 %s' "$1" "$1" "$2"; }

# Screen and outputs without the refresh rates.
geometry() { xserver_observed_layout | sed 's/ [0-9.]*\*$//'; }

# set_layout XRANDR_OPTIONS: DUMMY0 primary, the outputs as given.
set_layout() {
  xrandr --output DUMMY1 --off --output DUMMY2 --off --output DUMMY3 --off
  # shellcheck disable=SC2086
  xrandr --output DUMMY0 --primary $1
  xrandr -q >/dev/null  # the driver reports the outputs connected from here on
}

# split_layout ENTRY: sets name, options, size (two words) and after.
split_layout() {
  IFS='|' read -r name options size after <<<"$1"
  after=${after//;/$'\n'}
}

# The sizes the layouts give the other outputs, which the dummy driver does
# not list for them until they are switched on.
add_monitor_modes() {
  local output size
  for output in DUMMY1 DUMMY2 DUMMY3; do
    for size in 640x480 1024x768 1280x1024 1920x1080; do xrandr --addmode $output $size || return 1; done
  done
}

# The size the first output of GEOMETRY shows, as two words.
first_size() { sed -n '2s/^[^ ]* \([0-9]*\)x\([0-9]*\)+.*/\1 \2/p' <<<"$1"; }

# under_gdb BREAKPOINT GDB_COMMAND...: runs Pelmode 1024 768 (or GDB_SIZE) under gdb, which
# carries out the commands once it stops at the breakpoint; sets STATUS.
# FAIL_STATUS, right after a reply arrives, marks it failed; reply_of REQUEST
# is where the reply to that request arrives.
FAIL_STATUS='set *(unsigned char *)($rax + 1) = 3'
reply_of() { echo "pelmode::x11::AwaitReply if \$_caller_matches(\".*$1\")"; }
under_gdb() {
  local commands=() command
  for command in "${@:2}"; do commands+=(-ex "$command"); done
  # LeakSanitizer cannot work under ptrace; the other tests cover leaks.
  ASAN_OPTIONS=detect_leaks=0 timeout 90 gdb -batch -nx -ex 'set breakpoint pending on' -ex "break $1" \
    -ex "run ${GDB_SIZE:-1024 768} </dev/null >$WORK/out 2>$WORK/err" "${commands[@]}" \
    --args "${PELMODE[@]}" >"$WORK/gdb.log" 2>&1
  STATUS=$(sed -n 's/.*exited with code \([0-9]*\)\]/\1/p' "$WORK/gdb.log")
  STATUS=$((10#${STATUS:-0}))
}

# add_rate_modes: 1280x1024 and 1024x768 at 59.94 Hz, as real monitors list
# them beside 60.
add_rate_modes() {
  xrandr --newmode 1280x1024_59.94 107.856 1280 1328 1440 1688 1024 1025 1028 1066 +hsync +vsync &&
    xrandr --newmode 1024x768_59.94 64.93 1024 1048 1184 1344 768 771 777 806 -hsync -vsync &&
    xrandr --addmode DUMMY0 1280x1024_59.94 && xrandr --addmode DUMMY0 1024x768_59.94
}

test_dummy() {
  xserver_start dummy "$WORK/dummy" || return 1
  export DISPLAY=$XSERVER_DISPLAY
  # Double-scan at 1920x1080's own rate: a progressive mode comes first.
  xrandr --newmode 1024x768_ds 129.912 1024 1048 1184 1344 768 771 777 806 doublescan &&
    xrandr --addmode DUMMY0 1024x768_ds
  # From MODE at RATE (the first line says HZ) to TO, which lacks that rate:
  # the nearest, as xrandr shows it.
  local entry from rate hz to nearest
  for entry in "1920x1080 59.96 60 1024x768 60.00" "1920x1080 59.96 60 640x480 59.94" \
    "1920x1080 59.96 60 800x600 60.32" "1280x1024 60.02 60 1024x768 60.00" "1024x768 75.03 75 800x600 75.00"; do
    read -r from rate hz to nearest <<<"$entry"
    xrandr --output DUMMY0 --mode $from --rate $rate
    run_pelmode ${to/x/ }
    expect "$from at $rate to $to: the nearest rate, $nearest" 0 "$from    ${hz}Hz" $to "" "$(layout $to $nearest\*)"
  done
  run_pelmode 1000 700
  expect "size not offered: mode unchanged" 1 '800x600    75Hz' 1000x700 \
    'the display does not offer 1000x700' "$(layout 800x600 75.00\*)"
  add_rate_modes
  xrandr --output DUMMY0 --mode 1280x1024_59.94
  run_pelmode 1024 768
  expect "59.94 kept beside 60.00" 0 '1280x1024    60Hz' 1024x768 "" "$(layout 1024x768 59.94\*)"
  run_pelmode 1024 768px
  expect "a same-size request keeps the rate" 0 '1024x768    60Hz' 1024x768 "" "$(layout 1024x768 59.94\*)"
  # A mirror at 50 Hz; the driver offers DUMMY1 1024x768 at 60 Hz too.
  xrandr --newmode 1920x1080_50 141.45 1920 2032 2232 2544 1080 1081 1084 1112 -hsync +vsync &&
    xrandr --newmode 1024x768_50 51.89 1024 1064 1168 1312 768 769 772 791 -hsync +vsync &&
    xrandr --addmode DUMMY1 1920x1080_50 && xrandr --addmode DUMMY1 1024x768_50
  set_layout "--mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1920x1080_50 --pos 0x0"
  run_pelmode 1024 768
  expect "a 50 Hz mirror keeps its own rate" 0 '1920x1080    60Hz' 1024x768 "" \
    $'screen 1024x768\nDUMMY0 1024x768+0+0 59.94*\nDUMMY1 1024x768+0+0 50.00*'
  set_layout "--mode 1024x768_59.94"
  add_tiny_mode DUMMY0
  run_pelmode 48 40
  expect "mode smaller than the smallest screen" 0 '1024x768    60Hz' 48x40 "" \
    $'screen 64x64\nDUMMY0 48x40+0+0 215.33*'

  # The change is made; that nobody could read about it shows in the status.
  "${PELMODE[@]}" 1024 768 </dev/null >&-
  STATUS=$? && report "standard output closed" "$(status_is 1)"
  "${PELMODE[@]}" 1280 720 </dev/null >/dev/full
  STATUS=$? && report "standard output full" "$(status_is 1)"
  python3 -c 'import os, subprocess, sys; r, w = os.pipe(); os.close(r)
sys.exit(subprocess.call(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=w))' "${PELMODE[@]}" 1024 768
  STATUS=$? && report "standard output a broken pipe, closed before the start" "$(status_is 1)"
  report "each of them still changed the mode" \
    "$(geometry | diff <(printf 'screen 1024x768\nDUMMY0 1024x768+0+0\n') -)"
  # Another client sets 75 Hz between the query and the change: the change
  # must not work from what the query read.
  under_gdb xcb_grab_server "shell xrandr --output DUMMY0 --mode 1024x768 --rate 75" continue
  report "a change made meanwhile by another client is read" \
    "$(status_is 0)$(xserver_observed_layout | grep -q '^DUMMY0 1024x768+0+0 75\.' || xserver_observed_layout)"
  # A mode added meanwhile changes only the configuration's timestamp.
  xrandr --output DUMMY0 --mode 1920x1080
  under_gdb xcb_grab_server "shell xrandr --newmode 1024x768_59.96 64.956 1024 1048 1184 1344 768 771 777 806 \
-hsync -vsync && xrandr --addmode DUMMY0 1024x768_59.96" delete continue
  report "a mode added meanwhile by another client is read" \
    "$(status_is 0)$(xserver_observed_layout | grep -q '^DUMMY0 1024x768+0+0 59\.96' || xserver_observed_layout)"
  # gdb turns the CRTC by 270 degrees (the rotation, at offset 24 of the
  # reply): the dummy driver cannot turn one itself.
  xrandr --output DUMMY0 --mode 1920x1080
  under_gdb "$(reply_of get_crtc_info)" finish 'set *(unsigned short *)($rax + 24) = 8' delete continue
  expect "a CRTC turned by 270 degrees shows its mode turned" 1 '1080x1920    60Hz' 1024x768 \
    'the display does not offer 1024x768'
  GDB_SIZE="768 1024" under_gdb "$(reply_of get_crtc_info)" finish 'set *(unsigned short *)($rax + 24) = 8' \
    delete 'break xcb_randr_set_crtc_config' continue 'printf "rotation %d\n", *(unsigned short *)($rsp + 16)' continue
  report "... and the change keeps the turn" "$(grep -q '^rotation 8$' "$WORK/gdb.log" || grep rotation "$WORK/gdb.log")"
  xserver_stop
}

# Random desktops of two to four monitors, each touching one placed before,
# changed and changed back: the way back must restore them exactly.
random_desktops() {
  local options size before
  while IFS='|' read -r options size; do
    set_layout "$options"
    before=$(geometry)
    run_pelmode $size
    [[ $STATUS == 0 ]] || { report "random desktop $options: the change" "$(status_is 0)"; continue; }
    run_pelmode $(first_size "$before")
    report "random desktop $options, to $size and back" "$(status_is 0)$(diff <(echo "$before") <(geometry))"
  done < <(python3 - <<'PY'
import random
random.seed(20261207)
sizes = [(1024, 768), (1280, 1024), (1920, 1080)]
for _ in range(8):
    boxes = [sizes[random.randrange(3)] + (0, 0)]
    while len(boxes) < random.randint(2, 4):
        w, h = sizes[random.randrange(3)]
        bw, bh, bx, by = random.choice(boxes)
        side, slide = random.randrange(4), random.randint(-400, 400)
        x = bx + bw if side == 0 else bx - w if side == 1 else bx + slide
        y = by + bh if side == 2 else by - h if side == 3 else by + slide
        if all(x >= ox + ow or ox >= x + w or y >= oy + oh or oy >= y + h for ow, oh, ox, oy in boxes):
            boxes.append((w, h, x, y))
    x0, y0 = min(b[2] for b in boxes), min(b[3] for b in boxes)
    options = " --output ".join(f"DUMMY{i} --mode {w}x{h} --pos {x - x0}x{y - y0}"
                                for i, (w, h, x, y) in enumerate(boxes))
    size = random.choice([s for s in sizes if s != boxes[0][:2]])
    print(f"{options.removeprefix('DUMMY0 ')}|{size[0]} {size[1]}")
PY
)
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
    run_pelmode $size
    report "$name: the change" "$(status_is 0)$(diff <(echo "$after") <(geometry))"
    run_pelmode $(first_size "$before")
    report "$name: the change back" "$(status_is 0)$(diff <(echo "$before") <(geometry))"
  done
  set_layout "$(cut -d'|' -f2 <<<"${MONITOR_LAYOUTS[6]}")"
  run_pelmode 1024 768
  xrandr --output DUMMY2 --pos 1024x1080
  run_pelmode 1920 1080
  report "a monitor moved by hand in between keeps its place" "$(status_is 0)$(geometry | diff <(printf \
    'screen 3840x2104\nDUMMY0 1920x1080+0+0\nDUMMY1 1920x1080+1920+0\nDUMMY2 1280x1024+1024+1080\n') -)"
  random_desktops
  set_layout "--mode 1280x720 --panning 1920x1080 --pos 0x0 --output DUMMY1 --mode 1920x1080 --pos 1920x0"
  before=$(geometry)
  run_pelmode 1024 768
  report "panning survives a change" "$(status_is 0)$(geometry | diff <(echo "$before") -)$(
    xrandr --verbose | grep -A20 '^DUMMY0' | grep -q 'Panning: *1920x1080+0+0' || echo 'panning lost')"

  add_tiny_mode DUMMY0
  set_layout "$(cut -d'|' -f2 <<<"${MONITOR_LAYOUTS[3]}")"
  before=$(xserver_observed_layout)
  run_pelmode 48 40
  expect "mirror without the size: nothing changes" 1 '1920x1080    60Hz' 48x40 \
    'the mirrored output DUMMY1 does not offer 48x40' "$before"

  # gdb gives the second CRTC change a failed status: the first, already
  # made, and the grown screen must be put back. When the first request goes
  # out, the target line must already be written.
  set_layout "--mode 1024x768 --pos 0x0 --output DUMMY1 --mode 1280x1024 --pos 1024x0"
  before=$(xserver_observed_layout)
  GDB_SIZE="1920 1080" under_gdb xcb_randr_set_crtc_config "shell cp $WORK/out $WORK/out-at-request" delete \
    "break $(reply_of set_crtc_config)" 'ignore 2 1' continue finish "$FAIL_STATUS" delete continue
  expect "a refused step undoes the steps before it" 1 '1024x768    85Hz' 1920x1080 \
    'the display server refused the change' "$before"
  report "the target is written before the first request" \
    "$(grep -q '^Target: 1920x1080$' "$WORK/out-at-request" || cat -A "$WORK/out-at-request")"
  under_gdb "$(reply_of get_crtc_info)" finish "$FAIL_STATUS" delete continue
  expect "a CRTC reply with a failed status is read again" 0 '1024x768    85Hz' 1024x768 ""
  xrandr --output DUMMY1 --primary
  run_pelmode 800 600
  report "the primary output is the one changed, though not the first" \
    "$(status_is 0)$(geometry | diff <(printf 'screen 1824x768\nDUMMY0 1024x768+0+0\nDUMMY1 800x600+1024+0\n') -)"
  xserver_stop
}

test_xvfb() {
  start_xvfb "$WORK/xvfb" || return 1
  local vlayout=$'screen 1280x1024\nscreen 1280x1024+0+0 0.00*' resolution unused
  resolution=$(xdpyinfo | grep resolution:)
  run_pelmode 1024 768
  expect "from a mode without timings" 0 '1280x1024    0Hz' 1024x768 "" \
    $'screen 1024x768\nscreen 1024x768+0+0 59.92*'
  report "the dots per inch stay" "$(diff <(echo "$resolution") <(xdpyinfo | grep resolution:))"
  run_pelmode 1280 1024

  unused=$(xserver_unused_display)
  DISPLAY=$unused run_pelmode 800 600
  expect "DISPLAY names no server" 1 unknown 800x600 "cannot open display \"$unused\"" "$vlayout"
  under_gdb "$(reply_of query_version)" finish 'set *(unsigned int *)($rax + 12) = 2' delete continue
  expect "RandR 1.2 only" 1 unknown 1024x768 'the display server has no RandR 1.3 support'
  DISPLAY='' run_pelmode 800 600
  expect "DISPLAY empty" 1 unknown 800x600 'no display is set (DISPLAY is empty)'
  STATUS=$(unset DISPLAY && run_pelmode 800 600 && echo "$STATUS")
  expect "no display named" 1 unknown 800x600 'no display is set (neither WAYLAND_DISPLAY nor DISPLAY)'
  DISPLAY=$XSERVER_DISPLAY.1 run_pelmode 800 600
  expect "screen that does not exist" 1 unknown 800x600 \
    "the display server of \"$XSERVER_DISPLAY.1\" has no such screen" "$vlayout"
  xserver_stop

  # Waiting for a key with standard error closed: the prompt is on its way
  # already, and descriptor 2 is not free for the next file opened.
  rm -f "$WORK/keys" && mkfifo "$WORK/keys"
  "${PELMODE[@]}" <"$WORK/keys" >"$WORK/out" 2>&- &
  local pid=$! held
  exec {held}>"$WORK/keys"
  for _ in $(seq 100); do grep -q 'Press any key' "$WORK/out" && break; sleep 0.1; done
  report "the prompt is written before the wait" "$(grep -q 'Press any key' "$WORK/out" || echo 'not yet')"
  report "a closed standard error is taken by /dev/null" \
    "$([[ $(readlink "/proc/$pid/fd/2") == /dev/null ]] || ls -l "/proc/$pid/fd")"
  exec {held}>&-
  wait "$pid"
  STATUS=$? && report "the end of input ends the wait" "$(status_is 2)"
}

# Weston with Xwayland: no output manager for a Wayland client, and RandR
# only pretends, for the asking client.
test_wayland() {
  private_session "$WORK/wayland" || return 1
  weston --backend=headless-backend.so --xwayland --socket=pelmode-weston \
    --log="$WORK/wayland/weston.log" >/dev/null 2>&1 &
  local weston=$! number=""
  for _ in $(seq 100); do
    number=$(sed -n '/xserver listening on display :/{s/.*:\([0-9]*\).*/\1/p;q}' "$WORK/wayland/weston.log")
    [[ -n $number ]] && break
    sleep 0.1
  done
  [[ -n $number ]] || { kill "$weston"; return 1; }
  export DISPLAY=:$number WAYLAND_DISPLAY=pelmode-weston
  local before
  before=$(xrandr --current)
  run_pelmode 800 600
  expect "Wayland session: refused, nothing asked" 1 unknown 800x600 \
    "this is a Wayland session (\"pelmode-weston\"); change the display mode in the compositor's settings"
  report "Wayland session: mode unchanged" "$(diff <(echo "$before") <(xrandr --current))"
  unset WAYLAND_DISPLAY
  run_pelmode 800 600
  expect "Xwayland alone: known by its outputs, refused" 1 '1024x640    60Hz' 800x600 \
    "this is a Wayland session (\"$DISPLAY\"); change the display mode in the compositor's settings"
  report "Xwayland alone: mode unchanged" "$(diff <(echo "$before") <(xrandr --current))"
  export WAYLAND_DISPLAY=pelmode-weston
  without_display run_pelmode 800 600
  expect "Wayland session without DISPLAY: the same" 1 unknown 800x600 \
    "this is a Wayland session (\"pelmode-weston\"); change the display mode in the compositor's settings"
  stop "$weston" "$BUS_PID"
}

# private_session DIR: the runtime folder, home and session bus of its own
# that each compositor needs; BUS_PID is the bus's.
private_session() {
  rm -rf "$1" && mkdir -p "$1/home/.config" && mkdir -m 700 "$1/run"
  export XDG_RUNTIME_DIR=$1/run HOME=$1/home
  local bus
  bus=$(dbus-daemon --session --address="unix:path=$1/run/bus" --fork --print-address=1 --print-pid=1 --nopidfile) || return 1
  export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
  BUS_PID=${bus##*$'\n'}
}

# await_socket NAME: true once the compositor listens on NAME, within 20 s.
await_socket() {
  for _ in $(seq 200); do [[ -S $XDG_RUNTIME_DIR/$1 ]] && return 0; sleep 0.1; done
  return 1
}

stop() { kill "$@" 2>/dev/null; wait "$@" 2>/dev/null; return 0; }

# Mutter's monitors as "LVDS1 1280x720@59.940+0+0", in its logical order.
mutter_layout() {
  busctl --user --json=short call org.gnome.Mutter.DisplayConfig /org/gnome/Mutter/DisplayConfig \
    org.gnome.Mutter.DisplayConfig GetCurrentState | python3 -c 'import json, sys
serial, monitors, logical, _ = json.load(sys.stdin)["data"]
current = {m[0][0]: [mode[0] for mode in m[1] if "is-current" in mode[6]][0] for m in monitors}
print("\n".join(f"{c[0]} {current[c[0]]}+{l[0]}+{l[1]} x{l[2]:g}" + (f" turned {l[3]}" if l[3] else "")
                for l in logical for c in l[5]))'
}

# mutter_arrangement MODE SCALE X2 [Y2 [MODE2 [TURN2]]]: the command that
# puts LVDS1, primary, at 0,0 showing MODE at SCALE and LVDS2 at X2,Y2
# showing MODE2 (1920x1080) turned by TURN2 (0), for the session only;
# mutter_arrange runs it.
mutter_arrangement() {
  local serial
  serial=$(busctl --user call org.gnome.Mutter.DisplayConfig /org/gnome/Mutter/DisplayConfig \
    org.gnome.Mutter.DisplayConfig GetCurrentState | cut -d' ' -f2)
  echo "busctl --user call org.gnome.Mutter.DisplayConfig /org/gnome/Mutter/DisplayConfig" \
    "org.gnome.Mutter.DisplayConfig ApplyMonitorsConfig 'uua(iiduba(ssa{sv}))a{sv}' $serial 1 2" \
    "0 0 $2 0 true 1 LVDS1 $1 0 $3 ${4:-0} 1 ${6:-0} false 1 LVDS2 ${5:-1920x1080@60.000} 0 0 >/dev/null"
}
mutter_arrange() { eval "$(mutter_arrangement "$@")"; }

# Mutter nested on Xvfb, with two dummy monitors of several modes each.
test_mutter() {
  private_session "$WORK/mutter" || return 1
  xserver_start xvfb "$WORK/mutter/x" -screen 0 4096x2304x24 || return 1
  DISPLAY=$XSERVER_DISPLAY MUTTER_DEBUG_NUM_DUMMY_MONITORS=2 \
    MUTTER_DEBUG_DUMMY_MODE_SPECS=1920x1080@60:1280x720@59.94:1280x720@60:1024x768@59.94:1024x768@60:1024x768@75:800x600@85 \
    mutter --nested --wayland --no-x11 --wayland-display=pelmode-mutter >"$WORK/mutter/log" 2>&1 &
  local mutter=$! start=$'LVDS1 1920x1080@60.000+0+0 x1\nLVDS2 1920x1080@60.000+1920+0 x1'
  await_socket pelmode-mutter && gdbus wait --session --timeout 20 org.gnome.Mutter.DisplayConfig || return 1
  export WAYLAND_DISPLAY=pelmode-mutter && unset DISPLAY
  # The bus found where it is when no address is named.
  STATUS=$(unset DBUS_SESSION_BUS_ADDRESS && run_pelmode 1280 720 && echo "$STATUS")
  expect "Mutter: the change" 0 '1920x1080    60Hz' 1280x720 ""
  report "Mutter: the neighbour follows" \
    "$(diff <(printf 'LVDS1 1280x720@60.000+0+0 x1\nLVDS2 1920x1080@60.000+1280+0 x1\n') <(mutter_layout))"
  run_pelmode 1920 1080
  report "Mutter: the change back" "$(status_is 0)$(diff <(echo "$start") <(mutter_layout))"
  # gdb gives the first apply a serial Mutter never issued: it is refused as
  # stale, read again and applied.
  under_gdb 'sd_bus_message_append if $_streq((char *) $rsi, "uu")' 'set $rdx = 99' delete continue
  expect "Mutter: a stale serial read again" 0 '1920x1080    60Hz' 1024x768 ""
  mutter_arrange 1280x720@59.940 1 1280
  run_pelmode 1024 768
  report "Mutter: 59.940 kept beside 60.000" "$(mutter_layout | grep -vx 'LVDS1 1024x768@59.940+0+0 x1' | grep LVDS1)"
  # Scale 2 is allowed with 1920x1080 only: the smaller sizes take 1.
  local size
  for size in 1280x720 1024x768; do
    mutter_arrange 1920x1080@60.000 2 1920
    run_pelmode ${size/x/ }
    report "Mutter: from scale 2 to $size" "$(status_is 0)$(mutter_layout | grep -vx "LVDS1 $size@60.000+0+0 x1" | grep LVDS1)"
  done
  # Another client moves LVDS2 below LVDS1 after Pelmode read the monitors
  # and before it applies: the change is planned again on that.
  mutter_arrange 1920x1080@60.000 1 1920
  under_gdb MutterDisplay::ChangedSinceRead "shell $(mutter_arrangement 1920x1080@60.000 1 0 1080)" \
    delete continue
  expect "Mutter: a change made meanwhile by another client" 0 '1920x1080    60Hz' 1024x768 ""
  report "Mutter: ... is planned on, not undone" \
    "$(diff <(printf 'LVDS1 1024x768@60.000+0+0 x1\nLVDS2 1920x1080@60.000+0+768 x1\n') <(mutter_layout))"
  mutter_arrange 1920x1080@60.000 1 1920
  under_gdb MutterDisplay::Carry "shell kill -STOP $mutter" delete continue
  kill -CONT "$mutter"
  expect "Mutter stopped during the change" 1 '1920x1080    60Hz' 1024x768 \
    "Mutter on the session bus did not answer within $ANSWER_TIMEOUT_S s; the change may still be made"
  for _ in $(seq 100); do mutter_layout | grep -q 'LVDS1 1024x768' && break; sleep 0.1; done
  report "Mutter stopped during the change: made once it goes on" "$(mutter_layout | grep -v 'LVDS1 1024x768' | grep LVDS1)"
  # The bottoms lined up, and on the way back the tops as well: only the
  # remembered layout brings LVDS2 back to 1920,360. First a memory of the
  # same length (59940 for 60000): the next is written all the same.
  mutter_arrange 1920x1080@60.000 1 1920 360 1280x720@59.940
  run_pelmode 1280 720
  mutter_arrange 1920x1080@60.000 1 1920 360 1280x720@60.000
  run_pelmode 1280 720
  run_pelmode 1920 1080
  report "Mutter: the way back remembered" "$(status_is 0)$(diff <(printf \
    'LVDS1 1920x1080@60.000+0+0 x1\nLVDS2 1280x720@60.000+1920+360 x1\n') <(mutter_layout))"
  mutter_arrange 1920x1080@60.000 1 1920 0 1280x720@60.000 1
  run_pelmode 1280 720
  report "Mutter: a turned neighbour keeps its turn" "$(status_is 0)$(diff <(printf \
    'LVDS1 1280x720@60.000+0+0 x1\nLVDS2 1280x720@60.000+1280+0 x1 turned 1\n') <(mutter_layout))"
  report "Mutter: nothing stored" "$(ls "$HOME/.config/monitors.xml" 2>/dev/null)"
  # Mutter on the bus does not make it the display of every session.
  unset WAYLAND_DISPLAY
  DISPLAY=$XSERVER_DISPLAY run_pelmode 4096 2304
  expect "X11 beside Mutter on the bus: X11" 0 '4096x2304    0Hz' 4096x2304 ""
  weston --backend=headless-backend.so --socket=pelmode-weston >/dev/null 2>&1 &
  local weston=$! before
  await_socket pelmode-weston || return 1
  before=$(mutter_layout)
  WAYLAND_DISPLAY=pelmode-weston run_pelmode 800 600
  expect "Weston beside Mutter on the bus: a Wayland session" 1 unknown 800x600 \
    "this is a Wayland session (\"pelmode-weston\"); change the display mode in the compositor's settings"
  report "Weston beside Mutter on the bus: Mutter untouched" "$(diff <(echo "$before") <(mutter_layout))"
  WAYLAND_DISPLAY=pelmode-mutter under_gdb MutterDisplay::Carry "shell kill $BUS_PID" delete continue
  expect "the bus gone during the change" 1 '1280x720    60Hz' 1024x768 "the connection to the display server was lost"
  stop "$weston" "$mutter" "$BUS_PID"
  xserver_stop
}

# kwin and phoc give each output one mode: a same-size change and, where a
# tool can read it (OBSERVE), the layout left as it was.
one_mode_compositor() {
  local name=$1 current=$2 size=$3 observe=${4:-} before
  [[ -n $observe ]] && before=$($observe)
  run_pelmode ${size/x/ }
  expect "$name: a same-size change" 0 "$current" "$size" ""
  [[ -z $observe ]] || report "$name: the layout untouched" "$(diff <(echo "$before") <($observe))"
}

test_kwin() {
  private_session "$WORK/kwin" || return 1
  # The installed kwin carries a file capability that this machine's
  # bounding set lacks; a copy runs.
  cp /usr/bin/kwin_wayland "$XDG_RUNTIME_DIR/kwin_wayland"
  "$XDG_RUNTIME_DIR/kwin_wayland" --virtual --width 1280 --height 720 --output-count 2 \
    --socket pelmode-kwin --no-lockscreen --no-global-shortcuts --no-kactivities >"$WORK/kwin/log" 2>&1 &
  local kwin=$!
  await_socket pelmode-kwin || return 1
  export WAYLAND_DISPLAY=pelmode-kwin && unset DISPLAY
  one_mode_compositor kwin '1280x720    60Hz' 1280x720
  stop "$kwin" "$BUS_PID"
}

test_phoc() {
  private_session "$WORK/phoc" || return 1
  printf '[core]\nxwayland=false\n[output:HEADLESS-1]\nmode = 1920x1080\n' >"$WORK/phoc/phoc.ini"
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=2 \
    phoc -C "$WORK/phoc/phoc.ini" >"$WORK/phoc/log" 2>&1 &
  local phoc=$!
  await_socket wayland-0 || return 1
  export WAYLAND_DISPLAY=wayland-0 && unset DISPLAY
  one_mode_compositor phoc '1920x1080    60Hz' 1920x1080 wlr-randr
  kill -STOP "$phoc"
  run_pelmode 1920 1080
  expect "phoc stopped" 1 unknown 1920x1080 \
    "the Wayland display \"wayland-0\" did not answer within $ANSWER_TIMEOUT_S s, and DISPLAY is not set"
  kill -CONT "$phoc"
  stop "$phoc" "$BUS_PID"
}

# without_display COMMAND...: runs it with DISPLAY unset.
without_display() {
  local saved=$DISPLAY
  unset DISPLAY
  "$@"
  export DISPLAY=$saved
}

# silent_socket PATH [FULL]: a socket that takes connections and never
# answers, with its listen queue full where FULL is given, as a stopped
# compositor's fills up; SILENT_PIDS gets its process.
silent_socket() {
  rm -f "$1" "$1.ready"
  python3 -c 'import socket, sys, time
full = len(sys.argv) > 2
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(0 if full else 8)
if full: c = socket.socket(socket.AF_UNIX); c.connect(sys.argv[1])
open(sys.argv[1] + ".ready", "w").close(); time.sleep(600)' "$@" &
  SILENT_PIDS+=($!)
  for _ in $(seq 100); do [[ -e $1.ready ]] && return 0; sleep 0.1; done
  return 1
}

# Runs the command after SETUP as a caller may leave it: SIGALRM blocked
# ("sigalrm-blocked"), a SIGALRM timer of 2 s running ("timer"), or
# WAYLAND_SOCKET empty ("empty") or naming a listening Unix socket
# ("listening") or a UDP one ("udp").
AS_CALLER='import os, signal, socket, sys
setup, command = sys.argv[1], sys.argv[2:]
if setup == "sigalrm-blocked": signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGALRM])
if setup == "timer": signal.setitimer(signal.ITIMER_REAL, 2)
if setup == "empty": os.environ["WAYLAND_SOCKET"] = ""
if setup == "listening": s = socket.socket(socket.AF_UNIX); s.bind(""); s.listen(); os.dup2(s.fileno(), 5)
if setup == "udp": s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); os.dup2(s.fileno(), 5)
if setup in ("listening", "udp"): os.environ["WAYLAND_SOCKET"] = "5"
os.execvp(command[0], command)'

# run_timed NAME WAITS ARGS...: runs Pelmode, after the setup CALLER names
# if any, and reports a run that did not wait for the deadline (at least all
# of it but 1 s, at most 4 s more) where WAITS is "deadline", or that waited
# for most of it where WAITS is "none". A run is cut short at three deadlines.
run_timed() {
  local wrapper=(timeout $((3 * ANSWER_TIMEOUT_S)))
  [[ -n ${CALLER:-} ]] && wrapper+=(python3 -c "$AS_CALLER" "$CALLER")
  local PELMODE=("${wrapper[@]}" "${PELMODE[@]}") start=${EPOCHREALTIME//[.,]/} took_ms
  run_pelmode "${@:3}"
  took_ms=$(((${EPOCHREALTIME//[.,]/} - start) / 1000))
  local least_ms=$(((ANSWER_TIMEOUT_S - 1) * 1000)) most_ms=$(((ANSWER_TIMEOUT_S + 4) * 1000))
  [[ $2 == none ]] && most_ms=$least_ms least_ms=0
  report "$1: waits $2" "$( ((least_ms <= took_ms && took_ms <= most_ms)) || echo "took $took_ms ms")"
}

# Servers, compositors and buses that stop answering: each run ends by itself
# within the deadline, naming what did not answer.
test_deadlines() {
  private_session "$WORK/deadlines" || return 1
  local silent=$XDG_RUNTIME_DIR/silent after="did not answer within $ANSWER_TIMEOUT_S s" held setup cause
  SILENT_PIDS=()
  silent_socket "$silent" && silent_socket "$XDG_RUNTIME_DIR/full" full || return 1
  start_xvfb "$WORK/deadlines/x" -listen tcp || return 1
  WAYLAND_DISPLAY=full without_display run_timed "a compositor with its listen queue full" deadline 800 600
  expect "a compositor with its listen queue full" 1 unknown 800x600 \
    "the Wayland display \"full\" $after, and DISPLAY is not set"
  WAYLAND_DISPLAY=silent run_timed "a silent compositor beside X" deadline 1280 1024
  NOTICE="Pelmode: the Wayland display \"silent\" $after; using DISPLAY instead." \
    expect "a silent compositor beside X: said, then X11" 0 '1280x1024    0Hz' 1280x1024 ""
  DBUS_SESSION_BUS_ADDRESS=unix:path=$silent without_display run_timed "a silent bus" deadline 800 600
  expect "a silent bus, nothing else named" 1 unknown 800x600 "the session bus $after"
  # WAYLAND_SOCKET as libwayland could not use it: refused at once, DISPLAY or not.
  while IFS='|' read -r setup cause; do
    CALLER=$setup run_timed "WAYLAND_SOCKET $setup" none 800 600
    expect "WAYLAND_SOCKET $setup: refused" 1 unknown 800x600 "$cause"
  done <<'ROWS'
empty|WAYLAND_SOCKET is set but empty
listening|WAYLAND_SOCKET ("5") names a listening socket, not a connection to a compositor
udp|WAYLAND_SOCKET ("5") names a datagram socket, not a connection to a compositor
ROWS
  # A caller's timer is left running through the connection and the key wait.
  rm -f "$WORK/keys" && mkfifo "$WORK/keys" && exec {held}<>"$WORK/keys"
  timeout $((3 * ANSWER_TIMEOUT_S)) python3 -c "$AS_CALLER" timer "${PELMODE[@]}" 1280 1024 \
    <"$WORK/keys" >"$WORK/out" 2>"$WORK/err"
  STATUS=$? && exec {held}>&-
  report "a caller's SIGALRM timer ends the key wait" "$(status_is $((128 + 14)))"
  # With DISPLAY set the bus is not asked, nor libsystemd or libwayland loaded.
  DBUS_SESSION_BUS_ADDRESS=unix:path=$silent LD_DEBUG=files run_pelmode 1280 1024
  report "X11 beside a silent bus: done at once, without libsystemd or libwayland" \
    "$(status_is 0)$(grep -q 'Setting done' "$WORK/out" || cat "$WORK/out")$(
      grep -o 'file=lib\(systemd\|wayland\|ffi\)[^ ]*' "$WORK/err")"
  # Stopped after the query, when the change is about to be asked.
  under_gdb xcb_grab_server "shell kill -STOP $XSERVER_PID" delete continue
  kill -CONT "$XSERVER_PID"
  expect "an X server stopped after the query" 1 '1280x1024    0Hz' 1024x768 "the display server \"$DISPLAY\" $after"
  # Stopped once the change is on its way: it may still be made.
  under_gdb xcb_randr_set_crtc_config "shell kill -STOP $XSERVER_PID" delete continue
  kill -CONT "$XSERVER_PID"
  expect "an X server stopped at the change" 1 '1280x1024    0Hz' 1024x768 \
    "the display server \"$DISPLAY\" $after; the change may still be made"
  kill -STOP "$XSERVER_PID"
  CALLER=sigalrm-blocked run_timed "a stopped X server, SIGALRM blocked" deadline 800 600
  expect "a stopped X server, SIGALRM blocked" 1 unknown 800x600 "the display server \"$DISPLAY\" $after"
  DISPLAY=localhost$DISPLAY run_timed "a stopped X server over TCP" deadline 800 600
  expect "a stopped X server over TCP" 1 unknown 800x600 "the display server \"localhost$DISPLAY\" $after"
  kill -CONT "$XSERVER_PID"
  stop "${SILENT_PIDS[@]}" "$BUS_PID"
  xserver_stop
}

# Which display is chosen, and what is said, where the environment misleads.
test_choice() {
  WAYLAND_SOCKET=1 run_pelmode 800 600
  expect "WAYLAND_SOCKET naming standard output: refused, the output kept" 1 unknown 800x600 \
    'WAYLAND_SOCKET ("1") names standard output, not a compositor'"'"'s socket'
  DISPLAY=:77 WAYLAND_SOCKET=2 run_pelmode 800 600
  expect "WAYLAND_SOCKET naming standard error, DISPLAY set: refused all the same" 1 unknown 800x600 \
    'WAYLAND_SOCKET ("2") names standard error, not a compositor'"'"'s socket'
  WAYLAND_SOCKET=5 run_pelmode 800 600 5</dev/null
  expect "WAYLAND_SOCKET naming no socket" 1 unknown 800x600 'WAYLAND_SOCKET ("5") names no open socket'
  python3 -c 'import os, struct, sys
field = lambda b: struct.pack(">H", len(b)) + b
open(sys.argv[1], "wb").write(struct.pack(">H", 256) + field(os.uname().nodename.encode()) + field(b"")
    + field(b"MIT-MAGIC-COOKIE-1") + field(os.urandom(16)))' "$WORK/xauthority"
  xserver_start xvfb "$WORK/x" -auth "$WORK/xauthority" || return 1
  DISPLAY=$XSERVER_DISPLAY XAUTHORITY=$WORK/nothing run_pelmode 800 600
  report "a wrong XAUTHORITY" "$(status_is 1)$(grep -qxF "Setting failed: the display server of \"$XSERVER_DISPLAY\" \
refused the connection (is XAUTHORITY right?)." "$WORK/err" || cat "$WORK/err")"
  xserver_stop
}

# The server dies after the query, when the change's first request (the
# server grab) is about to go out: gdb holds Pelmode there meanwhile.
test_vanishing() {
  start_xvfb "$WORK/vanishing" || return 1
  under_gdb xcb_grab_server "shell kill -9 $XSERVER_PID; sleep 0.3" continue
  expect "server gone before the change" 1 '1280x1024    0Hz' 1024x768 \
    'the connection to the display server was lost'
  { wait "$XSERVER_PID"; } 2>/dev/null
  return 0
}

test_norandr() {
  xserver_start xvfb "$WORK/norandr" -extension RANDR -screen 0 1280x1024x24 || return 1
  export DISPLAY=$XSERVER_DISPLAY
  run_pelmode 1024 768
  expect "server without RandR" 1 unknown 1024x768 'the display server has no RandR 1.3 support'
  xserver_stop
}

# The mode Wine keeps in the registry for the display.
registry_mode() {
  /usr/lib/wine/wine64 reg query 'HKCC\System\CurrentControlSet\Control\Video' /s | tr -d '\r' |
    grep -F 'Modes\FFFFFFFE'
}

# Wine implements the display-settings calls on RandR.
test_wine() {
  xserver_start dummy "$WORK/dummy" || return 1
  # No Mono or Gecko: their installers would wait for a click on the display.
  export DISPLAY=$XSERVER_DISPLAY WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX"
  /usr/lib/wine/wine64 wineboot -i >"$WORK/wineboot.log" 2>&1 || { cat "$WORK/wineboot.log"; return 1; }
  PELMODE=(/usr/lib/wine/wine64 "${PELMODE[@]}") EOL=$'\r'
  local stored
  stored=$(registry_mode)
  xrandr --output DUMMY0 --mode 1920x1080
  run_pelmode 1024 768
  expect "change" 0 '1920x1080    60Hz' 1024x768 ""
  # Wine picks the refresh rate itself: only the size is Pelmode's.
  report "xrandr shows the new size" "$(geometry | diff <(printf 'screen 1024x768\nDUMMY0 1024x768+0+0\n') -)"
  # 1920x1080 is offered at 60 Hz only: asking for 85 would be refused.
  xrandr --output DUMMY0 --mode 1024x768 --rate 85
  run_pelmode 1920 1080
  expect "the rate in force is not asked" 0 '1024x768    85Hz' 1920x1080 "" "$(layout 1920x1080 59.96\*)"
  report "nothing stored in the registry" "$(diff <(echo "$stored") <(registry_mode))"
  xrandr --output DUMMY0 --mode 1920x1080
  run_pelmode 1000 700
  expect "size not offered: mode unchanged" 1 '1920x1080    60Hz' 1000x700 \
    'the display does not offer 1000x700' "$(layout 1920x1080 59.96\*)"
  xserver_stop
}

mkdir -p "$WORK"
if [[ $GROUP == dummy || $GROUP == monitors || $GROUP == wine ]] && [[ $(id -u) != 0 ]]; then
  echo "Xorg with the dummy driver needs root; skipped"
  exit 77
fi
"test_$GROUP" || report "start the $GROUP server" "see the messages above"
summary
