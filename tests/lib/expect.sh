# shellcheck shell=bash
# Running Pelmode as a user does and checking what it did. Sourced by the
# end-to-end tests. The sourcing script sets PELMODE (an array: the program,
# after any loader) and WORK (a scratch folder), and EOL for other line ends.

# shellcheck source=scripts/lib/xserver.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xserver.sh"

mkdir -p "$WORK"
EOL=${EOL:-}
passed=0
failed=0
PIDS=()  # what was started besides an X server, for stop

# run_pelmode WIDTH HEIGHT: standard input at its end, as in a script.
run_pelmode() {
  TARGET=$1x$2
  "${PELMODE[@]}" "$@" </dev/null >"$WORK/out" 2>"$WORK/err"
  STATUS=$?
}

# The text as the program prints it: every line ended, the last one too.
lines() { [[ -z $1 ]] || printf "%s$EOL\n" "${1//$'\n'/$EOL$'\n'}"; }

# differs WHAT EXPECTED FILE: a report of how FILE differs from the text.
differs() {
  cmp -s <(lines "$2") "$3" || printf '%s differs:\n%s\n' "$1" "$(diff <(lines "$2") "$3" | cat -A)"
}

# expect NAME STATUS CURRENT TARGET REASON [LAYOUT]: checks the output of the
# last run (a change from CURRENT, "WxH@HZ" or "unknown", to TARGET, failed
# for REASON unless it is empty, after the line NOTICE where that is set), its
# status, and the layout xrandr (or OBSERVE) reports (lines separated by newlines or
# semicolons) when one is given.
expect() {
  local name=$1 current=$3 err=${NOTICE:-} layout problems="" out
  [[ $current == *@* ]] && current="${current%@*}    ${current#*@}Hz"
  out=$'\n'"Current: $current"$'\n\n'"Target: $4"$'\n'
  [[ -z $5 ]] && out+=$'\nSetting done.\n'
  [[ -n $5 ]] && err+=$'\n'"Setting failed: $5."
  out+=$'\nPress any key to exit...'
  [[ $STATUS == "$2" ]] || problems+="exit status $STATUS, expected $2"$'\n'
  local out_report err_report
  out_report=$(differs stdout "$out" "$WORK/out") err_report=$(differs stderr "$err" "$WORK/err")
  problems+="${out_report:+$out_report$'\n'}${err_report:+$err_report$'\n'}"
  if [[ $# -ge 6 ]]; then
    layout=$(${OBSERVE:-xserver_observed_layout})
    [[ $layout == "${6//;/$'\n'}" ]] || problems+="xrandr shows:"$'\n'"$layout"$'\n'"expected:"$'\n'"$6"
  fi
  report "$name" "$problems"
}

# rows: each line of standard input, "COMMAND|NAME|STATUS|CURRENT|REASON[|LAYOUT]",
# is a case: COMMAND, a command line run with NAME set, runs Pelmode through
# run_pelmode, run_timed or under_gdb, which set STATUS and TARGET; then the
# outcome is checked as expect does.
rows() {
  local lines line command status current reason layout
  mapfile -t lines
  for line in "${lines[@]}"; do
    IFS='|' read -r command NAME status current reason layout <<<"$line"
    eval "$command"
    expect "$NAME" "$status" "$current" "$TARGET" "$reason" ${layout:+"$layout"}
  done
}

# compositor SOCKET COMMAND...: runs COMMAND in the background (its pid in
# PIDS, its output in SOCKET.log beside the runtime folder) until it listens
# on SOCKET in XDG_RUNTIME_DIR, within 20 s; WAYLAND_DISPLAY names it.
compositor() {
  "${@:2}" >"$XDG_RUNTIME_DIR/../$1.log" 2>&1 &
  PIDS+=($!)
  for _ in $(seq 200); do
    [[ -S $XDG_RUNTIME_DIR/$1 ]] && export WAYLAND_DISPLAY=$1 && return 0
    kill -0 "${PIDS[-1]}" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

stop() { kill "$@" 2>/dev/null; wait "$@" 2>/dev/null; }

# report NAME PROBLEMS: a check passed when it found no problems.
report() {
  [[ -z $2 ]] && passed=$((passed + 1)) && echo "ok   $1" && return
  failed=$((failed + 1))
  # shellcheck disable=SC2001  # every line indented
  printf 'FAIL %s\n%s\n' "$1" "$(sed 's/^/     /' <<<"${2%$'\n'}")"
}

# The closing line that CTest shows, and the status that fails the test.
summary() {
  echo "$passed passed, $failed failed"
  ((failed == 0))
}

# start_xvfb DIR [SERVER_ARGS...]: Xvfb at 1280x1024, its own mode without timings, plus a
# 1024x768 mode at 60 Hz; DISPLAY names it.
start_xvfb() {
  xserver_start xvfb "$1" -screen 0 1280x1024x24 "${@:2}" || return 1
  export DISPLAY=$XSERVER_DISPLAY
  xrandr --newmode 1024x768_60 63.50 1024 1072 1176 1328 768 771 775 798 -hsync +vsync &&
    xrandr --addmode screen 1024x768_60
}

# status_is EXPECTED: a problem report unless STATUS is EXPECTED.
status_is() { ((STATUS == $1)) || echo "exit status $STATUS, expected $1"; }
