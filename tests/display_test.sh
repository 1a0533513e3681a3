#!/usr/bin/env bash
# shellcheck disable=SC2016,SC2086,SC2046  # gdb commands quoted; sizes split
# Runs the built Pelmode as a user does against private X servers and
# compositors, and checks its exact output, its exit status, and the layout
# the display then reports.
# Usage: display_test.sh PELMODE WORK_DIR GROUP
# GROUP: dummy, monitors, xvfb, norandr, vanishing, wayland (weston), mutter,
# kwin, phoc, deadlines, choice, or wine (then PELMODE is the x86-64 Windows
# build).
set -uo pipefail

PELMODE=("$1")
WORK=$2
GROUP=$3
# shellcheck source=tests/lib/expect.sh
source "$(dirname "$0")/lib/expect.sh"

# Screen and outputs without the refresh rates.
geometry() { xserver_observed_layout | sed 's/ [0-9.]*\*$//'; }

# start_dummy DIR: Xorg on the dummy driver; DISPLAY names it.
start_dummy() { xserver_start dummy "$1" && export DISPLAY=$XSERVER_DISPLAY; }

# set_layout XRANDR_OPTIONS: DUMMY0 primary, the outputs as given.
set_layout() {
  xrandr --output DUMMY1 --off --output DUMMY2 --off --output DUMMY3 --off
  xrandr --output DUMMY0 --primary $1
  xrandr -q >/dev/null  # the driver reports the outputs connected from here on
}

# new_mode OUTPUT NAME CLOCK TIMINGS...: a mode the driver does not list.
new_mode() { xrandr --newmode "${@:2}" && xrandr --addmode "$1" "$2"; }

# in_force MODE [RATE]: DUMMY0 shows MODE.
in_force() { xrandr --output DUMMY0 --mode $1 ${2:+--rate $2}; }

# under_gdb BREAKPOINT GDB_COMMAND...: runs Pelmode 1024 768 (or GDB_SIZE) under gdb, which
# carries out the commands once it stops at the breakpoint; sets STATUS.
# FAIL_STATUS, right after a reply arrives, marks it failed; reply_of REQUEST
# is where the reply to that request arrives.
FAIL_STATUS='set *(unsigned char *)($rax + 1) = 3'
reply_of() { echo "pelmode::x11::AwaitReply if \$_caller_matches(\".*$1\")"; }
under_gdb() {
  local commands=() command size=${GDB_SIZE:-1024 768}
  for command in "${@:2}"; do commands+=(-ex "$command"); done
  TARGET=${size/ /x}
  # LeakSanitizer cannot work under ptrace; the other tests cover leaks.
  ASAN_OPTIONS=detect_leaks=0 timeout 90 gdb -batch -nx -ex 'set breakpoint pending on' -ex "break $1" \
    -ex "run $size </dev/null >$WORK/out 2>$WORK/err" "${commands[@]}" \
    --args "${PELMODE[@]}" >"$WORK/gdb.log" 2>&1
  STATUS=$(sed -n 's/.*exited with code \([0-9]*\)\]/\1/p' "$WORK/gdb.log")
  STATUS=$((10#${STATUS:-0}))
}

test_dummy() {
  start_dummy "$WORK/dummy" || return 1
  # Double-scan at 1920x1080's own rate: a progressive mode comes first.
  new_mode DUMMY0 1024x768_ds 129.912 1024 1048 1184 1344 768 771 777 806 doublescan
  rows <<'ROWS'
in_force 1920x1080 59.96; run_pelmode 1024 768|59.96 Hz to 1024x768: the nearest rate, 60.00|0|1920x1080@60||screen 1024x768;DUMMY0 1024x768+0+0 60.00*
run_pelmode 1000 700|size not offered: mode unchanged|1|1024x768@60|the display does not offer 1000x700 (nearest: 1024x768, 1024x576; see --list)|screen 1024x768;DUMMY0 1024x768+0+0 60.00*
ROWS
  # A mirror at 50 Hz (the driver offers DUMMY1 1024x768 at 60 Hz too); a
  # mode smaller than any screen.
  new_mode DUMMY1 1920x1080_50 141.45 1920 2032 2232 2544 1080 1081 1084 1112 -hsync +vsync
  new_mode DUMMY1 1024x768_50 51.89 1024 1064 1168 1312 768 769 772 791 -hsync +vsync
  new_mode DUMMY0 48x40 0.5 48 50 52 54 40 41 42 43
  rows <<'ROWS'
set_layout "--mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1920x1080_50 --pos 0x0"; run_pelmode 1024 768|a 50 Hz mirror keeps its own rate|0|1920x1080@60||screen 1024x768;DUMMY0 1024x768+0+0 60.00*;DUMMY1 1024x768+0+0 50.00*
set_layout "--mode 1024x768 --rate 60"; run_pelmode 48 40|mode smaller than the smallest screen|0|1024x768@60||screen 64x64;DUMMY0 48x40+0+0 215.33*
ROWS

  # The change is made; that nobody could read about it shows in the status.
  # Invalid arguments keep their own status.
  local how status command
  while IFS='|' read -r how status command; do
    eval "$command"
    STATUS=$? && report "standard output $how" "$(status_is $status)"
  done <<'ROWS'
closed|1|"${PELMODE[@]}" 1024 768 </dev/null >&-
full|1|"${PELMODE[@]}" 1280 720 </dev/null >/dev/full
full, --version|1|"${PELMODE[@]}" --version </dev/null >/dev/full
full, the arguments invalid|2|"${PELMODE[@]}" --help --bogus </dev/null >/dev/full
a broken pipe, closed before the start|1|python3 -c 'import os, subprocess, sys; r, w = os.pipe(); os.close(r); sys.exit(subprocess.call(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=w))' "${PELMODE[@]}" 1024 768
ROWS
  report "each of them still changed the mode" "$(diff <(printf 'screen 1024x768\nDUMMY0 1024x768+0+0\n') <(geometry))"
  # Another client sets 75 Hz, or adds a mode (which changes only the
  # configuration's timestamp), between the query and the change: the change
  # must not work from what the query read. gdb turns the CRTC by 270 degrees
  # (the rotation, at offset 24 of the reply): the dummy driver cannot.
  local turn=('finish' 'set *(unsigned short *)($rax + 24) = 8' delete)
  rows <<'ROWS'
under_gdb xcb_grab_server "shell xrandr --output DUMMY0 --mode 1024x768 --rate 75" delete continue|a change made meanwhile by another client is read|0|1024x768@60||screen 1024x768;DUMMY0 1024x768+0+0 75.03*
in_force 1920x1080; under_gdb xcb_grab_server "shell xrandr --newmode 1024x768_59.96 64.956 1024 1048 1184 1344 768 771 777 806 -hsync -vsync && xrandr --addmode DUMMY0 1024x768_59.96" delete continue|a mode added meanwhile by another client is read|0|1920x1080@60||screen 1024x768;DUMMY0 1024x768+0+0 59.96*
in_force 1920x1080; under_gdb "$(reply_of get_crtc_info)" "${turn[@]}" continue|a CRTC turned by 270 degrees shows its mode turned|1|1080x1920@60|the display does not offer 1024x768 (nearest: 600x800, 624x832; see --list)
ROWS
  GDB_SIZE="768 1024" under_gdb "$(reply_of get_crtc_info)" "${turn[@]}" 'break xcb_randr_set_crtc_config' \
    continue 'printf "rotation %d\n", *(unsigned short *)($rsp + 16)' continue
  report "... and the change keeps the turn" "$(grep -q '^rotation 8$' "$WORK/gdb.log" || grep rotation "$WORK/gdb.log")"
}

# Desktops changed and changed back, as "NAME|XRANDR_OPTIONS|SIZE|AFTER"
# (AFTER as geometry gives it, ";" for line ends, or empty): the way back must restore them
# exactly. The layout rule is judged by the unit tests; these prove what
# X11 adds: a mirror, the memory a way back needs, and desktops of two or
# three monitors, one drawn at random, each touching one placed before.
MONITOR_LAYOUTS=(
  "mirror|--mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1920x1080 --same-as DUMMY0|1024 768|screen 1024x768;DUMMY0 1024x768+0+0;DUMMY1 1024x768+0+0"
  "bottoms lined up, and on the way back the tops too|--mode 2048x1536 --pos 0x0 --output DUMMY1 --mode 1920x1080 --pos 2048x456|1920 1080|screen 3840x1080;DUMMY0 1920x1080+0+0;DUMMY1 1920x1080+1920+0"
  "a mirrored pair beside the changed one moves as one|--mode 1280x1024 --pos 0x0 --output DUMMY1 --mode 1920x1080 --pos 1280x0 --output DUMMY2 --mode 1920x1080 --same-as DUMMY1|1024 768|screen 2944x1080;DUMMY0 1024x768+0+0;DUMMY1 1920x1080+1024+0;DUMMY2 1920x1080+1024+0"
  "an L: one above touches the right one at a corner only|--mode 1920x1080 --pos 0x1080 --output DUMMY1 --mode 1920x1080 --pos 1920x1080 --output DUMMY2 --mode 1920x1080 --pos 0x0|1280 720|screen 3200x2160;DUMMY0 1280x720+0+1080;DUMMY1 1920x1080+1280+1080;DUMMY2 1920x1080+0+0"
  "a random desktop|--mode 1280x1024 --pos 1153x1094 --output DUMMY1 --mode 1024x768 --pos 129x1080 --output DUMMY2 --mode 1920x1080 --pos 0x0|1024 768|"
)
# option_rows: each line of standard input, "ARGUMENTS|INPUT|NAME|STATUS|
# WORDS|LAYOUT", runs Pelmode with INPUT none (at its end), key, silence
# (kept open, nothing typed), or TERM or HUP (silence, that signal after 1 s); every grep -E pattern of WORDS (separated by
# ";") must be in the output, and the layout (as OBSERVE, else geometry,
# gives it) is LAYOUT with ";" for line ends, or BEFORE. Silence must be
# waited for 2 s at least.
option_rows() {
  local args input name status words layout pattern started
  [[ -p $WORK/silence ]] || mkfifo "$WORK/silence"
  while IFS='|' read -r args input name status words layout; do
    started=$(date +%s%N)
    case $input in
      key) printf k | "${PELMODE[@]}" $args >"$WORK/out" 2>"$WORK/err" ;;
      silence) sleep 9 >"$WORK/silence" & "${PELMODE[@]}" $args <"$WORK/silence" >"$WORK/out" 2>"$WORK/err" ;;
      TERM | HUP) "${PELMODE[@]}" $args <"$WORK/silence" >"$WORK/out" 2>"$WORK/err" &
        local pelmode=$!
        sleep 9 >"$WORK/silence" &
        sleep 1 && kill -$input $pelmode && wait $pelmode ;;
      *) "${PELMODE[@]}" $args </dev/null >"$WORK/out" 2>"$WORK/err" ;;
    esac
    STATUS=$? started=$((($(date +%s%N) - started) / 1000000))
    [[ $input != none && $input != key ]] && stop $!
    [[ $input == silence ]] && ((started < 2000)) && words+=";waited $started ms"
    report "$name" "$(status_is "$status")$(IFS=';' && for pattern in $words; do
      grep -qE "$pattern" "$WORK/out" "$WORK/err" || echo "no \"$pattern\" in: $(cat "$WORK/out" "$WORK/err")"; done
      diff <(echo "${layout:-$BEFORE}" | tr ';' '\n') <(${OBSERVE:-geometry}))"
  done
}

# The options on dummy Xorg.
test_options() {
  start_dummy "$WORK/dummy" || return 1
  for size in 1280x1024 1024x768; do xrandr --addmode DUMMY1 $size; done
  set_layout "--mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1280x1024 --pos 1920x0"
  local BEFORE && BEFORE=$(geometry)
  option_rows <<'ROWS'
--list|none|--list: the monitors, the target and the mode in force marked, no wait|0|^DUMMY0 at 0,0 \(target\)$;^  1920x1080  59.96\*$;^DUMMY1 at 1920,0$;^  1024x768 +[0-9.]+ +[0-9.]+
--back|none|--back without a memory changes nothing|1|there is no change of Pelmode's to go back from
-o DUMMY9 1024 768|none|an unknown --output names the monitors|1|no monitor named "DUMMY9" \(there are DUMMY0, DUMMY1\)
--output DUMMY1 1024 768|none|--output changes that monitor only|0|Target: 1024x768|screen 2944x1080;DUMMY0 1920x1080+0+0;DUMMY1 1024x768+1920+0
--back|none|--back puts the desk back exactly|0|Target: 1280x1024
--try=5 1280 720|none|--try at the end of input puts the desk back|3|Putting back: 1920x1080
--try=2 1280 720|silence|--try puts the desk back after 2 s of silence|3|Press any key within 2 s to keep;Putting back
--try=9 1280 720|TERM|--try: SIGTERM in the wait puts the desk back|3|Putting back
--try=9 1280 720|HUP|--try: SIGHUP in the wait puts the desk back|3|Putting back
--try=3600 1280 720|key|--try kept by a key|0|Kept\.$|screen 2560x1024;DUMMY0 1280x720+0+0;DUMMY1 1280x1024+1280+0
ROWS
  # A memory any client may write: one that puts DUMMY1 over DUMMY0 is
  # ignored, and the rule applies.
  run_pelmode 1280 720
  xprop -root -f _PELMODE_LAYOUT 8s -set _PELMODE_LAYOUT "$(xprop -root _PELMODE_LAYOUT |
    sed 's/^[^"]*"//; s/"$//; s/nbefore 1920 0 /nbefore 100 100 /' | xargs -0 printf '%b')"$'\n'
  run_pelmode 1920 1080
  report "a forged memory is not trusted" "$(status_is 0)$(diff <(echo "$BEFORE") <(geometry))"
  # The server cuts a panning area as the screen shrinks, whether the
  # panning monitor moves or not; the tracking area moves with it.
  local name layout panning
  while IFS='|' read -r name layout panning; do
    set_layout "$layout" && run_pelmode 1280 720
    report "$name" "$(status_is 0)$(xrandr --verbose | grep -A20 '^DUMMY1' |
      grep -cE "(Panning|Tracking): +$panning" | grep -qx 2 || xrandr --verbose)"
  done <<'ROWS'
a panning kept when the screen shrinks, its tracking area moved|--mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1280x720 --panning 1920x1080+1920+0/1920x1080+1920+0|1920x1080\+1280\+0
a panning that stays kept when the screen shrinks|--mode 1920x1080 --pos 1920x0 --output DUMMY1 --mode 1280x720 --panning 1920x1080+0+0/1920x1080+0+0|1920x1080\+0\+0
ROWS
}

test_monitors() {
  start_dummy "$WORK/monitors" || return 1
  local output size row name options after before
  # The sizes the layouts give the other outputs, which the driver does not
  # list for them until they are switched on.
  for output in DUMMY1 DUMMY2 DUMMY3; do
    for size in 640x480 1024x768 1280x1024 1920x1080; do xrandr --addmode $output $size; done
  done
  for row in "${MONITOR_LAYOUTS[@]}"; do
    IFS='|' read -r name options size after <<<"$row"
    set_layout "$options"
    before=$(geometry)
    run_pelmode $size
    report "$name: the change" "$(status_is 0)$([[ -z $after ]] || diff <(echo "${after//;/$'\n'}") <(geometry))"
    run_pelmode $(sed -n '2s/^[^ ]* \([0-9]*\)x\([0-9]*\)+.*/\1 \2/p' <<<"$before")
    report "$name: the change back" "$(status_is 0)$(diff <(echo "$before") <(geometry))"
  done

  # gdb gives the second CRTC change a failed status: the first, already
  # made, and the grown screen must be put back. When the first request goes
  # out, the target line must already be written.
  set_layout "--mode 1024x768 --pos 0x0 --output DUMMY1 --mode 1280x1024 --pos 1024x0"
  before=$(xserver_observed_layout)
  GDB_SIZE="1920 1080" under_gdb xcb_randr_set_crtc_config "shell cp $WORK/out $WORK/out-at-request" delete \
    "break $(reply_of set_crtc_config)" 'ignore 2 1' continue finish "$FAIL_STATUS" delete continue
  expect "a refused step undoes the steps before it" 1 1024x768@85 1920x1080 \
    'the display server refused the change' "$before"
  report "the target is written before the first request" \
    "$(grep -q '^Target: 1920x1080$' "$WORK/out-at-request" || cat -A "$WORK/out-at-request")"
  rows <<'ROWS'
under_gdb "$(reply_of get_crtc_info)" finish "$FAIL_STATUS" delete continue|a CRTC reply with a failed status is read again|0|1024x768@85||screen 2304x1024;DUMMY0 1024x768+0+0 85.00*;DUMMY1 1280x1024+1024+0 85.02*
xrandr --output DUMMY1 --primary; run_pelmode 800 600|the primary output is the one changed, though not the first|0|1280x1024@85||screen 1824x768;DUMMY0 1024x768+0+0 85.00*;DUMMY1 800x600+1024+0 85.14*
ROWS
}

# hidden LIBRARY WIDTH HEIGHT: runs Pelmode where LIBRARY cannot be loaded:
# an empty file over it, in a mount namespace of its own.
hidden() {
  local library && library=$(readlink -f "$(ldconfig -p | awk -v name="$1" '$1 == name { print $NF; exit }')")
  local PELMODE=(unshare -m sh -c 'mount --bind /dev/null "$0" && exec "$@"' "$library" "${PELMODE[@]}")
  run_pelmode "${@:2}"
}

test_xvfb() {
  start_xvfb "$WORK/xvfb" || return 1
  local vlayout='screen 1280x1024;screen 1280x1024+0+0 0.00*' unused
  # Pixels not square: each axis keeps its own dots per inch, to the
  # nearest millimetre (320.8 and 152.25).
  xrandr --fbmm 401x203
  run_pelmode 1024 768
  expect "from a mode without timings" 0 1280x1024@0 1024x768 "" 'screen 1024x768;screen 1024x768+0+0 59.92*'
  report "the dots per inch stay" "$(xdpyinfo | grep dimensions: | grep -vF '1024x768 pixels (321x152 millimeters)')"
  run_pelmode 1280 1024
  unused=$(xserver_unused_display)
  rows <<ROWS
DISPLAY=$unused run_pelmode 800 600|DISPLAY names no server|1|unknown|cannot open display "$unused"|$vlayout
under_gdb "\$(reply_of query_version)" finish 'set *(unsigned int *)(\$rax + 12) = 2' delete continue|RandR 1.2 only|1|unknown|the display server has no RandR 1.3 support
under_gdb "\$(reply_of get_screen_size_range)" finish 'set *(unsigned short *)(\$rax + 12) = 1000' delete continue|a screen wider than the server allows|1|1280x1024@0|the monitors would need a screen of 1024x768, larger than the display server allows|$vlayout
DISPLAY= run_pelmode 800 600|DISPLAY empty|1|unknown|no display is set (DISPLAY is empty)
hidden libxcb-randr.so.0 800 600|libxcb-randr missing: named|1|unknown|the library libxcb-randr.so.0 cannot be loaded
WAYLAND_DISPLAY= run_pelmode 1280 1024|an empty WAYLAND_DISPLAY names nothing: X11, nothing said|0|1280x1024@0|
without DISPLAY run_pelmode 800 600|no display named|1|unknown|no display is set (neither WAYLAND_DISPLAY nor DISPLAY)
DISPLAY=$DISPLAY.1 run_pelmode 800 600|screen that does not exist|1|unknown|the display server of "$DISPLAY.1" has no such screen|$vlayout
under_gdb "\$(reply_of get_screen_size_range)" finish 'set *(unsigned int *)(\$rax + 12) = (768 << 16) + 1024' delete continue|a screen as large as the server allows|0|1280x1024@0||screen 1024x768;screen 1024x768+0+0 59.92*
ROWS
}

# private_session DIR: the runtime folder, home and session bus of its own
# that each compositor needs (BUS_PID), and no X display yet.
private_session() {
  rm -rf "$1" && mkdir -p "$1/home/.config" && mkdir -m 700 "$1/run"
  export XDG_RUNTIME_DIR=$1/run HOME=$1/home
  unset DISPLAY
  local bus
  bus=$(dbus-daemon --session --address="unix:path=$1/run/bus" --fork --print-address=1 --print-pid=1 --nopidfile) || return 1
  export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
  BUS_PID=${bus##*$'\n'}
  PIDS+=("$BUS_PID")
}

# without VARIABLE COMMAND...: runs COMMAND with VARIABLE, which is set, unset.
without() {
  local name=$1 saved=${!1}
  unset "$1"
  "${@:2}"
  export "$name=$saved"
}

# Weston with Xwayland: no output manager for a Wayland client, and RandR
# only pretends, for the asking client.
test_wayland() {
  private_session "$WORK/wayland" || return 1
  weston --backend=headless-backend.so --xwayland --socket=pelmode-weston \
    --log="$WORK/wayland/weston.log" >/dev/null 2>&1 &
  PIDS+=($!)
  local number="" before refused="this is a Wayland session (\"pelmode-weston\"); change the display mode in the compositor's settings"
  for _ in $(seq 100); do
    number=$(sed -n '/xserver listening on display :/{s/.*:\([0-9]*\).*/\1/p;q}' "$WORK/wayland/weston.log")
    [[ -n $number ]] && break
    sleep 0.1
  done
  [[ -n $number ]] || return 1
  export DISPLAY=:$number WAYLAND_DISPLAY=pelmode-weston
  before=$(xrandr --current)
  rows <<ROWS
run_pelmode 800 600|Wayland session: refused, nothing asked|1|unknown|$refused
without WAYLAND_DISPLAY run_pelmode 800 600|Xwayland alone: known by its outputs, refused|1|1024x640@60|${refused//pelmode-weston/$DISPLAY}
ROWS
  report "Wayland session: mode unchanged" "$(diff <(echo "$before") <(xrandr --current))"
}

# Mutter's monitors as "LVDS1 1280x720@59.940+0+0 x1", in its logical order,
# and "layout N" where the layout mode can be changed.
mutter_layout() {
  busctl --user --json=short call org.gnome.Mutter.DisplayConfig /org/gnome/Mutter/DisplayConfig \
    org.gnome.Mutter.DisplayConfig GetCurrentState | python3 -c 'import json, sys
serial, monitors, logical, props = json.load(sys.stdin)["data"]
current = {m[0][0]: [mode[0] for mode in m[1] if "is-current" in mode[6]][0] for m in monitors}
print("\n".join(f"{c[0]} {current[c[0]]}+{l[0]}+{l[1]} x{l[2]:.16g}" + (f" turned {l[3]}" if l[3] else "")
                for l in logical for c in l[5]))
if props.get("supports-changing-layout-mode", {}).get("data"): print("layout", props["layout-mode"]["data"])'
}

# mutter_arrangement MODE SCALE X2 [Y2 [MODE2 [TURN2]]]: the command that
# puts LVDS1, primary, at 0,0 showing MODE at SCALE and LVDS2 at X2,Y2
# showing MODE2 (1920x1080) turned by TURN2 (0), in LAYOUT_MODE where that
# is set, for the session only (PRIMARY1 and PRIMARY2, true or false, say
# which is primary); mutter_arrange runs it.
mutter_arrangement() {
  local serial
  serial=$(busctl --user call org.gnome.Mutter.DisplayConfig /org/gnome/Mutter/DisplayConfig \
    org.gnome.Mutter.DisplayConfig GetCurrentState | cut -d' ' -f2)
  echo "busctl --user call org.gnome.Mutter.DisplayConfig /org/gnome/Mutter/DisplayConfig" \
    "org.gnome.Mutter.DisplayConfig ApplyMonitorsConfig 'uua(iiduba(ssa{sv}))a{sv}' $serial 1 2" \
    "0 0 $2 0 ${PRIMARY1:-true} 1 LVDS1 $1 0 $3 ${4:-0} 1 ${6:-0} ${PRIMARY2:-false} 1 LVDS2 ${5:-1920x1080@60.000} 0" \
    "$([[ -n ${LAYOUT_MODE:-} ]] && echo "1 layout-mode u $LAYOUT_MODE" || echo 0) >/dev/null"
}
mutter_arrange() { eval "$(mutter_arrangement "$@")"; }

# Mutter nested on Xvfb, with two dummy monitors of several modes each.
test_mutter() {
  private_session "$WORK/mutter" || return 1
  xserver_start xvfb "$WORK/mutter/x" -screen 0 4096x2304x24 || return 1
  DISPLAY=$XSERVER_DISPLAY MUTTER_DEBUG_NUM_DUMMY_MONITORS=2 \
    MUTTER_DEBUG_DUMMY_MODE_SPECS=1920x1080@60:1280x720@59.94:1280x720@60:1024x768@59.94:1024x768@60:1024x768@75:800x600@85 \
    compositor pelmode-mutter mutter --nested --wayland --no-x11 --wayland-display=pelmode-mutter || return 1
  gdbus wait --session --timeout 20 org.gnome.Mutter.DisplayConfig || return 1
  local mutter=${PIDS[-1]} OBSERVE=mutter_layout before
  # The bus found where it is when no address is named. gdb gives an apply a
  # serial Mutter never issued, or moves LVDS2 below LVDS1 after Pelmode read
  # the monitors (the change is planned again on that), or stops Mutter.
  rows <<ROWS
without DBUS_SESSION_BUS_ADDRESS run_pelmode 1280 720|Mutter: the change, the neighbour follows|0|1920x1080@60||LVDS1 1280x720@60.000+0+0 x1;LVDS2 1920x1080@60.000+1280+0 x1
mutter_arrange 1920x1080@60.000 1 1920; under_gdb 'sd_bus_message_append if \$_streq((char *) \$rsi, "uu")' 'set \$rdx = 99' delete continue|Mutter: a stale serial read again|0|1920x1080@60|
mutter_arrange 1920x1080@60.000 1 1920; under_gdb 'sd_bus_message_append if \$_streq((char *) \$rsi, "iidub")' 'set \$xmm0.v2_double[0] = 1.7' delete continue|Mutter's refusal in its own words|1|1920x1080@60|the compositor refused the change (Scale 1.7 not valid for resolution 1024x768)
mutter_arrange 1280x720@59.940 1 1280; run_pelmode 1024 768|Mutter: 59.940 kept beside 60.000|0|1280x720@60||LVDS1 1024x768@59.940+0+0 x1;LVDS2 1920x1080@60.000+1024+0 x1
mutter_arrange 1920x1080@60.000 2 1920; run_pelmode 1280 720|Mutter: scale 2 to a size that allows only 1|0|1920x1080@60||LVDS1 1280x720@60.000+0+0 x1;LVDS2 1920x1080@60.000+1280+0 x1
mutter_arrange 1920x1080@60.000 1 1920; under_gdb MutterDisplay::ChangedSinceRead "shell \$(mutter_arrangement 1920x1080@60.000 1 0 1080)" delete continue|Mutter: a change made meanwhile by another client is planned on, not undone|0|1920x1080@60||LVDS1 1024x768@60.000+0+0 x1;LVDS2 1920x1080@60.000+0+768 x1
mutter_arrange 1920x1080@60.000 1 1920; under_gdb MutterDisplay::Carry "shell kill -STOP $mutter" delete continue; kill -CONT $mutter|Mutter stopped during the change|1|1920x1080@60|Mutter on the session bus did not answer within $ANSWER_TIMEOUT_S s; the change may still be made
ROWS
  for _ in $(seq 100); do [[ $(mutter_layout) == *'LVDS1 1024x768'* ]] && break; sleep 0.1; done
  report "Mutter stopped during the change: made once it goes on" "$(mutter_layout | grep -v 'LVDS1 1024x768' | grep LVDS1)"
  # The bottoms lined up, and on the way back the tops as well: only the
  # remembered layout brings LVDS2 back to 1920,360.
  mutter_arrange 1920x1080@60.000 1 1920 360 1280x720@60.000
  run_pelmode 1280 720
  rows <<'ROWS'
run_pelmode 1920 1080|Mutter: the way back remembered|0|1280x720@60||LVDS1 1920x1080@60.000+0+0 x1;LVDS2 1280x720@60.000+1920+360 x1
mutter_arrange 1920x1080@60.000 1 1920 0 1280x720@60.000 1; run_pelmode 1280 720|Mutter: a turned neighbour keeps its turn|0|1920x1080@60||LVDS1 1280x720@60.000+0+0 x1;LVDS2 1280x720@60.000+1280+0 x1 turned 1
PRIMARY1=false PRIMARY2=true mutter_arrange 1920x1080@60.000 1 1920; run_pelmode 1280 720|Mutter: the primary changed, though not at the top-left|0|1920x1080@60||LVDS1 1920x1080@60.000+0+0 x1;LVDS2 1280x720@60.000+1920+0 x1
mutter_arrange 1920x1080@60.000 1 1920 0 1920x1080@60.000 3; run_pelmode 720 1280 -o LVDS2|Mutter: a monitor turned by 270 degrees takes the turned size|0|1080x1920@60||LVDS1 1920x1080@60.000+0+0 x1;LVDS2 1280x720@60.000+1920+0 x1 turned 3
ROWS
  mutter_arrange 1920x1080@60.000 1 1920
  local BEFORE && BEFORE=$(mutter_layout)
  option_rows <<'ROWS'
--list|none|Mutter: --list|0|^LVDS1 at 0,0 \(target\)$;^  1024x768 +75.00 +60.00 +59.94$;^  1920x1080 +60.00\*$
-o LVDS2 1280 720|none|Mutter: --output changes LVDS2 only|0|Target: 1280x720|LVDS1 1920x1080@60.000+0+0 x1;LVDS2 1280x720@60.000+1920+0 x1
--back|none|Mutter: --back puts the desk back|0|Target: 1920x1080
--try=5 1024 768|key|Mutter: --try kept by a key|0|Kept|LVDS1 1024x768@60.000+0+0 x1;LVDS2 1920x1080@60.000+1024+0 x1
--try=2 1280 720|silence|Mutter: --try put back after 2 s|3|Putting back: 1024x768|LVDS1 1024x768@60.000+0+0 x1;LVDS2 1920x1080@60.000+1024+0 x1
-o LVDS9 800 600|none|Mutter: an unknown --output names the monitors|1|there are LVDS1, LVDS2\)|LVDS1 1024x768@60.000+0+0 x1;LVDS2 1920x1080@60.000+1024+0 x1
ROWS
  # Mutter on the bus does not make it the display of every session.
  local gone="cannot be reached (No such file or directory)"
  rows <<ROWS
WAYLAND_DISPLAY=pelmode-none run_pelmode 800 600|a Wayland display that is not there, Mutter on the bus: not asked|1|unknown|the Wayland display "pelmode-none" $gone, and DISPLAY is not set
DBUS_SESSION_BUS_ADDRESS=unix:path=$WORK/nobus run_pelmode 800 600|Mutter's socket, its bus gone: said so|1|unknown|the compositor "pelmode-mutter" offers no output management, and the session bus, where GNOME's Mutter would answer, $gone
DISPLAY=$XSERVER_DISPLAY without WAYLAND_DISPLAY run_pelmode 4096 2304|X11 beside Mutter on the bus: X11|0|4096x2304@0|
ROWS
  report "Mutter: nothing stored" "$(ls "$HOME/.config/monitors.xml" 2>/dev/null)"
  compositor pelmode-weston weston --backend=headless-backend.so --socket=pelmode-weston || return 1
  before=$(mutter_layout)
  run_pelmode 800 600
  expect "Weston beside Mutter on the bus: a Wayland session" 1 unknown 800x600 \
    "this is a Wayland session (\"pelmode-weston\"); change the display mode in the compositor's settings"
  report "Weston beside Mutter on the bus: Mutter untouched" "$(diff <(echo "$before") <(mutter_layout))"
  rows <<ROWS
WAYLAND_DISPLAY=pelmode-mutter under_gdb MutterDisplay::Carry "shell kill $BUS_PID" delete continue|the bus gone during the change|1|1024x768@60|the connection to the display server was lost; the change may still be made
ROWS
}

# Mutter with GNOME's fractional scaling: its own scales (150 % is
# 1.495327115058899) and its layout mode come back exactly.
test_fractional() {
  private_session "$WORK/fractional" || return 1
  mkdir -p "$HOME/.config/glib-2.0/settings"
  printf "[org/gnome/mutter]\nexperimental-features=['scale-monitor-framebuffer']\n" \
    >"$HOME/.config/glib-2.0/settings/keyfile"
  xserver_start xvfb "$WORK/fractional/x" -screen 0 4096x2304x24 || return 1
  DISPLAY=$XSERVER_DISPLAY GSETTINGS_BACKEND=keyfile MUTTER_DEBUG_NUM_DUMMY_MONITORS=2 \
    MUTTER_DEBUG_DUMMY_MODE_SPECS=2560x1440@60:1920x1080@60 \
    compositor pelmode-fractional mutter --nested --wayland --no-x11 --wayland-display=pelmode-fractional || return 1
  gdbus wait --session --timeout 20 org.gnome.Mutter.DisplayConfig || return 1
  local OBSERVE=mutter_layout q=2560x1440@60.000
  rows <<ROWS
mutter_arrange $q 1.495327115058899 1712 0 $q; run_pelmode 1920 1080|Mutter at 150 %: the change|0|2560x1440@60||LVDS1 1920x1080@60.000+0+0 x1.5;LVDS2 $q+1280+0 x1;layout 1
run_pelmode 2560 1440|Mutter at 150 %: back exactly|0|1920x1080@60||LVDS1 $q+0+0 x1.495327115058899;LVDS2 $q+1712+0 x1;layout 1
LAYOUT_MODE=2 mutter_arrange $q 2 2560 0 $q; run_pelmode 1920 1080|Mutter's physical layout mode kept|0|2560x1440@60||LVDS1 1920x1080@60.000+0+0 x2;LVDS2 $q+1920+0 x1;layout 2
ROWS
}

# kwin and phoc give each output one mode: a same-size change, and where
# wlr-randr can read it, the layout left as it was. A compositor that stops
# answering is the deadlines group's silent socket.
test_kwin() {
  private_session "$WORK/kwin" || return 1
  # The installed kwin carries a file capability that this machine's
  # bounding set lacks; a copy runs.
  cp /usr/bin/kwin_wayland "$XDG_RUNTIME_DIR/kwin_wayland"
  compositor pelmode-kwin "$XDG_RUNTIME_DIR/kwin_wayland" --virtual --width 1280 --height 720 --output-count 2 \
    --socket pelmode-kwin --no-lockscreen --no-global-shortcuts --no-kactivities || return 1
  run_pelmode 1280 720
  expect "kwin: a same-size change" 0 1280x720@60 1280x720 ""
}

test_phoc() {
  private_session "$WORK/phoc" || return 1
  printf '[core]\nxwayland=false\n[output:HEADLESS-1]\nmode = 1920x1080\n' >"$WORK/phoc/phoc.ini"
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=2 \
    compositor wayland-0 phoc -C "$WORK/phoc/phoc.ini" || return 1
  local before
  before=$(wlr-randr)
  run_pelmode 1920 1080
  expect "phoc: a same-size change" 0 1920x1080@60 1920x1080 ""
  report "phoc: the layout untouched" "$(diff <(echo "$before") <(wlr-randr))"
}

# silent_socket PATH [FULL]: a socket that takes connections and never
# answers, with its listen queue full where FULL is given, as a stopped
# compositor's fills up.
silent_socket() {
  rm -f "$1" "$1.ready"
  python3 -c 'import socket, sys, time
full = len(sys.argv) > 2
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(0 if full else 8)
if full: c = socket.socket(socket.AF_UNIX); c.connect(sys.argv[1])
open(sys.argv[1] + ".ready", "w").close(); time.sleep(600)' "$@" &
  PIDS+=($!)
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

# run_timed WAITS WIDTH HEIGHT: runs Pelmode, after the setup CALLER names
# if any, and reports under NAME a run that did not wait for the deadline
# (at least all of it but 1 s, at most 4 s more) where WAITS is "deadline",
# or that waited for most of it where WAITS is "none". A run is cut short at
# three deadlines.
run_timed() {
  local wrapper=(timeout $((3 * ANSWER_TIMEOUT_S)))
  [[ -n ${CALLER:-} ]] && wrapper+=(python3 -c "$AS_CALLER" "$CALLER")
  local PELMODE=("${wrapper[@]}" "${PELMODE[@]}") start=${EPOCHREALTIME//[.,]/} took_ms
  run_pelmode "${@:2}"
  took_ms=$(((${EPOCHREALTIME//[.,]/} - start) / 1000))
  local least_ms=$(((ANSWER_TIMEOUT_S - 1) * 1000)) most_ms=$(((ANSWER_TIMEOUT_S + 4) * 1000))
  [[ $1 == none ]] && most_ms=$least_ms least_ms=0
  report "$NAME: waits $1" "$( ((least_ms <= took_ms && took_ms <= most_ms)) || echo "took $took_ms ms")"
}

# Servers, compositors and buses that stop answering: each run ends by itself
# within the deadline, naming what did not answer.
test_deadlines() {
  private_session "$WORK/deadlines" || return 1
  local silent=$XDG_RUNTIME_DIR/silent after="did not answer within $ANSWER_TIMEOUT_S s" held
  silent_socket "$silent" && silent_socket "$XDG_RUNTIME_DIR/full" full || return 1
  start_xvfb "$WORK/deadlines/x" -listen tcp || return 1
  NAME="a silent compositor beside X" WAYLAND_DISPLAY=silent run_timed deadline 1280 1024
  NOTICE="Pelmode: the Wayland display \"silent\" $after; using DISPLAY instead." \
    expect "a silent compositor beside X: said, then X11" 0 1280x1024@0 1280x1024 ""
  # WAYLAND_SOCKET as libwayland could not use it: refused at once, DISPLAY or not.
  rows <<ROWS
WAYLAND_DISPLAY=full without DISPLAY run_timed deadline 800 600|a compositor with its listen queue full|1|unknown|the Wayland display "full" $after, and DISPLAY is not set
DBUS_SESSION_BUS_ADDRESS=unix:path=$silent without DISPLAY run_timed deadline 800 600|a silent bus, nothing else named|1|unknown|the session bus $after
CALLER=empty run_timed none 800 600|WAYLAND_SOCKET empty: refused|1|unknown|WAYLAND_SOCKET is set but empty
CALLER=listening run_timed none 800 600|WAYLAND_SOCKET listening: refused|1|unknown|WAYLAND_SOCKET ("5") names a listening socket, not a connection to a compositor
CALLER=udp run_timed none 800 600|WAYLAND_SOCKET udp: refused|1|unknown|WAYLAND_SOCKET ("5") names a datagram socket, not a connection to a compositor
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
  # Stopped after the query, when the change is about to be asked; once the
  # change is on its way, when it may still be made; before the connection.
  rows <<ROWS
under_gdb xcb_grab_server "shell kill -STOP $XSERVER_PID" delete continue; kill -CONT $XSERVER_PID|an X server stopped after the query|1|1280x1024@0|the display server "$DISPLAY" $after
under_gdb xcb_randr_set_crtc_config "shell kill -STOP $XSERVER_PID" delete continue; kill -CONT $XSERVER_PID|an X server stopped at the change|1|1280x1024@0|the display server "$DISPLAY" $after; the change may still be made
kill -STOP $XSERVER_PID; CALLER=sigalrm-blocked run_timed deadline 800 600|a stopped X server, SIGALRM blocked|1|unknown|the display server "$DISPLAY" $after
DISPLAY=localhost$DISPLAY run_timed deadline 800 600; kill -CONT $XSERVER_PID|a stopped X server over TCP|1|unknown|the display server "localhost$DISPLAY" $after
ROWS
}

# Which display is chosen, and what is said, where the environment misleads.
test_choice() {
  rows <<'ROWS'
WAYLAND_SOCKET=1 run_pelmode 800 600|WAYLAND_SOCKET naming standard output: refused, the output kept|1|unknown|WAYLAND_SOCKET ("1") names standard output, not a compositor's socket
DISPLAY=:77 WAYLAND_SOCKET=2 run_pelmode 800 600|WAYLAND_SOCKET naming standard error, DISPLAY set: refused all the same|1|unknown|WAYLAND_SOCKET ("2") names standard error, not a compositor's socket
WAYLAND_SOCKET=5 run_pelmode 800 600 5</dev/null|WAYLAND_SOCKET naming no socket|1|unknown|WAYLAND_SOCKET ("5") names no open socket
ROWS
  python3 -c 'import os, struct, sys
field = lambda b: struct.pack(">H", len(b)) + b
open(sys.argv[1], "wb").write(struct.pack(">H", 256) + field(os.uname().nodename.encode()) + field(b"")
    + field(b"MIT-MAGIC-COOKIE-1") + field(os.urandom(16)))' "$WORK/xauthority"
  xserver_start xvfb "$WORK/x" -auth "$WORK/xauthority" || return 1
  DISPLAY=$XSERVER_DISPLAY XAUTHORITY=$WORK/nothing run_pelmode 800 600
  report "a wrong XAUTHORITY" "$(status_is 1)$(grep -qxF "Setting failed: the display server of \"$XSERVER_DISPLAY\" \
refused the connection (is XAUTHORITY right?)." "$WORK/err" || cat "$WORK/err")"
}

# The server dies after the query, when the change's first request (the
# server grab) is about to go out: gdb holds Pelmode there meanwhile.
test_vanishing() {
  start_xvfb "$WORK/vanishing" || return 1
  under_gdb xcb_grab_server "shell kill -9 $XSERVER_PID; sleep 0.3" continue
  expect "server gone before the change" 1 1280x1024@0 1024x768 'the connection to the display server was lost'
  { wait "$XSERVER_PID"; } 2>/dev/null
  return 0
}

test_norandr() {
  xserver_start xvfb "$WORK/norandr" -extension RANDR -screen 0 1280x1024x24 || return 1
  export DISPLAY=$XSERVER_DISPLAY
  run_pelmode 1024 768
  expect "server without RandR" 1 unknown 1024x768 'the display server has no RandR 1.3 support'
}

# The mode Wine keeps in the registry for the display.
registry_mode() {
  /usr/lib/wine/wine64 reg query 'HKCC\System\CurrentControlSet\Control\Video' /s | tr -d '\r' |
    grep -F 'Modes\FFFFFFFE'
}

# Wine implements the display-settings calls on RandR, and picks the refresh
# rate itself: only the size is Pelmode's.
test_wine() {
  start_dummy "$WORK/dummy" || return 1
  # No Mono or Gecko: their installers would wait for a click on the display.
  export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX"
  /usr/lib/wine/wine64 wineboot -i >"$WORK/wineboot.log" 2>&1 || { cat "$WORK/wineboot.log"; return 1; }
  PELMODE=(/usr/lib/wine/wine64 "${PELMODE[@]}") EOL=$'\r'
  local stored
  stored=$(registry_mode)
  # 1920x1080 is offered at 60 Hz only: asking for 85 would be refused.
  rows <<'ROWS'
in_force 1920x1080; run_pelmode 1024 768|change (Wine picks the rate)|0|1920x1080@60||screen 1024x768;DUMMY0 1024x768+0+0 85.00*
in_force 1024x768 85; run_pelmode 1920 1080|the rate in force is not asked|0|1024x768@85||screen 1920x1080;DUMMY0 1920x1080+0+0 59.96*
in_force 1920x1080; run_pelmode 1000 700|size not offered: mode unchanged|1|1920x1080@60|the display does not offer 1000x700 (nearest: 1024x768, 1024x576; see --list)|screen 1920x1080;DUMMY0 1920x1080+0+0 59.96*
ROWS
  # Wine may add a key for a display it finds late; the ones there stay.
  report "nothing stored in the registry" "$(grep -vxFf <(registry_mode) <<<"$stored")"
  local BEFORE && BEFORE=$(geometry)
  option_rows <<'ROWS'
--list|none|--list shows 1024x768 with its rates, the mode in force marked|0|^  1024x768   85.00  75.00  70.00  60.00[[:space:]]*$;^  1920x1080 +60.00\*
--try=5 1024 768|none|--try at the end of input puts the mode back|3|Putting back: 1920x1080
--back|none|--back, from the memory file, undoes the putting back|0|Target: 1024x768|screen 1024x768;DUMMY0 1024x768+0+0
--try=5 1024 768|key|--try kept by a key|0|Kept\.|screen 1024x768;DUMMY0 1024x768+0+0
--try=2 1920 1080|silence|--try puts the mode back after 2 s of silence|3|Putting back: 1024x768|screen 1024x768;DUMMY0 1024x768+0+0
-o DUMMY0 800 600|none|an unknown --output names the monitors|1|there are \\\\.\\DISPLAY1\)|screen 1024x768;DUMMY0 1024x768+0+0
６４０ 480|none|a full-width width is refused|2|Invalid width: ６４０|screen 1024x768;DUMMY0 1024x768+0+0
ROWS
  report "the memory kept in the user's local application data" "$(ls "$WINEPREFIX"/drive_c/users/*/AppData/Local/Pelmode/layout 2>&1 >/dev/null)"
}

mkdir -p "$WORK"
if [[ $GROUP == dummy || $GROUP == monitors || $GROUP == wine ]] && [[ $(id -u) != 0 ]]; then
  echo "Xorg with the dummy driver needs root; skipped"
  exit 77
fi
"test_$GROUP" || report "start the $GROUP server" "see the messages above"
((${#PIDS[@]} == 0)) || stop "${PIDS[@]}"
[[ -z ${XSERVER_PID:-} ]] || xserver_stop
summary
