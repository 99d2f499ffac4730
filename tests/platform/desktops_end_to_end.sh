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
here=$(dirname "$0")
# shellcheck source=tests/platform/desktops.sh
. "$here/desktops.sh"

missing=$(desktop_missing "$desktop" "$keys_tool")
if [ -n "$missing" ]; then
  echo "SKIP: the $desktop run needs what is not installed: ${missing//$'\n'/, }"
  exit 77
fi

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
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
  echo "FAIL ($desktop): $*"
  echo "--- the saver's stderr, without its protocol trace:"
  grep -v '^\[' "$trace" 2>/dev/null | tail -n 40
  desktop_show_logs
  exit 1
}

# Qt's Wayland client keeps the proxies of the seat and its devices to the end
# of the process; only the slow unwinder finds the call that makes them.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  export ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0"
fi

desktop_start "$desktop" "$work" "$keys_tool" || {
  echo "SKIP: $desktop did not start headless"
  desktop_show_logs
  exit 77
}
echo "ok: $desktop is up headless, as $("${desktop_as_user[@]}" id -un)"

cp "$binary" "$saver" || fail "cannot copy $binary"
[ -n "$desktop_owner" ] && chown -R "$desktop_owner" "$work/saver"
if [ -n "$desktop_owner" ]; then
  source "$(dirname "$0")/../lib/as_user.sh"
  reachable_as "${desktop_owner%%:*}" "$saver" || exit 1
fi

records() {
  [ -f "$log" ] || { echo 0; return; }
  grep -c $'\r$' "$log" | awk '{print $1 - 1}'
}

check_log() {
  local expected=$1 bad
  [ -f "$log" ] || fail "walked.log was not written"
  [ "$(head -n1 "$log")" = $'*** Visit Korvek at https://korvek.example ***\r' ] ||
    fail "banner line is wrong: $(head -n1 "$log" | od -c | head -n3)"
  [ "$(wc -l <"$log")" -eq $((expected + 1)) ] ||
    fail "expected $expected records: $(cat -A "$log")"
  bad=$(tail -n +2 "$log" |
    grep -Evc $'^[0-9.]+ (cm|mts) [0-9]{2}-[0-9]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\r$')
  [ "$bad" -eq 0 ] || fail "malformed record line: $(cat -A "$log")"
}

# The key events the saver's keyboard received for Linux key code $1, pressed.
pressed() { grep -c "wl_keyboard@[0-9]*\.key([0-9]*, [0-9]*, $1, 1)" "$trace"; }

# As a session starts it: XDG_SESSION_TYPE says Wayland, QT_QPA_PLATFORM is
# left unset. The protocol trace goes to stderr.
"${desktop_as_user[@]}" env XDG_SESSION_TYPE=wayland WAYLAND_DEBUG=client "$saver" >"$trace" 2>&1 &
pid=$!
shown() { desktop_fullscreen "$pid" "$trace" || ! desktop_running "$pid"; }
desktop_poll "$window_wait" shown
desktop_running "$pid" || fail "the saver ended by itself"
desktop_fullscreen "$pid" "$trace" ||
  fail "the saver is not full screen at ${desktop_width}x${desktop_height}: $desktop_why"
grep -q 'xcb\|XWayland' <(grep -v '^\[' "$trace") && fail "the saver went to X11"
echo "ok: the saver is a native Wayland client, full screen at ${desktop_width}x${desktop_height}"

# Keys that only show something: each reaches the saver, which goes on.
for key in F1 KP_Add; do
  code=$(desktop_key_code "$key")
  before=$(pressed "$code")
  desktop_key "$key" || fail "no key $key"
  reached() { [ "$(pressed "$code")" -gt "$before" ] || ! desktop_running "$pid"; }
  desktop_poll "$exit_wait" reached
  desktop_running "$pid" || fail "$key ended the saver"
  [ "$(pressed "$code")" -gt "$before" ] || fail "$key did not reach the saver's keyboard"
  [ "$(records)" -eq 0 ] || fail "$key wrote a record: $(cat -A "$log")"
done
echo "ok: F1 and keypad + reach the saver; it goes on and writes nothing"

desktop_key Escape || fail "no key Escape"
ended() { ! desktop_running "$pid"; }
if ! desktop_poll "$exit_wait" ended; then
  fail "the saver still runs $((exit_wait / 10)) s after Escape; its keyboard's last events:" \
    "$(grep -E 'wl_keyboard@[0-9]+\.(enter|leave|key)' "$trace" | tail -n 6)" \
    "its threads (name, state, wait channel):" \
    "$(for t in /proc/"$pid"/task/*; do
         echo "  $(cat "$t/comm") $(awk '{print $3}' "$t/stat") $(cat "$t/wchan")"
       done 2>/dev/null)"
fi
wait "$pid"
status=$?
pid=""
[ "$status" -eq 0 ] || fail "exit status $status after Escape"
check_log 1
grep -q 'wl_display@1\.error' "$trace" &&
  fail "a protocol error: $(grep 'wl_display@1\.error' "$trace")"
echo "ok: Escape ends it with status 0 and one record"
echo "PASS ($desktop)"
