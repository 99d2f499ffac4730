#!/usr/bin/env bash
# Runs the Wayland painting tests (wayland_paint_test.cpp) on a headless sway
# of their own: the first output at scale 2, a second one for a cover. sway refuses to run as root: as root it runs as nobody, and
# the tests, as root, may still connect to its socket.
#
# usage: wayland_paint.sh path/to/platform_wayland_tests
set -u
binary=${1:?usage: wayland_paint.sh path/to/platform_wayland_tests}
if ! command -v sway >/dev/null 2>&1; then
  echo "SKIP: sway is not installed; the Wayland painting tests need it"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-wlpaint.XXXXXX")
chmod 755 "$work"
sway_pid=""
cleanup() {
  if [ -n "$sway_pid" ]; then
    kill "$sway_pid" 2>/dev/null
    wait "$sway_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

as_user=()
mkdir -p "$work/runtime" "$work/home"
chmod 700 "$work/runtime"
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
  chown nobody:nogroup "$work/runtime" "$work/home"
fi
cat >"$work/sway.conf" <<'CONF'
xwayland disable
default_border none
output HEADLESS-1 mode 1600x1200 position 0 0 scale 2
output HEADLESS-2 mode 640x480 position 800 0
CONF
chmod 644 "$work/sway.conf"
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET SWAYSOCK I3SOCK
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=2 \
  "${as_user[@]}" sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
sway_pid=$!
socket=""
for _ in $(seq 100); do
  socket=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'wayland-*' -type s 2>/dev/null | head -n1)
  [ -n "$socket" ] && break
  sleep 0.1
done
if [ -z "$socket" ]; then
  echo "SKIP: sway did not start headless:"
  tail -n 20 "$work/sway.log"
  exit 77
fi
# Qt's Wayland client keeps the proxies of the seat to the end of the
# process (tests/lsan.supp); only the slow unwinder finds the call that makes them.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  export ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0"
fi
export WAYLAND_DISPLAY
WAYLAND_DISPLAY=$(basename "$socket")
QT_QPA_PLATFORM=wayland QT_WAYLAND_CLIENT_BUFFER_INTEGRATION=none "$binary" || {
  echo "FAIL: the Wayland painting tests failed"
  tail -n 20 "$work/sway.log"
  exit 1
}
