#!/usr/bin/env bash
# trenchwalk-idle --lock-after on GNOME Shell 43 itself, headless, with its
# real lock screen: a key before the grace period ends the saver without a
# lock; once the saver has run a minute the launcher asks the shell
# (org.gnome.ScreenSaver.Lock), the shell's lock screen comes (ActiveChanged,
# GetActive true), the saver ends no sooner than the grace period with
# exactly one record, and the launcher says it locked only once the shell
# said so. Where the shell could not build its lock screen the run says
# why and skips.
#
# usage: gnome_shell_lock_after.sh path/to/trenchwalk path/to/trenchwalk-idle
#
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317
# desktops.sh sets the desktop_* names.
# shellcheck disable=SC2154
set -u

saver_binary=${1:?usage: gnome_shell_lock_after.sh path/to/trenchwalk path/to/trenchwalk-idle}
launcher_binary=${2:?usage: gnome_shell_lock_after.sh path/to/trenchwalk path/to/trenchwalk-idle}
# shellcheck source=tests/lib/desktops.sh
source "$(dirname "$0")/../lib/desktops.sh"
# shellcheck source=tests/lib/as_user.sh
source "$(dirname "$0")/../lib/as_user.sh"
# shellcheck source=tests/lib/gnome_shell_run.sh
source "$(dirname "$0")/../lib/gnome_shell_run.sh"

missing=$(desktop_missing gnome-shell)
if [ -n "$missing" ]; then
  echo "SKIP: the GNOME Shell run needs what is not installed: ${missing//$'\n'/, }"
  exit 77
fi

delay=3
lock_minutes=1
# In tenths of a second, generous for a loaded machine.
saver_limit=$(((delay + 30) * 10))
key_limit=100

gnome_shell_run_prepare gnome-lock "GNOME Shell, --lock-after"
desktop_start gnome-shell "$work/desktop" || {
  echo "SKIP: GNOME Shell did not start headless"
  desktop_show_logs
  exit 77
}
if [ "$desktop_lock_screen" != yes ]; then
  echo "SKIP: $desktop_lock_screen"
  exit 77
fi
[ -n "$desktop_owner" ] && chown -R "$desktop_owner" "$work/bin"
if [ -n "$desktop_owner" ]; then
  reachable_as "${desktop_owner%%:*}" "$saver" "$launcher" || exit 1
fi

saver_pid=""
trace_from=0
saver_shown() {
  saver_pid=$(processes_of "$saver" | head -n1)
  [ -n "$saver_pid" ] && desktop_fullscreen "$saver_pid" "$launcher_err" "$trace_from"
}
mark_trace() { trace_from=$(stat -c %s "$launcher_err"); }
clock_ticks=$(getconf CLK_TCK)
started_at() { awk -v hz="$clock_ticks" '{ printf "%.2f", $22 / hz }' "/proc/$1/stat"; }
uptime_now() { cut -d' ' -f1 /proc/uptime; }

"${desktop_as_user[@]}" env XDG_SESSION_TYPE=wayland WAYLAND_DEBUG=client "$launcher" \
  --lock-after "$lock_minutes" "$delay" >"$launcher_out" 2>"$launcher_err" &
launcher_pid=$!
chosen() { grep -q "^trenchwalk-idle: locking the session with the desktop's locker" "$launcher_out"; }
settled() { chosen || ! running "$launcher_pid"; }
poll 100 settled
chosen || fail "the launcher did not start with --lock-after: $(cat "$launcher_out" "$launcher_err")"
mark_trace
# The shell's word on its lock screen, each message with the uptime it came at.
"${desktop_as_user[@]}" dbus-monitor --session \
  "type='signal',interface='org.gnome.ScreenSaver',member='ActiveChanged'" \
  >"$work/monitor.out" 2>&1 &
monitor_pid=$!
monitoring() { grep -q 'member=NameLost' "$work/monitor.out" || ! running "$monitor_pid"; }
poll 100 monitoring

# A key before the grace period: the saver ends, nothing locks.
poll "$saver_limit" saver_shown || fail "no full-screen saver after the delay: $desktop_why"
desktop_key Escape || fail "the key could not be sent"
poll "$key_limit" ended "$saver_pid" || fail "the saver still runs 10 s after Escape"
check_log "$log" 1
mark_trace
[ "$(desktop_screensaver GetActive)" = false ] || fail "the shell is locked after a key ended the saver early"
grep -Eq 'locked the session|the lock after' "$launcher_err" && fail "a lock was reported early"
echo "ok: GNOME Shell: a key before the grace period ends the saver without a lock"

# No input: the saver again, and the shell's lock a minute into it.
poll "$saver_limit" saver_shown || fail "no saver after another idle period: $desktop_why"
first=$saver_pid
started=$(started_at "$first")
locked() { grep -q '^trenchwalk-idle: locked the session after' "$launcher_err"; }
poll $(((lock_minutes * 60 + 40) * 10)) locked || fail "no lock after the grace period"
lock_line=$(grep '^trenchwalk-idle: locked the session after' "$launcher_err")
poll "$key_limit" ended "$first" || fail "the saver still runs 10 s after the lock"
ended_up=$(uptime_now)
[ "$(desktop_screensaver GetActive)" = true ] || fail "the launcher said locked, the shell does not"
check_log "$log" 2
# The shell said it was active, and the saver ran the whole grace period.
active=$(grep -c 'member=ActiveChanged' "$work/monitor.out")
[ "$active" -ge 1 ] || fail "the shell sent no ActiveChanged"
at=$(awk -v s="$started" -v e="$ended_up" 'BEGIN { printf "%.1f", e - s }')
awk -v a="$at" -v m="$lock_minutes" 'BEGIN { exit !(a >= m * 60) }' ||
  fail "the saver ended $at s into its run, before the grace period"
echo "ok: GNOME Shell: its lock screen came over the saver $lock_minutes min into it; the saver" \
  "ended $at s into its run with one record; $lock_line"
kill -TERM "$launcher_pid"
poll "$key_limit" ended "$launcher_pid" || fail "the launcher still runs 10 s after SIGTERM"
launcher_pid=""
echo "PASS (GNOME Shell, --lock-after)"
