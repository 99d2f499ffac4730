#!/usr/bin/env bash
# Runs the X11 painting tests (x11_paint_test.cpp) on a virtual X display of
# their own, 1024x768 logical pixels at SCALE (QT_SCALE_FACTOR, 1 by default).
#
# usage: x11_paint.sh path/to/platform_x11_tests [SCALE]
set -u
# shellcheck source=tests/lib/xvfb.sh
source "$(dirname "$0")/../lib/xvfb.sh"

binary=${1:?usage: x11_paint.sh path/to/platform_x11_tests [SCALE]}
scale=${2:-1}
size=$(awk -v s="$scale" 'BEGIN { printf "%dx%d", 1024 * s, 768 * s }')
require_tools Xvfb

fail_report() { show_logs "$work/xvfb.log"; }
x11_run x11paint "$size"

if [ "$scale" = 1 ]; then
  "$binary" || fail "the X11 painting tests failed"
else
  QT_SCALE_FACTOR=$scale "$binary" || fail "the X11 painting tests failed at scale $scale"
fi
