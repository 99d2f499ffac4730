#!/usr/bin/env bash
# The saver installed where its user cannot write (a system-wide install): it
# still starts and walks, ends promptly on a key, shows nothing but its scene,
# and leaves the folder as it was.
#
# usage: readonly_folder.sh path/to/trenchwalk
set -u
source "$(dirname "$0")/xvfb.sh"

binary=${1:?usage: readonly_folder.sh path/to/trenchwalk}
for tool in Xvfb xdotool runuser; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: needs root to run the saver as another user"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-ro.XXXXXX")
chmod 755 "$work"
xvfb_pid=""
pid=""
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir "$work/bin" && cp "$binary" "$work/bin/trenchwalk" && chmod 755 "$work/bin" "$work/bin/trenchwalk"
mkdir -m 1777 "$work/runtime-dir"
# -ac: the saver runs as another user than the X server.
start_xvfb "$work" 800x600 -ac || fail "no X server"
display=$DISPLAY

before=$(ls -la "$work/bin")
runuser -u nobody -- env DISPLAY="$display" XDG_RUNTIME_DIR="$work/runtime-dir" \
  QT_QPA_PLATFORM=xcb "$work/bin/trenchwalk" >"$work/out" 2>&1 &
pid=$!
wid=$(timeout 10 xdotool search --sync --onlyvisible --name '^Trenchwalk$' | head -n1)
[ -n "$wid" ] || fail "no saver window: $(cat "$work/out")"
sleep 1.5
kill -0 "$pid" 2>/dev/null || fail "the saver ended by itself: $(cat "$work/out")"
windows=$(xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l)
[ "$windows" -le 1 ] || fail "something besides the scene is shown ($windows windows)"
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key Escape
for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the saver did not end within 3 s of Escape"
wait "$pid"
status=$?
pid=""
[ "$status" -eq 0 ] || fail "exit status $status"
[ "$(ls -la "$work/bin")" = "$before" ] || fail "the folder changed: $(ls -la "$work/bin")"
echo "PASS: runs, ends on a key and writes nothing where it cannot"
