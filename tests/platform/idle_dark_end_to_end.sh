#!/usr/bin/env bash
# trenchwalk-idle and a screen gone dark, which it takes as a blank.
#   x11    on Xvfb, the X server's own screen saver (`xset s activate`, `xset s
#          reset`); then xdg-screensaver: suspend holds the saver back, and
#          resume lets it come a delay later with no input.
#   gnome  on a headless mutter, its PowerSaveMode set to Off (3) and On (0).
# Dark first, then the delay: no saver; the screen back on: the saver a whole
# delay later, with no input; the saver running, then dark: it ends within 2 s
# with exactly one record, and none starts until the screen is back and a new
# idle period has passed. --status names who says it is dark.
#
# usage: idle_dark_end_to_end.sh x11|gnome path/to/trenchwalk path/to/trenchwalk-idle
#
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317
set -u

usage="usage: idle_dark_end_to_end.sh x11|gnome path/to/trenchwalk path/to/trenchwalk-idle"
desktop=${1:?$usage}
saver_binary=${2:?$usage}
launcher_binary=${3:?$usage}
keys_tool=""
# shellcheck source=tests/platform/idle_desktops.sh
source "$(dirname "$0")/idle_desktops.sh"
case "$desktop" in
  x11) require_tools Xvfb xdotool xset xmessage xprop xdg-screensaver ;;
  gnome) require_tools mutter dbus-daemon busctl ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

# A saver under a dark screen ends within this.
dark_limit=20

idle_work dark-e2e
launcher_pid=""
window_pid=""

cleanup() {
  local pid
  for pid in $launcher_pid $window_pid ${active_pid:-} $(processes_of "$saver"); do kill -9 "$pid" 2>/dev/null; done
  [ -n "$launcher_pid" ] && wait "$launcher_pid" 2>/dev/null
  "${desktop}_stop"
  rm -rf "$work"
}
on_exit cleanup

fail_label="dark $desktop"
fail_report() { show_logs "$work/launcher.out" "$work/launcher.err"; }

[ "$desktop" = x11 ] && unset XDG_CURRENT_DESKTOP XDG_SESSION_ID
export USER
USER=$(id -un)
start_desktop "$saver" "$launcher"
as=("${as_user[@]}")
if [ "$desktop" = x11 ]; then
  go_dark() { xset s activate; }
  go_light() { xset s reset; }
  dark_word="the X server's screen saver"
else
  power_save() {
    "${as[@]}" busctl --user set-property org.gnome.Mutter.DisplayConfig \
      /org/gnome/Mutter/DisplayConfig org.gnome.Mutter.DisplayConfig PowerSaveMode i "$1"
  }
  go_dark() { power_save 3; }
  go_light() { power_save 0; }
  dark_word="mutter's PowerSaveMode"
fi

# saver_after_delay, and says so: with no input in between.
saver_after_delay_said() {
  saver_after_delay "$@"
  echo "ok: $2: the saver came $start_offset s after, with no input"
}
dark_status() { "${as[@]}" "$work/bin/trenchwalk-idle" --status 2>&1 | grep -o 'dark: [^;]*'; }

"${as[@]}" "$work/bin/trenchwalk-idle" "$delay" >"$work/launcher.out" 2>"$work/launcher.err" &
launcher_pid=$!
says "$launcher_pid" "$work/launcher.out" '^trenchwalk-idle: idle source: ' || fail "the launcher did not start"
running "$launcher_pid" || fail "the launcher ended: $(cat "$work/launcher.err")"
[ "$(dark_status)" = "dark: no" ] || fail "--status before the blank: $(dark_status)"

# Dark first, then the delay: nothing starts.
go_dark
dark_status | grep -q "^dark: yes ($dark_word" || fail "--status in the dark: $(dark_status)"
holds_back 2 "dark first, then the delay"
echo "ok: dark first: no saver in $((2 * delay)) s; --status: $(dark_status)"
# Back on: the saver a whole delay later.
from=$(uptime_now)
go_light
saver_after_delay_said "$from" "back on"

# The saver running, then dark: it ends within 2 s, with its record.
# On Wayland the end signal waits, blocked, until the saver is up.
pid=$saver_pid
shown() { [ "$desktop" != x11 ] || xdotool search --onlyvisible --pid "$pid" --name '^Trenchwalk$' >/dev/null 2>&1; }
poll "$saver_limit" shown || fail "the saver did not come up"
from_us=$(microseconds)
go_dark
poll "$dark_limit" ended "$pid" || fail "the saver still runs $((dark_limit / 10)) s after the dark"
echo "ok: $desktop: the saver ended $((($(microseconds) - from_us) / 1000)) ms after the screen went dark"
check_log "$log" 1
holds_back 2 "still dark"
from=$(uptime_now)
go_light
saver_after_delay_said "$from" "back on after a run"
if [ "$desktop" = gnome ]; then
  echo "PASS"
  exit 0
fi
pid=$saver_pid
poll "$saver_limit" shown || fail "the second saver did not come up"
xdotool key Escape
poll 100 ended "$pid" || fail "the saver did not end on Escape"
[ "$(records "$log")" -eq 2 ] || fail "expected two records: $(cat -A "$log")"

# xdg-screensaver on a bare X11 session: suspended, held back; resumed, the
# saver a delay later with no input. The user stays at the keyboard while
# the film starts, however long that takes here.
(while :; do xset s reset; sleep 0.5; done) >/dev/null 2>&1 &
active_pid=$!
xmessage -name suspender 'a film' >/dev/null 2>&1 &
window_pid=$!
wid=$(find_window 100 '^(suspender|xmessage)$') || fail "no window to suspend for"
xdg-screensaver suspend "$wid" >"$work/xdg.out" 2>&1 || fail "xdg-screensaver: $(cat "$work/xdg.out")"
kill "$active_pid"
wait "$active_pid" 2>/dev/null
xset s reset
holds_back 2 "xdg-screensaver suspend"
from=$(uptime_now)
xdg-screensaver resume "$wid" >>"$work/xdg.out" 2>&1 || fail "xdg-screensaver resume: $(cat "$work/xdg.out")"
saver_after_delay_said "$from" "after xdg-screensaver resume"
echo "PASS"
