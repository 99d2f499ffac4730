#!/usr/bin/env bash
# trenchwalk-idle on GNOME Shell 43 itself, headless, come up as at a login:
# with its Activities overview open. The saver the launcher starts then must
# be full screen with the keyboard, the overview closed, and the first key
# ends it with one record. Then the shell's own lock screen and blank
# (org.gnome.ScreenSaver's Lock and SetActive, asked of the shell's own name,
# org.gnome.Shell.ScreenShield, as its Super+L and its idle blank come: no
# program starts the separate org.gnome.ScreenSaver proxy for the launcher to
# hear; the launcher must hear the shell itself): locked or blanked before
# the delay passes, no saver starts; once unlocked or unblanked, none starts
# until a whole new idle period has passed; a saver that runs when the lock
# or the blank comes ends within 2 s with exactly one record. Where the shell
# could not build its lock screen (no logind on the machine) the run says
# why and holds the overview case alone.
#
# With --lock-after, trenchwalk-idle --lock-after with the shell's real lock
# screen instead: a key before the grace period ends the saver without a
# lock; once the saver has run a minute the launcher asks the shell
# (org.gnome.ScreenSaver.Lock), the shell's lock screen comes (ActiveChanged,
# GetActive true), the saver ends no sooner than the grace period with
# exactly one record, and the launcher says it locked only once the shell
# said so. Where the shell could not build its lock screen that run skips.
#
# usage: gnome_shell_end_to_end.sh [--lock-after] path/to/trenchwalk path/to/trenchwalk-idle
#
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317
# desktops.sh sets the desktop_* names.
# shellcheck disable=SC2154
set -u

usage="usage: gnome_shell_end_to_end.sh [--lock-after] path/to/trenchwalk path/to/trenchwalk-idle"
lock_after=""
[ "${1:-}" = --lock-after ] && { lock_after=1; shift; }
saver_binary=${1:?$usage}
launcher_binary=${2:?$usage}
# shellcheck source=tests/lib/gnome_shell_run.sh
source "$(dirname "$0")/../lib/gnome_shell_run.sh"

# The launcher's delay, in seconds. Short, to keep the run short, yet long
# enough that a saver started right after a key could not pass for a new
# idle period.
delay=3
# In tenths of a second: how long the saver may take to come up after the
# delay (a loaded machine is slow to start a Qt program beside GNOME Shell
# drawing in software), to end after a key, and to end once the shell has
# said that it locked or blanked (what the launcher promises; the shell
# itself first fades its shield in, a few tenths of a second).
saver_limit=$(((delay + 30) * 10))
key_limit=100
lock_limit=20
# How long nothing may start after the lock, the blank, or their end: the
# delay and two seconds more, in tenths of a second.
watch=$(((delay + 2) * 10))
lock_minutes=1

if [ -n "$lock_after" ]; then
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
  exit 0
fi

gnome_shell_run_start gnome-shell "GNOME Shell"
echo "ok: GNOME Shell is up headless as $("${desktop_as_user[@]}" id -un), its overview open" \
  "as at a login"

# Waits for a full-screen saver with the keyboard after the delay; $1 says
# what came before, for the messages.
expect_saver() {
  local from
  from=$(microseconds)
  poll "$saver_limit" saver_shown ||
    fail "$1: no full-screen saver with the keyboard $((saver_limit / 10)) s on: $desktop_why"
  echo "ok: $1: the saver is up full screen with the keyboard at $(since "$from") s"
}
# Nothing may start for the watch; $1 says what is watched.
expect_none() {
  saver_starts() { [ -n "$(processes_of "$saver")" ]; }
  poll "$watch" saver_starts && fail "$1: a saver started"
  echo "ok: $1: no saver for $((watch / 10)) s"
}
# The saver that runs ends within $2 tenths of a second of what the caller
# just did; $1 names it. Then the log holds $3 records.
ended_at=""
ended_us=""
expect_end() {
  local from=$4 pid=$saver_pid
  poll "$2" ended "$pid" || fail "$1: the saver (pid $pid) still runs $(since "$from") s later" \
    "$(describe_threads "$pid")"
  ended_us=$(microseconds)
  ended_at=$(since "$from")
  check_log "$log" "$3"
  mark_trace
}

# escape_ends WHAT COUNT: Escape ends the saver, with COUNT records in all.
escape_ends() {
  local from
  from=$(microseconds)
  desktop_key Escape || fail "the key could not be sent"
  expect_end "$1" "$key_limit" "$2" "$from"
}

gnome_shell_launch "idle source: GNOME's idle monitor \(D-Bus\)" "$delay"

# The overview is open, as at a login; the launcher closes it as it starts
# the saver, which gets the keyboard: the first key ends it.
[ "$(desktop_overview)" = true ] || fail "the overview is not open before the saver starts"
expect_saver "started with the overview open"
[ "$(desktop_overview)" = false ] || fail "the overview is still open over the saver"
escape_ends "one Escape, with the overview closed" 1
echo "ok: the overview is closed, and the first key ends the saver with one record"

if [ "$desktop_lock_screen" != yes ]; then
  echo "SKIP: the lock and blank cases: $desktop_lock_screen"
  echo "PASS (GNOME Shell; the overview case only)"
  exit 0
fi

# Each end of a lock or a blank starts a whole new idle period: the next
# saver comes no sooner than the delay after it, counted by the kernel's
# clock from just before the end was asked for, to the saver's start.
# Ends the lock or the blank ($1 names it) and waits for the saver of the new
# idle period.
end_and_expect_saver() {
  local from
  from=$(uptime_now)
  desktop_screensaver SetActive boolean:false >/dev/null || fail "$1: SetActive false failed"
  expect_saver "$1"
  check_started_after_delay "$from" "$saver_pid" "$1"
  echo "ok: $1: no saver until a new idle period (it started $start_offset s after, delay $delay s)"
}
# When the shell said it was active, in microseconds: the first ActiveChanged
# true that dbus-monitor saw after $1 (microseconds), or nothing.
said_active() {
  awk -v from="$1" '
    /member=ActiveChanged/ { t = $2; sub(/^time=/, "", t); t = int(t * 1e6); next }
    t != "" && $1 == "boolean" { if ($2 == "true" && t >= from) { printf "%.0f\n", t; exit } t = "" }' \
    "$work/monitor.out"
}
# The lock ($1 Lock) or the blank ($1 SetActive) ends the saver that runs,
# within 2 s of the shell's ActiveChanged, with one record more: $2 in all.
ends_saver() {
  local from active signalled after
  from=$(microseconds)
  if [ "$1" = Lock ]; then
    desktop_screensaver Lock >/dev/null || fail "org.gnome.ScreenSaver.Lock failed"
  else
    desktop_screensaver SetActive boolean:true >/dev/null || fail "SetActive true failed"
  fi
  expect_end "$3 while the saver ran" "$key_limit" "$2" "$from"
  active=$(said_active "$from")
  [ -n "$active" ] || fail "$3: the shell sent no ActiveChanged true"
  signalled=$(awk -v a="$active" -v from="$from" 'BEGIN { printf "%.2f", (a - from) / 1e6 }')
  after=$(awk -v a="$active" -v e="$ended_us" 'BEGIN { printf "%.2f", (e - a) / 1e6 }')
  awk -v s="$after" -v limit="$lock_limit" 'BEGIN { exit !(s * 10 <= limit) }' ||
    fail "$3: the saver ended $after s after the shell's ActiveChanged, over $((lock_limit / 10)) s"
  echo "ok: $3 while the saver ran: it ended $ended_at s after it was asked for, $after s after" \
    "the shell said so ($signalled s after it was asked), with one record"
}

# Locked first, then the delay: nothing. The key that ended the saver began
# this idle period.
desktop_screensaver Lock >/dev/null || fail "org.gnome.ScreenSaver.Lock failed"
[ "$(desktop_screensaver GetActive)" = true ] || fail "GetActive is not true after Lock"
expect_none "locked before the delay passed"
# Unlocked: the shell's own deactivation, what a password ends in.
end_and_expect_saver "unlocked"
# The lock comes while the saver runs, then the blank (the shield without
# the unlock dialog).
ends_saver Lock 2 "locked"
end_and_expect_saver "unlocked after that lock"
ends_saver SetActive 3 "blanked"
end_and_expect_saver "unblanked"
escape_ends "one Escape after the blank" 4
# Blanked first, then the delay: nothing.
desktop_screensaver SetActive boolean:true >/dev/null || fail "SetActive true failed"
# The shield says it is active once it has faded in.
blanked() { [ "$(desktop_screensaver GetActive)" = true ]; }
poll "$key_limit" blanked || fail "GetActive is not true $((key_limit / 10)) s after SetActive true"
expect_none "blanked before the delay passed"
end_and_expect_saver "unblanked, after blanking first"
escape_ends "one Escape at the end" 5

lines=$(grep -E '^trenchwalk-idle: the saver (failed to start|was killed|ended with exit status)' \
  "$launcher_err")
[ -z "$lines" ] || fail "the launcher reported a saver failure: $lines"
gnome_shell_launcher_ends
echo "PASS (GNOME Shell)"
