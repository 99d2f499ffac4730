#!/usr/bin/env bash
# Runs the X11 painting tests (x11_paint_test.cpp) on a virtual X display of
# their own.
#
# usage: x11_paint.sh path/to/platform_x11_tests
set -u

binary=${1:?usage: x11_paint.sh path/to/platform_x11_tests}
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "SKIP: Xvfb is not installed; the X11 painting tests need it"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-x11paint.XXXXXX")
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb

# A display number of Xvfb's own choosing, so parallel runs never collide.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "FAIL: Xvfb did not start: $(cat "$work/xvfb.log")"
  exit 1
fi
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY

"$binary"
