# Layouts on the dummy-driver Xorg, of one monitor or several, for the
# tests. Sourced after expect.sh.

# Each layout: the xrandr options that make it, then the geometry xrandr
# reports after DUMMY0 goes from 1920x1080 to 1024x768.
MONITOR_LAYOUTS=(
  "right|--output DUMMY0 --pos 0x0 --output DUMMY1 --mode 1280x1024 --pos 1920x0|screen 2304x1024
DUMMY0 1024x768+0+0
DUMMY1 1280x1024+1024+0"
  "left|--output DUMMY1 --mode 1280x1024 --pos 0x0 --output DUMMY0 --pos 1280x0|screen 2304x1024
DUMMY0 1024x768+1280+0
DUMMY1 1280x1024+0+0"
  "below|--output DUMMY0 --pos 0x0 --output DUMMY1 --mode 1280x1024 --pos 0x1080|screen 1280x1792
DUMMY0 1024x768+0+0
DUMMY1 1280x1024+0+768"
  "above|--output DUMMY1 --mode 1280x1024 --pos 0x0 --output DUMMY0 --pos 0x1024|screen 1280x1792
DUMMY0 1024x768+0+1024
DUMMY1 1280x1024+0+0"
  "row of three|--output DUMMY1 --mode 1280x1024 --pos 0x0 --output DUMMY0 --pos 1280x0 --output DUMMY2 --mode 800x600 --pos 3200x0|screen 3104x1024
DUMMY0 1024x768+1280+0
DUMMY1 1280x1024+0+0
DUMMY2 800x600+2304+0"
)

# layout SIZE RATE: the screen and DUMMY0 alone, showing SIZE at RATE.
layout() { printf 'screen %s\nDUMMY0 %s+0+0 %s' "$1" "$1" "$2"; }

# Screen and outputs without the refresh rates.
geometry() { xserver_observed_layout | sed 's/ [0-9.]*\*$//'; }

# set_layout XRANDR_OPTIONS: DUMMY0 primary at 1920x1080, the others as given.
set_layout() {
  xrandr --output DUMMY1 --off --output DUMMY2 --off
  # shellcheck disable=SC2086
  xrandr --output DUMMY0 --primary --mode 1920x1080 $1
  xrandr -q >/dev/null  # the driver reports the outputs connected from here on
}

# split_layout ENTRY: sets name, options and after.
split_layout() {
  name=${1%%|*}
  local rest=${1#*|}
  options=${rest%%|*}
  after=${rest#*|}
}

add_monitor_modes() {
  xrandr --addmode DUMMY1 1280x1024 && xrandr --addmode DUMMY2 800x600
}
