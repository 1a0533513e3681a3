#!/usr/bin/env bash
# Runs the x86-64 Windows build under Wine, whose display-settings calls
# drive the RandR of a private X server, and checks the exact output (CRLF
# line ends), the exit status and the mode that xrandr then reports. With
# several monitors, Wine places them as Windows does: an oracle for the
# layouts where it keeps the desktop whole.
# Usage: display_win32_test.sh PELMODE_EXE WORK_DIR
set -uo pipefail

WINE=/usr/lib/wine/wine64
PELMODE=("$WINE" "$1")
WORK=$2
EOL=$'\r'
source "$(dirname "$0")/lib/expect.sh"
source "$(dirname "$0")/lib/monitors.sh"

if [[ ! -f $1 ]]; then
  echo "$1 is missing: build the windows-x86_64 preset first"
  exit 1
fi
if [[ $(id -u) != 0 ]]; then
  echo "Xorg with the dummy driver needs root; skipped"
  exit 77
fi

xserver_start dummy "$WORK/dummy" || exit 1
trap xserver_stop EXIT
# No Mono or Gecko: their installers would wait for a click on the display.
export DISPLAY=$XSERVER_DISPLAY WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
"$WINE" wineboot -i >"$WORK/wineboot.log" 2>&1 || {
  cat "$WORK/wineboot.log"
  exit 1
}
xrandr --output DUMMY0 --mode 1920x1080
run_pelmode 1024 768
expect "typical change" 0 '1920x1080    60Hz' 1024x768 ""
# Wine picks the refresh rate itself: only the size is Pelmode's.
report "xrandr shows the new size" "$(geometry |
  diff <(printf 'screen 1024x768\nDUMMY0 1024x768+0+0\n') -)"
xrandr --output DUMMY0 --mode 1920x1080
run_pelmode 1000 700
expect "size not offered: mode unchanged" 1 '1920x1080    60Hz' 1000x700 \
  'the display does not offer 1000x700' "$(layout 1920x1080 59.96\*)"
# Not the layout with bottom edges lined up: there Wine leaves a gap.
add_monitor_modes
for entry in "${MONITOR_LAYOUTS[1]}" "${MONITOR_LAYOUTS[2]}"; do
  split_layout "$entry"
  set_layout "$options"
  "$WINE" "$1" $size </dev/null >/dev/null 2>&1
  report "$name: as Wine leaves it" "$(diff <(echo "$after") <(geometry))"
done
summary
