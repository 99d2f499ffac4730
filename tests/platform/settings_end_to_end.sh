#!/usr/bin/env bash
# The settings file and its window on Xvfb. The launcher runs with a long
# delay; the file replaced by a rename (as an editor saves) puts a delay of a
# few seconds in force within a second, so that the saver comes that long
# after the last key; `enabled = no` keeps it from coming, and `yes` brings it
# back with no restart. Then the window: opened, the delay changed with the
# keyboard alone and saved; the file holds it, keeps a comment and a line it
# did not know, and the launcher follows. The saver is a stand-in that only
# runs: what is tried here is when it starts. With SCREENSHOT=FILE it also
# takes the window's picture (scripts/render_docs.sh).
#
# usage: settings_end_to_end.sh path/to/trenchwalk-idle path/to/trenchwalk-settings
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317
set -u
# shellcheck source=tests/lib/xvfb.sh
source "$(dirname "$0")/../lib/xvfb.sh"
launcher=${1:?usage: settings_end_to_end.sh trenchwalk-idle trenchwalk-settings}
window=${2:?usage: settings_end_to_end.sh trenchwalk-idle trenchwalk-settings}
require_tools Xvfb xdotool

work=$(mktemp -d)
launcher_pid=""
window_pid=""
finish() {
  # A stand-in saver still running, then the programs.
  [ -n "$launcher_pid" ] && for pid in $(pgrep -P "$launcher_pid"); do kill "$pid"; done
  for pid in $window_pid $launcher_pid; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  stop_xvfb
  rm -rf "$work"
}
trap finish EXIT
fail_report() {
  echo "--- launcher:"; cat "$work/launcher.out" 2>/dev/null
  echo "--- file:"; cat "$conf" 2>/dev/null
}

start_xvfb "$work" 1024x768 || exit 77
unset WAYLAND_DISPLAY
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME/trenchwalk" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
conf=$XDG_CONFIG_HOME/trenchwalk/idle.conf
# The launcher starts the trenchwalk in its own folder.
mkdir "$work/bin"
cp "$launcher" "$work/bin/trenchwalk-idle"
printf '#!/bin/sh\nexec sleep 600\n' >"$work/bin/trenchwalk"
chmod +x "$work/bin/trenchwalk"
# An editor's save: a whole new file renamed over the old one.
replace() { printf '%s\n' "$@" >"$conf.new" && mv "$conf.new" "$conf"; }
replace '# mine' 'delay = 600'

"$work/bin/trenchwalk-idle" >"$work/launcher.out" 2>&1 &
launcher_pid=$!
follows() { grep -q "following $conf: .*$1" "$work/launcher.out"; }
poll 50 follows 'starting after 600 s idle' || fail "the launcher did not read the file"

# The saver starts as a process of the launcher's; none must come while off.
saver_pid() { pgrep -P "$launcher_pid"; }
saver_up() { saver_pid >/dev/null; }
saver_gone() { ! saver_up; }
delay=3
xdotool key shift
replace 'enabled = no' "delay = $delay"
poll 10 follows 'off' || fail "enabled = no not followed within a second"
poll $((delay * 10 + 20)) saver_up && fail "the saver came while switched off"
xdotool key shift
started=$(microseconds)
replace 'enabled = yes' "delay = $delay"
poll 10 follows "starting after $delay s idle" || fail "enabled = yes, delay = $delay not followed within a second"
poll $((delay * 10 + 20)) saver_up || fail "no saver $delay s after the last key"
came=$((($(microseconds) - started) / 100000))
[ "$came" -ge $((delay * 10 - 2)) ] || fail "the saver came after $came tenths, before the $delay s delay"
echo "ok: the delay followed by rename: the saver came after $came tenths of a second"
kill "$(saver_pid)" 2>/dev/null
poll 50 saver_gone || fail "the saver did not end"

# The window, with the keyboard only. Alt+A is the delay's label.
replace '# kept' 'colour = red' 'delay = 600   # ten minutes'
"$window" >"$work/window.out" 2>&1 &
window_pid=$!
wid=$(find_window 100 '^Trenchwalk Settings$') || fail "no settings window: $(cat "$work/window.out")"
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
if [ -n "${SCREENSHOT:-}" ]; then
  sleep 3  # the status line comes from a process of its own
  import -window "$wid" "$SCREENSHOT" || fail "no screenshot"
fi
xdotool key --delay 50 alt+a ctrl+a 7 ctrl+s
saved() { grep -qx 'delay = 420   # ten minutes' "$conf"; }
poll 30 saved || fail "the window did not save the delay: $(cat "$work/window.out")"
{ grep -qx '# kept' "$conf" && grep -qx 'colour = red' "$conf"; } || fail "the window lost lines it did not know"
poll 10 follows 'starting after 420 s idle' || fail "the launcher did not follow the window"
echo "ok: the window saved 7 minutes with the keyboard, kept the rest, and the launcher followed"
