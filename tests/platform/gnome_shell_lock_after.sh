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
# shellcheck source=tests/lib/gnome_shell_run.sh
source "$(dirname "$0")/../lib/gnome_shell_run.sh"

delay=3
lock_minutes=1
# In tenths of a second, generous for a loaded machine.
saver_limit=$(((delay + 30) * 10))
key_limit=100

gnome_shell_run_start gnome-lock "GNOME Shell, --lock-after"
if [ "$desktop_lock_screen" != yes ]; then
  echo "SKIP: $desktop_lock_screen"
  exit 77
fi
gnome_shell_launch "locking the session with the desktop's locker" --lock-after "$lock_minutes" "$delay"

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
gnome_shell_launcher_ends
echo "PASS (GNOME Shell, --lock-after)"
