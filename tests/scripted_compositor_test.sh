#!/usr/bin/env bash
# Runs the built Pelmode against the scripted compositor, speaking wlroots'
# or KDE's output protocols, and checks its output, its exit status and
# what the compositor logged: what was asked of each head and the heads'
# state after each apply.
# Usage: scripted_compositor_test.sh PELMODE COMPOSITOR WORK_DIR
set -uo pipefail

# ANSWER_TIMEOUT_S: how long this build of Pelmode waits for an answer. No
# case may hang the suite: a Pelmode that waits longer ends with 124.
PELMODE=(timeout "$((${ANSWER_TIMEOUT_S:-8} + 12))" "$1")
COMPOSITOR=$2
WORK=$3
# shellcheck source=tests/lib/expect.sh
source "$(dirname "$0")/lib/expect.sh"

A='DP-1 1920x1080@60000,1280x720@59940,1280x720@60000,1024x768@60004'
B='HDMI-A-1 1920x1080@60000,1280x720@60000'
C='DP-2 1920x1080@60000'
# Each case: the protocols, a name, the compositor's answers, its heads
# (separated by semicolons, the first is KDE's primary), Pelmode's request,
# its exit status, current mode and reason for failure; then the log
# without the asked lines: a line per apply and per head, "scale=1
# transform=0 enabled=1" left out. What was asked may name only enabling,
# modes and places.
CASES=(
  "wlr kde|two heads|succeeded|$A;$B pos=1920,0|1280 720|0|1920x1080    60Hz||apply 1 succeeded;DP-1 1280x720@60000+0+0;HDMI-A-1 1920x1080@60000+1280+0"
  "wlr|scale 1.5 kept: 1024x768 covers 682x512, cut as wlroots cuts|succeeded|$A scale=1.5;$B pos=1280,0|1024 768|0|1920x1080    60Hz||apply 1 succeeded;DP-1 1024x768@60004+0+0 scale=1.5 transform=0 enabled=1;HDMI-A-1 1920x1080@60000+682+0"
  "kde|scale 1.5 kept: 1024x768 covers 683x512, rounded as kwin rounds|succeeded|$A scale=1.5;$B pos=1280,0|1024 768|0|1920x1080    60Hz||apply 1 succeeded;DP-1 1024x768@60004+0+0 scale=1.5 transform=0 enabled=1;HDMI-A-1 1920x1080@60000+683+0"
  "wlr|an unplugged head is left out|succeeded|$A;$B pos=1920,0 gone|1280 720|0|1920x1080    60Hz||apply 1 succeeded;DP-1 1280x720@60000+0+0;HDMI-A-1 1920x1080@60000+1920+0"
  "wlr kde|upside down is no quarter turn|succeeded|$A transform=2;$B pos=1920,0|1280 720|0|1920x1080    60Hz||apply 1 succeeded;DP-1 1280x720@60000+0+0 scale=1 transform=2 enabled=1;HDMI-A-1 1920x1080@60000+1280+0"
  "wlr kde|three quarters turned: 720x1280 is the 1280x720 mode turned|succeeded|$A transform=3;$B pos=1080,0|720 1280|0|1080x1920    60Hz||apply 1 succeeded;DP-1 1280x720@60000+0+0 scale=1 transform=3 enabled=1;HDMI-A-1 1920x1080@60000+720+0"
  "kde|the primary changed, though not the first at 0,0|succeeded|$B pos=1920,0;$A|1280 720|0|1920x1080    60Hz||apply 1 succeeded;HDMI-A-1 1280x720@60000+1920+0;DP-1 1920x1080@60000+0+0"
  "wlr kde|cancelled (the last head moved a pixel meanwhile): read again|cancelled,succeeded|$A;$B pos=1920,0|1280 720|0|1920x1080    60Hz||apply 1 cancelled;DP-1 1920x1080@60000+0+0;HDMI-A-1 1920x1080@60000+1921+0;apply 2 succeeded;DP-1 1280x720@60000+0+0;HDMI-A-1 1920x1080@60000+1921+0"
  "wlr|a head switched off stays off|succeeded|$A;$B pos=1920,0;$C off|1280 720|0|1920x1080    60Hz||apply 1 succeeded;DP-1 1280x720@60000+0+0;HDMI-A-1 1920x1080@60000+1280+0;DP-2 1920x1080@60000+0+0 scale=1 transform=0 enabled=0"
  "wlr kde|refused|failed|$A;$B pos=1920,0|1280 720|1|1920x1080    60Hz|the compositor refused the change|apply 1 failed"
  "wlr kde|the compositor dies at the change|die|$A;$B pos=1920,0|1280 720|1|1920x1080    60Hz|the connection to the display server was lost; the change may still be made|apply 1 die"
  "wlr kde|no answer|silent|$A;$B pos=1920,0|1280 720|1|1920x1080    60Hz|the compositor \"$WORK/case/run/scripted\" did not answer within ${ANSWER_TIMEOUT_S:-8} s; the change may still be made|apply 1 silent"
)



unset DISPLAY DBUS_SESSION_BUS_ADDRESS
for entry in "${CASES[@]}"; do
  IFS='|' read -r protocols name answers heads size status current reason log <<<"$entry"
  IFS=';' read -ra each <<<"$heads"
  options=()
  for head in "${each[@]}"; do options+=(--head "$head"); done
  for protocol in $protocols; do
    rm -rf "$WORK/case" && mkdir -p "$WORK/case/home" && mkdir -m 700 "$WORK/case/run"
    export XDG_RUNTIME_DIR=$WORK/case/run HOME=$WORK/case/home
    if ! compositor scripted "$COMPOSITOR" --socket scripted --protocol "$protocol" --answers "$answers" \
      --log "$WORK/case/log" "${options[@]}"; then
      report "$protocol, $name: the compositor starts" "$(cat "$WORK/case/scripted.log")"
      continue
    fi
    # The display named by its path, as a session may name it.
    export WAYLAND_DISPLAY=$XDG_RUNTIME_DIR/scripted
    # shellcheck disable=SC2086  # WIDTH HEIGHT
    run_pelmode $size
    stop "${PIDS[-1]}"
    ended=$?
    expect "$protocol, $name" "$status" "$current" "${size/ /x}" "$reason"
    report "$protocol, $name: the compositor's log" "$(diff <(lines "${log//;/$'\n'}") <(grep -v '^asked ' "$WORK/case/log" | sed 's/ scale=1 transform=0 enabled=1$//')
      grep '^asked' "$WORK/case/log" | grep -vE '^asked [^ ]+( (enabled|mode|pos)=[^ ]+)+$' 
      ((ended == 0)) || echo "the compositor ended with status $ended: $(cat "$WORK/case/scripted.log")"
      if ((status == 0)); then
        [[ -s $XDG_RUNTIME_DIR/pelmode/layout-wayland-${WAYLAND_DISPLAY//\//_} ]] || echo "no layout memory written"
      else
        ls "$XDG_RUNTIME_DIR"/pelmode/* 2>/dev/null
      fi)"
  done
done
summary
