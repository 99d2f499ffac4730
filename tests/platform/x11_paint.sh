#!/usr/bin/env bash
# Runs the X11 painting tests (x11_paint_test.cpp) on a virtual X display of
# their own.
#
# usage: x11_paint.sh path/to/platform_x11_tests
set -u
# shellcheck source=tests/lib/xvfb.sh
source "$(dirname "$0")/../lib/xvfb.sh"

binary=${1:?usage: x11_paint.sh path/to/platform_x11_tests}
require_tools Xvfb

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-x11paint.XXXXXX")
xvfb_pid=""
cleanup() {
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb

fail() {
  echo "FAIL: $*"
  show_logs "$work/xvfb.log"
  exit 1
}

start_xvfb "$work" 1024x768 || fail "no X server"

"$binary" || fail "the X11 painting tests failed"
