# shellcheck shell=bash
# Sourced by the scripts that run the real program on a virtual X display.
# It brings common.sh with it.
# shellcheck source=tests/lib/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# start_xvfb FOLDER SIZE [Xvfb options...]
#   Starts a 24-bit Xvfb of SIZE (say 1024x768) on a display number of its own
#   choosing, so that parallel runs never collide, with its log in
#   FOLDER/xvfb.log. More X screens are options: -screen 1 800x600x24. Sets
#   xvfb_pid and exports DISPLAY. Returns 1, having said why on stderr, when
#   the server is not up within 10 s.
#
#   -noreset: without it the server resets itself whenever its last client
#   leaves, and drops every connection that arrives meanwhile. A script's
#   xdotool call ending just as the saver connects was enough to make the
#   saver's start fail now and then.
start_xvfb() {
  local folder=$1 size=$2 fd _
  shift 2
  rm -f "$folder/display"
  exec {fd}>"$folder/display"
  Xvfb -displayfd "$fd" -noreset "$@" -screen 0 "${size}x24" -nolisten tcp >"$folder/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec {fd}>&-
  if ! poll 100 test -s "$folder/display"; then
    echo "Xvfb did not start: $(cat "$folder/xvfb.log")" >&2
    return 1
  fi
  DISPLAY=":$(head -n1 "$folder/display")"
  export DISPLAY
}

# stop_xvfb: stops the server start_xvfb started, if it runs; safe to call
# again (say, from an EXIT trap after an earlier stop).
stop_xvfb() {
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  xvfb_pid=""
}

# find_window TENTHS NAME_REGEX: prints the id of the first visible window
# whose name matches, waiting up to TENTHS tenths of a second; prints nothing
# if none came. Polls rather than using xdotool's --sync, which gives up with
# an X error when a window vanishes in the middle of its search (as windows of
# a program that is starting do).
window_named() {
  local wid
  wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
  [ -n "$wid" ] && echo "$wid"
}
find_window() {
  local name=$2
  poll "$1" window_named "$name"
}
