# Running Pelmode as a user does and checking what it did. Sourced by the
# end-to-end tests. The sourcing script sets PELMODE (an array: the program,
# after any loader) and WORK (a scratch folder), and EOL for other line ends.

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xserver.sh"

mkdir -p "$WORK"
EOL=${EOL:-}
passed=0
failed=0

# run_pelmode ARGS...: standard input at its end, as in a script.
run_pelmode() {
  "${PELMODE[@]}" "$@" </dev/null >"$WORK/out" 2>"$WORK/err"
  STATUS=$?
}

# The text as the program prints it: every line ended, the last one too.
lines() { [[ -z $1 ]] || printf "%s$EOL\n" "${1//$'\n'/$EOL$'\n'}"; }

# expect NAME STATUS STDOUT STDERR [LAYOUT]: checks the last run, and the
# layout that xrandr reports when one is given.
expect() {
  local name=$1 problems="" layout
  [[ $STATUS == "$2" ]] || problems+="exit status $STATUS, expected $2"$'\n'
  cmp -s <(lines "$3") "$WORK/out" ||
    problems+="stdout differs:"$'\n'"$(diff <(lines "$3") "$WORK/out" | cat -A)"$'\n'
  cmp -s <(lines "$4") "$WORK/err" ||
    problems+="stderr differs:"$'\n'"$(diff <(lines "$4") "$WORK/err" | cat -A)"$'\n'
  if [[ $# -ge 5 ]]; then
    layout=$(xserver_observed_layout)
    [[ $layout == "$5" ]] ||
      problems+="xrandr shows:"$'\n'"$layout"$'\n'"expected:"$'\n'"$5"$'\n'
  fi
  report "$name" "$problems"
}

# report NAME PROBLEMS: a check passed when it found no problems.
report() {
  if [[ -z $2 ]]; then
    passed=$((passed + 1))
    echo "ok   $1"
  else
    failed=$((failed + 1))
    echo "FAIL $1"
    printf '%s' "$2" | sed 's/^/     /'
  fi
}

# The closing line that CTest shows, and the status that fails the test.
summary() {
  echo "$passed passed, $failed failed"
  ((failed == 0))
}

# start_xvfb DIR [SERVER_ARGS...]: Xvfb at 1280x1024, its own mode without
# timings, plus a 1024x768 mode at 60 Hz; DISPLAY names it.
start_xvfb() {
  local dir=$1
  shift
  xserver_start xvfb "$dir" -screen 0 1280x1024x24 "$@" || return 1
  export DISPLAY=$XSERVER_DISPLAY
  xrandr --newmode 1024x768_60 63.50 1024 1072 1176 1328 768 771 775 798 -hsync +vsync &&
    xrandr --addmode screen 1024x768_60
}

# add_tiny_mode OUTPUT: a 48x40 mode, smaller than any screen the server allows.
add_tiny_mode() {
  xrandr --newmode 48x40 0.5 48 50 52 54 40 41 42 43 2>/dev/null
  xrandr --addmode "$1" 48x40
}

done_text() { # CURRENT TARGET
  printf '\nCurrent: %s\n\nTarget: %s\n\nSetting done.\n\nPress any key to exit...' "$1" "$2"
}
failed_out() { # CURRENT TARGET
  printf '\nCurrent: %s\n\nTarget: %s\n\nPress any key to exit...' "$1" "$2"
}
failed_err() { printf '\nSetting failed: %s.' "$1"; }
usage_text() {
  printf '\nInvalid arguments, have nothing to do...\nUseage: [Width] [Height]\n\nPress any key to exit...'
}
