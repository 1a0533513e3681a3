# Layouts on the dummy-driver Xorg, of one monitor or several, for the
# tests. Sourced after expect.sh.

# Each layout: a name, the xrandr options that make it (DUMMY0 primary), the
# size DUMMY0 changes to, and the geometry xrandr then reports.
MONITOR_LAYOUTS=(
  "bottom edges lined up|--output DUMMY0 --mode 2048x1536 --pos 0x0 --output DUMMY1 --mode 1024x768 --pos 2048x768|800 600|screen 1824x768
DUMMY0 800x600+0+168
DUMMY1 1024x768+800+0"
  "three, the lower one below the left one|--output DUMMY0 --mode 1920x1080 --pos 1920x0 --output DUMMY1 --mode 1920x1080 --pos 0x0 --output DUMMY2 --mode 1280x1024 --pos 0x1080|1024 768|screen 2944x2104
DUMMY0 1024x768+1920+0
DUMMY1 1920x1080+0+0
DUMMY2 1280x1024+0+1080"
  "L, both larger than the new size|--output DUMMY0 --mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1280x1024 --pos 1920x0 --output DUMMY2 --mode 1280x1024 --pos 0x1080|1024 768|screen 2560x1792
DUMMY0 1024x768+0+0
DUMMY1 1280x1024+1280+0
DUMMY2 1280x1024+0+768"
  "mirror|--output DUMMY0 --mode 1920x1080 --pos 0x0 --output DUMMY1 --mode 1920x1080 --same-as DUMMY0|1024 768|screen 1024x768
DUMMY0 1024x768+0+0
DUMMY1 1024x768+0+0"
)

# layout SIZE RATE: the screen and DUMMY0 alone, showing SIZE at RATE.
layout() { printf 'screen %s\nDUMMY0 %s+0+0 %s' "$1" "$1" "$2"; }

# Screen and outputs without the refresh rates.
geometry() { xserver_observed_layout | sed 's/ [0-9.]*\*$//'; }

# set_layout XRANDR_OPTIONS: DUMMY0 primary, the outputs as given.
set_layout() {
  xrandr --output DUMMY1 --off --output DUMMY2 --off
  # shellcheck disable=SC2086
  xrandr --output DUMMY0 --primary $1
  xrandr -q >/dev/null  # the driver reports the outputs connected from here on
}

# split_layout ENTRY: sets name, options, size (two words) and after.
split_layout() {
  IFS='|' read -r name options size after <<<"${1//$'\n'/;}"
  after=${after//;/$'\n'}
}

# The sizes the layouts give the other outputs, which the dummy driver does
# not list for them until they are switched on.
add_monitor_modes() {
  xrandr --addmode DUMMY1 1024x768 && xrandr --addmode DUMMY1 1920x1080 &&
    xrandr --addmode DUMMY1 1280x1024 && xrandr --addmode DUMMY2 1280x1024
}

# The size the first output of GEOMETRY shows, as two words.
first_size() { sed -n '2s/^[^ ]* \([0-9]*\)x\([0-9]*\)+.*/\1 \2/p' <<<"$1"; }
