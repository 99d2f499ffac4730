# shellcheck shell=bash
# Sourced by the scripts that run the real program on a virtual X display.
# It brings common.sh with it. Run itself, `xvfb.sh SIZE COMMAND...` runs
# COMMAND on a display of SIZE of its own (as x11_run), failing when it fails.
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

# x11_run NAME SIZE [Xvfb options...]
#   What the scripts that run on one X server share: a work folder of their
#   own (trenchwalk-NAME.XXXXXX, in work) with a private runtime folder
#   (XDG_RUNTIME_DIR), Qt on xcb, and the server started there (fails when it
#   does not). On any exit the script's x11_run_cleanup runs, when it defines
#   one, then the server stops and the folder goes.
x11_run() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-$1.XXXXXX")
  trap x11_run_end EXIT
  mkdir -m 700 "$work/runtime"
  export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
  start_xvfb "$work" "${@:2}" || fail "no X server"
}
x11_run_end() {
  if declare -F x11_run_cleanup >/dev/null; then x11_run_cleanup; fi
  stop_xvfb
  rm -rf "$work"
}

# start_xvfb_high FOLDER SIZE [Xvfb options...]
#   The same on a display number far above those -displayfd hands out (600
#   to 899), so that no other server on the machine takes it while it is
#   free: for a run that stops its server and starts it again on the same
#   display (restart_xvfb FOLDER). Both return 1, having said why, when the
#   server is not up within 10 s.
xvfb_args=()
xvfb_on() {
  local number=$1
  Xvfb ":$number" "${xvfb_args[@]}" >>"$2/xvfb.log" 2>&1 &
  xvfb_pid=$!
  xvfb_settled() { [ -S "/tmp/.X11-unix/X$number" ] || ! running "$xvfb_pid"; }
  poll 100 xvfb_settled
  running "$xvfb_pid" && [ -S "/tmp/.X11-unix/X$number" ] && export DISPLAY=":$number"
}
start_xvfb_high() {
  local folder=$1 size=$2 try number
  shift 2
  xvfb_args=(-noreset "$@" -screen 0 "${size}x24" -nolisten tcp)
  for try in $(seq 0 19); do
    number=$((600 + ($$ + try * 17) % 300))
    [ -e "/tmp/.X11-unix/X$number" ] && continue
    xvfb_on "$number" "$folder" && return
    wait "$xvfb_pid" 2>/dev/null
  done
  echo "no X server could start on a display number of its own: $(tail -n 5 "$folder/xvfb.log")" >&2
  return 1
}
restart_xvfb() {
  stop_xvfb
  xvfb_on "${DISPLAY#:}" "$1" ||
    { echo "Xvfb did not start again on $DISPLAY: $(tail -n 5 "$1/xvfb.log")" >&2; return 1; }
}

# stop_xvfb: stops the server start_xvfb started, if it runs; safe to call
# again (say, from an EXIT trap after an earlier stop).
stop_xvfb() { stop_pid xvfb_pid; }

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

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  require_tools Xvfb
  fail_report() { show_logs "$work/xvfb.log"; }
  x11_run xvfb "$1"
  "${@:2}" || fail "$(basename "$2") failed on a ${1} X display"
fi
