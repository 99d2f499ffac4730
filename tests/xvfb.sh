# Sourced by the scripts that run the real program on a virtual X display.
#
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
  for _ in $(seq 100); do
    [ -s "$folder/display" ] && break
    sleep 0.1
  done
  if [ ! -s "$folder/display" ]; then
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

# show_logs FILE...: prints each file that exists under a heading, for a
# failing script to show what the saver and the server said.
show_logs() {
  local f
  for f in "$@"; do
    [ -s "$f" ] || continue
    echo "--- $(basename "$f"):"
    tail -n 60 "$f"
  done
}

# find_window SECONDS NAME_REGEX: prints the id of the first visible window
# whose name matches, waiting up to SECONDS; prints nothing if none came.
# Polls rather than using xdotool's --sync, which gives up with an X error when
# a window vanishes in the middle of its search (as windows of a program that
# is starting do).
find_window() {
  local limit=$1 name=$2 wid
  for _ in $(seq $((limit * 10))); do
    wid=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -n1)
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    sleep 0.1
  done
  return 1
}
