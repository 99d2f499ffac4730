#!/usr/bin/env bash
# Runs the Wayland painting tests (wayland_paint_test.cpp) on a headless sway
# of their own: the first output at SCALE (2 by default; 1.25, 1.5 and 1.75
# are the fractional ones desktops offer), 800x600 logical pixels, and a second
# one at scale 1 for a cover. sway refuses to run as root: as root it runs as
# nobody, and the tests, as root, may still connect to its socket and run grim.
#
# usage: wayland_paint.sh path/to/platform_wayland_tests [SCALE]
set -u
# shellcheck source=tests/lib/sway.sh
source "$(dirname "$0")/../lib/sway.sh"

binary=${1:?usage: wayland_paint.sh path/to/platform_wayland_tests [SCALE [kde FAKE_INPUT_KEYS]]}
scale=${2:-2}
desktop=${3:-sway}

# On a headless kwin (KDE), whose scale comes through wp_fractional_scale_v1:
# the tests of the buffers alone, since kwin lets no client of ours take the
# screen (its screenshot interface answers only to its own programs) and has
# one output.
if [ "$desktop" = kde ]; then
  # shellcheck source=tests/lib/desktops.sh
  source "$(dirname "$0")/../lib/desktops.sh"
  desktop_require kde "${4:-}"
  work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-wlpaint.XXXXXX")
  chmod 755 "$work"
  trap 'desktop_stop; rm -rf "$work"' EXIT
  desktop_scale=$scale
  if ! desktop_start kde "$work" "$4"; then
    echo "SKIP: kwin did not start headless:"
    desktop_show_logs
    exit 77
  fi
  # A sanitized client needs the slow unwinder to see past libwayland-client
  # to the call tests/lsan.supp names (see tests/lib/common.sh).
  slow_unwinder
  TRENCHWALK_TEST_SCALE=$scale QT_QPA_PLATFORM=wayland QT_WAYLAND_CLIENT_BUFFER_INTEGRATION=none \
    "$binary" --gtest_filter='OnWayland.PaintsIntoBuffersOfItsOwn:OnWayland.PaintsAtTheOutputsDevicePixels:OnWayland.EveryBufferCommittedIsTheScene:OnWayland.HoldsAtMostTwoWindowSizedBuffers:OnWayland.EachCommitDamagesOnlyTheBoxesThatChanged' || {
    echo "FAIL: the Wayland painting tests failed on kwin"
    desktop_show_logs
    exit 1
  }
  exit 0
fi

require_tools sway swaymsg grim
# The mode whose logical size is 800x600 at that scale.
mode=$(awk -v s="$scale" 'BEGIN { printf "%dx%d", 800 * s, 600 * s }')

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-wlpaint.XXXXXX")
chmod 755 "$work"
cleanup() {
  stop_sway
  rm -rf "$work"
}
trap cleanup EXIT

sway_user
mkdir -p "$work/runtime" "$work/home"
chmod 700 "$work/runtime"
[ -n "$owner" ] && chown "$owner" "$work/runtime" "$work/home"
cat >"$work/sway.conf" <<CONF
xwayland disable
default_border none
output HEADLESS-1 mode $mode position 0 0 scale $scale
output HEADLESS-2 mode 640x480 position 800 0 scale 1
CONF
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
# sway 1.7's headless backend hands a full-screen wl_shm buffer of the
# output's size straight to the output (a scan-out no real screen can do with
# shared memory), and while another output has a fractional scale grim then
# reads that output's grey ground instead of the cover. At fractional scales
# sway composes every output, as it always does on a real screen.
flags=()
case "$scale" in *.*) flags=(-D noscanout) ;; esac
if ! start_sway "$work" 2 "${flags[@]}"; then
  echo "SKIP: sway did not start headless:"
  tail -n 20 "$work/sway.log"
  exit 77
fi
TRENCHWALK_TEST_SCALE=$scale QT_QPA_PLATFORM=wayland QT_WAYLAND_CLIENT_BUFFER_INTEGRATION=none \
  "$binary" || {
  echo "FAIL: the Wayland painting tests failed"
  tail -n 20 "$work/sway.log"
  exit 1
}
