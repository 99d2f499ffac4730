#!/usr/bin/env bash
# The real saver on a headless GNOME (mutter) or KDE (kwin) desktop, as a
# native Wayland client: no XWayland, no DISPLAY. It must show its window full
# screen at the output's size; F1 and keypad + reach it and leave it running
# with nothing written; Escape ends it with status 0 and exactly one record.
#
# usage: desktops_end_to_end.sh gnome|kde path/to/trenchwalk [path/to/fake_input_keys]
#
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317
set -u

desktop=${1:?usage: desktops_end_to_end.sh gnome|kde path/to/trenchwalk [fake_input_keys]}
binary=${2:?usage: desktops_end_to_end.sh gnome|kde path/to/trenchwalk [fake_input_keys]}
keys_tool=${3:-}
# shellcheck source=tests/lib/desktops.sh
source "$(dirname "$0")/../lib/desktops.sh"
# shellcheck source=tests/lib/as_user.sh
source "$(dirname "$0")/../lib/as_user.sh"

desktop_require "$desktop" "$keys_tool"

# The time a key may take to end the saver, in tenths of a second.
exit_wait=100
# The time the saver may take to show its window.
window_wait=200

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-$desktop.XXXXXX")
chmod 755 "$work"
mkdir -p "$work/saver"
saver="$work/saver/trenchwalk"
log="$work/saver/walked.log"
trace="$work/saver.trace"

pid=""
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  desktop_stop
  rm -rf "$work"
}
on_exit cleanup

fail_label=$desktop
fail_report() {
  echo "--- the saver's stderr, without its protocol trace:"
  grep -v '^\[' "$trace" 2>/dev/null | tail -n 40
  desktop_show_logs
}

slow_unwinder

desktop_start "$desktop" "$work" "$keys_tool" || {
  echo "SKIP: $desktop did not start headless"
  desktop_show_logs
  exit 77
}
echo "ok: $desktop is up headless, as $("${desktop_as_user[@]}" id -un)"

cp "$binary" "$saver" || fail "cannot copy $binary"
[ -n "$desktop_owner" ] && chown -R "$desktop_owner" "$work/saver"
if [ -n "$desktop_owner" ]; then
  reachable_as "${desktop_owner%%:*}" "$saver" || exit 1
fi

# The key events the saver's keyboard received for Linux key code $1, pressed.
pressed() { grep -c "wl_keyboard@[0-9]*\.key([0-9]*, [0-9]*, $1, 1)" "$trace"; }

# As a session starts it: XDG_SESSION_TYPE says Wayland, QT_QPA_PLATFORM is
# left unset. The protocol trace goes to stderr.
"${desktop_as_user[@]}" env XDG_SESSION_TYPE=wayland WAYLAND_DEBUG=client "$saver" >"$trace" 2>&1 &
pid=$!
shown() { desktop_fullscreen "$pid" "$trace" || ! running "$pid"; }
poll "$window_wait" shown
running "$pid" || fail "the saver ended by itself"
desktop_fullscreen "$pid" "$trace" ||
  fail "the saver is not full screen at ${desktop_width}x${desktop_height}: $desktop_why"
grep -q 'xcb\|XWayland' <(grep -v '^\[' "$trace") && fail "the saver went to X11"
echo "ok: the saver is a native Wayland client, full screen at ${desktop_width}x${desktop_height}"

# Keys that only show something: each reaches the saver, which goes on.
for key in F1 KP_Add; do
  code=$(desktop_key_code "$key")
  before=$(pressed "$code")
  desktop_key "$key" || fail "no key $key"
  reached() { [ "$(pressed "$code")" -gt "$before" ] || ! running "$pid"; }
  poll "$exit_wait" reached
  running "$pid" || fail "$key ended the saver"
  [ "$(pressed "$code")" -gt "$before" ] || fail "$key did not reach the saver's keyboard"
  [ "$(records "$log")" -eq 0 ] || fail "$key wrote a record: $(cat -A "$log")"
done
echo "ok: F1 and keypad + reach the saver; it goes on and writes nothing"

desktop_key Escape || fail "no key Escape"
if ! poll "$exit_wait" ended "$pid"; then
  fail "the saver still runs $((exit_wait / 10)) s after Escape; its keyboard's last events:" \
    "$(grep -E 'wl_keyboard@[0-9]+\.(enter|leave|key)' "$trace" | tail -n 6)" \
    "$(describe_threads "$pid")"
fi
exits_zero "$pid" 1 Escape
pid=""
check_log "$log" 1
grep -q 'wl_display@1\.error' "$trace" &&
  fail "a protocol error: $(grep 'wl_display@1\.error' "$trace")"
echo "ok: Escape ends it with status 0 and one record"
echo "PASS ($desktop)"
