#!/usr/bin/env bash
# trenchwalk-idle on a real desktop, started headless: it names its idle
# source in one line; a second launcher leaves at once, quietly; with a delay
# of a few seconds it starts the saver full screen; a key ends the saver with
# one record; it starts the saver again only after another whole idle period;
# what the desktop uses to hold idle back (a view with inhibit_idle on sway, a
# player resetting the X screen saver) keeps the saver from starting; SIGTERM
# ends the launcher with status 0; a saver that fails to start is reported in
# one line and tried again only after input and another idle period; on X11,
# a launcher started when the session is already idle past the delay starts
# the saver at once, and the X server coming back on the same display is
# found again; the desktop going away for good ends the launcher with status
# 0 once it has looked for it long enough.
#
# With DESKTOP:LOCKER it runs the lock checks instead: locked first, then the
# delay, no saver; unlocked, no saver until a whole new idle period; the saver
# running, then the lock: it ends within a second or two with exactly one
# record, and none starts while locked; unlocked, a new one only after a new
# idle period. LOCKER hung stops the running saver (SIGSTOP) instead: it is
# ended within 10 s with one line, and the next idle period starts a fresh one.
#
# usage: idle_end_to_end.sh DESKTOP[:LOCKER] path/to/trenchwalk path/to/trenchwalk-idle [fake_input_keys]
#   DESKTOP  x11   Xvfb, keys with xdotool
#            sway  a headless sway (as nobody when run as root, since sway
#                  refuses root), keys with wtype
#            gnome a headless mutter, keys through its remote desktop D-Bus
#                  interface (tests/lib/desktops.sh)
#            kde   a headless kwin, keys through its fake input protocol with
#                  the built fake_input_keys, the fourth argument
#
# Each desktop is described in idle_desktops.sh.
#
#   LOCKER  i3lock       (x11) i3lock -n, which holds the keyboard
#           xsecurelock  (x11) xsecurelock, the same
#           swaylock     (sway) swaylock, with LockedHint set around it as a
#                        wrapper would: sway 1.7 tells clients nothing of it
#           hung         (any) no lock: the saver is stopped instead
# The desktops' screen savers and logind's LockedHint, heard on a bus, are
# proved against private buses in tests/idle_bus_test.cpp.
# Each locker is lock_L_tools, lock_L_setup (before the launcher starts),
# lock_L_on and lock_L_off.
#
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317
set -u

desktop=${1:?usage: idle_end_to_end.sh DESKTOP path/to/trenchwalk path/to/trenchwalk-idle}
locker=""
if [[ "$desktop" == *:* ]]; then
  locker=${desktop#*:}
  desktop=${desktop%%:*}
fi
saver_binary=${2:?usage: idle_end_to_end.sh DESKTOP path/to/trenchwalk path/to/trenchwalk-idle}
launcher_binary=${3:?usage: idle_end_to_end.sh DESKTOP path/to/trenchwalk path/to/trenchwalk-idle}
keys_tool=${4:-}

launcher_pids=()

# shellcheck source=tests/platform/idle_desktops.sh
source "$(dirname "$0")/idle_desktops.sh"
idle_work idle-e2e

# --- Lockers, for DESKTOP:LOCKER.
locker_pid=""
stop_locker() { stop_pid locker_pid; }
lock_i3lock_tools() { echo i3lock; }
lock_i3lock_setup() { :; }
lock_i3lock_on() { i3lock -n >>"$work/locker.log" 2>&1 & locker_pid=$!; }
# locker_was_up NAME: the locker held the lock all along (the run saw a real
# locker, not only a hint), and is ended.
locker_was_up() {
  running "$locker_pid" || fail "$1 did not stay up: $(cat "$work/locker.log")"
  stop_locker
}
lock_i3lock_off() { locker_was_up i3lock; }
lock_xsecurelock_tools() { echo xsecurelock; }
lock_xsecurelock_setup() { :; }
lock_xsecurelock_on() { xsecurelock >>"$work/locker.log" 2>&1 & locker_pid=$!; }
lock_xsecurelock_off() { locker_was_up xsecurelock; }
lock_swaylock_tools() { echo swaylock dbus-daemon dbus-send; }
lock_swaylock_setup() {
  start_system_bus "$work/system" || return 1
  start_fake_logind "$work/system"
}
lock_swaylock_on() {
  "${as_user[@]}" swaylock >>"$work/locker.log" 2>&1 &
  locker_pid=$!
  set_locked_hint true
}
lock_swaylock_off() { locker_was_up swaylock && set_locked_hint false; }
lock_hung_tools() { :; }
stop_lock_services() {
  stop_locker
  stop_system_bus
}

# --- The checks, the same on every desktop.
if ! declare -F "${desktop}_start" >/dev/null; then
  echo "usage: idle_end_to_end.sh DESKTOP ...: no desktop \"$desktop\"" >&2
  exit 2
fi
if [ -n "$locker" ] && ! declare -F "lock_${locker}_tools" >/dev/null; then
  echo "usage: idle_end_to_end.sh DESKTOP:LOCKER ...: no locker \"$locker\"" >&2
  exit 2
fi
# shellcheck disable=SC2046
require_tools $("${desktop}_tools") awk $([ -n "$locker" ] && "lock_${locker}_tools")


cleaning_up=""
cleanup() {
  local pid
  cleaning_up=1
  for pid in "${launcher_pids[@]}" $(saver_processes); do kill -9 "$pid" 2>/dev/null; done
  declare -F "${desktop}_inhibit_stop" >/dev/null && "${desktop}_inhibit_stop" 2>/dev/null
  stop_lock_services 2>/dev/null
  "${desktop}_stop" 2>/dev/null
  rm -rf "$work"
}
on_exit cleanup

fail_label=$desktop
fail_report() {
  show_logs "$work"/launcher*.out "$work"/launcher*.err "$work/xvfb.log" "$work/sway.log" \
    "$work/blocker.err" "$work/wtype.err" "$work/locker.log" \
    "$work/system/fake_logind.err" "$work/system/system-bus.log"
  declare -F "${desktop}_show_logs" >/dev/null && "${desktop}_show_logs"
}
# Every running copy of the saver the launcher started: processes running
# the copied binary.
saver_processes() { processes_of "$saver"; }

# --- Its command line, before any desktop.
"$launcher" --help >"$work/help.out" 2>&1 || fail "--help: exit status $?"
grep -q '^usage: trenchwalk-idle \[SECONDS\] \[--lock-after MINUTES \[--locker COMMAND\]\] | --status$' "$work/help.out" || fail "--help: $(cat "$work/help.out")"
"$launcher" 3x >"$work/bad.out" 2>&1
status=$?
[ "$status" -eq 2 ] || fail "a bad argument: exit status $status, not 2"
one_line "$work/bad.out" '^usage: trenchwalk-idle \[SECONDS\]' "a bad argument"
env -u DISPLAY -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "$launcher" \
  "$delay" >"$work/none.out" 2>&1
status=$?
[ "$status" -eq 1 ] || fail "no idle source: exit status $status, not 1"
one_line "$work/none.out" '^trenchwalk-idle: no idle source: .*DISPLAY' "no idle source"
echo "ok: $desktop: --help, a bad argument (status 2) and no idle source (status 1, one line)"

start_desktop "$saver" "$launcher"

# Starts a launcher; its pid in launcher_pid, its output in launcher-N.out/.err.
launcher_pid=""
start_launcher() {
  local n=${#launcher_pids[@]}
  "${as_user[@]}" "${launcher_env[@]}" "$launcher" "$delay" >"$work/launcher-$n.out" \
    2>"$work/launcher-$n.err" &
  launcher_pid=$!
  launcher_pids+=("$launcher_pid")
  launcher_out="$work/launcher-$n.out"
  launcher_err="$work/launcher-$n.err"
}
# chosen: the launcher said the line naming its source.
chosen() {
  says "$launcher_pid" "$launcher_out" \
    "^trenchwalk-idle: idle source: $("${desktop}_source"); starting $saver after $delay s idle$"
}
# Starts a launcher and waits for the line naming its source.
start_chosen_launcher() {
  start_launcher
  chosen || fail "no choice line naming the source: $(cat "$launcher_out" "$launcher_err")"
}

# The saver's process once it shows full screen; "" until then.
saver_pid=""
saver_shown() {
  saver_pid=$(saver_processes | head -n1)
  [ -n "$saver_pid" ] && "${desktop}_saver_up" "$saver_pid"
}
no_saver() { [ -z "$(saver_processes)" ]; }
# How long a lock may take to end the running saver here, in tenths: it
# should take well under 2 s; a loaded machine gets more, and the time taken
# is printed.
lock_end_limit=50

# Locked first, unlocked, then locked while the saver runs, and unlocked.
run_lock_checks() {
  local pid before lock_from lock_end unlocked_up unlocked
  "lock_${locker}_setup" || fail "the $locker stand-in did not start"
  start_chosen_launcher

  # Locked first, then the delay passes: no saver.
  "${desktop}_key" Shift_L || fail "the first key could not be sent"
  "lock_${locker}_on" || fail "cannot lock with $locker"
  holds_back 3 "locked first"
  echo "ok: $desktop:$locker: locked first: no saver over $((3 * delay)) s"

  # Unlocked: no saver until a whole new idle period has passed.
  unlocked_up=$(uptime_now)
  unlocked=$(microseconds)
  "lock_${locker}_off" || fail "cannot unlock"
  saver_after_delay "$unlocked_up" "after the unlock" saver_shown
  echo "ok: $desktop:$locker: unlocked: the saver started $start_offset s after the unlock" \
    "(up at $(since "$unlocked") s)"

  # The saver running, then the lock: it ends at once, with its record.
  before=$(records "$log")
  pid=$saver_pid
  lock_from=$(microseconds)
  "lock_${locker}_on" || fail "cannot lock with $locker"
  poll "$lock_end_limit" ended "$pid" ||
    fail "the saver (pid $pid) still runs $((lock_end_limit / 10)) s after the lock"
  lock_end=$(since "$lock_from")
  check_log "$log" $((before + 1))
  holds_back 2 "locked while it ran"
  echo "ok: $desktop:$locker: the lock ended the running saver in $lock_end s, with one record;" \
    "none started over $((2 * delay)) s of the lock"

  unlocked_up=$(uptime_now)
  unlocked=$(microseconds)
  "lock_${locker}_off" || fail "cannot unlock"
  saver_after_delay "$unlocked_up" "after the second unlock" saver_shown
  end_with_key $((before + 2))
  echo "ok: $desktop:$locker: unlocked again: the saver came $start_offset s after, not before;" \
    "a key ends it with its record"
  lock_ms=$(awk -v s="$lock_end" 'BEGIN { printf "%d", s * 1000 }')
  echo "lock-to-end: $desktop:$locker ${lock_ms} ms"
}

# The saver stopped: ended within 10 s with one line; a fresh one follows.
run_hung_checks() {
  local pid ended_up stopped lines
  start_chosen_launcher
  "${desktop}_key" Shift_L || fail "the first key could not be sent"
  poll "$saver_limit" saver_shown || fail "no saver to stop"
  pid=$saver_pid
  # A saver that has run a while, and so beaten: one stopped before its
  # first beat is given the slow start's 15 s instead.
  ran_a_while() { awk -v from="$(started_at "$pid")" -v now="$(uptime_now)" 'BEGIN { exit !(now - from >= 2) }'; }
  poll "$saver_limit" ran_a_while || fail "the saver did not run 2 s"
  kill -STOP "$pid"
  stopped=$(microseconds)
  poll 100 ended "$pid" || fail "the stopped saver (pid $pid) still runs 10 s later"
  ended_up=$(uptime_now)
  echo "ok: $desktop:hung: the stopped saver was ended $(since "$stopped") s after SIGSTOP"
  lines=$(grep -c '^trenchwalk-idle: ' "$launcher_err")
  [ "$lines" -eq 1 ] && grep -q '^trenchwalk-idle: the saver stopped answering (no sign of life for [0-9.]* s); ending it; waiting for the next idle period$' "$launcher_err" ||
    fail "expected one line saying the saver stopped answering: $(cat "$launcher_err")"
  # SIGCONT came with the SIGTERM, so it ended with its record.
  check_log "$log" 1
  poll "$saver_limit" saver_shown || fail "no fresh saver in the next idle period"
  [ "$saver_pid" != "$pid" ] || fail "the stopped saver is still the one shown"
  # The new period begins when the launcher reaps the saver, up to a poll
  # (and a loaded machine's delay) before this script sees the end; without
  # it the next saver would start at once, the session being idle for long.
  local slack=$idle_timer_slack
  idle_timer_slack=$(awk -v s="$slack" 'BEGIN { printf "%.2f", s + 0.5 }')
  check_started_after_delay "$ended_up" "$saver_pid" "after the hung saver's end"
  idle_timer_slack=$slack
  end_with_key 2
  echo "ok: $desktop:hung: one line, its record, and a fresh saver $start_offset s after its end"
}

if [ -n "$locker" ]; then
  if [ "$locker" = hung ]; then run_hung_checks; else run_lock_checks; fi
  signal_ends TERM "$launcher_pid" "the launcher"
  echo "PASS"
  exit 0
fi

start_chosen_launcher
echo "ok: $desktop: $(cat "$launcher_out")"

# A second launcher in the same session: gone at once, status 0, not a word.
"${as_user[@]}" "$launcher" "$delay" >"$work/second.out" 2>&1 &
exits_zero $! "$exit_limit" "it started beside another" "a second launcher"
[ -s "$work/second.out" ] && fail "a second launcher said: $(cat "$work/second.out")"
echo "ok: $desktop: a second launcher leaves at once, quietly"

# The first start: a key, then no input for the delay.
# The uptime is read before the key is sent: the last input is later still,
# so a start at least the delay after it is never early.
last_input_up=$(uptime_now)
last_input=$(microseconds)
"${desktop}_key" Shift_L || fail "the first key could not be sent"
saver_after_delay "$last_input_up" "the first start" saver_shown
echo "ok: $desktop: the saver started $start_offset s after the last key and was up full screen" \
  "at $(since "$last_input") s (delay $delay s)"
last_input_up=$(uptime_now)
last_input=$(microseconds)
end_with_key 1
echo "ok: $desktop: a key ends it with one record"

# Not right after the key: only once the session has been idle a whole
# delay again.
saver_after_delay "$last_input_up" "after the key that ended it" saver_shown
echo "ok: $desktop: started again $start_offset s after the key that ended it, not before" \
  "(up full screen at $(since "$last_input") s)"
end_with_key 2

if declare -F "${desktop}_inhibit_start" >/dev/null; then
  # A key first, so that the idle period runs from just before what holds
  # it back starts coming up, not from the Escape the saver took to end.
  "${desktop}_key" Shift_L || fail "the key could not be sent"
  "${desktop}_inhibit_start" || fail "cannot hold idle back"
  # Watched for several idle periods: nothing may start meanwhile.
  holds_back "$inhibit_periods" "idle held back"
  "${desktop}_inhibit_stop"
  released=$(microseconds)
  poll "$saver_limit" saver_shown || fail "the saver did not start once idle was no longer held back"
  echo "ok: $desktop: nothing started while idle was held back ($((inhibit_periods * delay)) s);" \
    "the saver came $(since "$released") s after it ended"
  end_with_key 3
fi
saver_failures=$(grep '^trenchwalk-idle: .*the saver' "$launcher_err" | grep -v 'inhibits idle')
[ -z "$saver_failures" ] || fail "the launcher reported a saver failure: $saver_failures"

# SIGTERM: status 0, at once, with the saver not running.
poll "$exit_limit" no_saver
signal_ends TERM "$launcher_pid" "the launcher"
echo "ok: $desktop: SIGTERM ends the launcher with status 0"

# A saver that fails to start: one line each time, and the launcher re-arms:
# not again while no one is there, but after input and another idle period.
mkdir -p "$work/broken"
cp "$launcher" "$work/broken/trenchwalk-idle"
printf '#!/bin/sh\nexit 3\n' >"$work/broken/trenchwalk"
chmod 755 "$work/broken" "$work/broken/trenchwalk"
[ -n "$owner" ] && chown -R "$owner" "$work/broken"
# SIGINT back to its default: a shell starts background jobs with it ignored,
# and this launcher is ended with it below.
"${as_user[@]}" env --default-signal=INT "$work/broken/trenchwalk-idle" "$delay" \
  >"$work/launcher-broken.out" 2>"$work/launcher-broken.err" &
broken_pid=$!
launcher_pids+=("$broken_pid")
failures() { grep -c '^trenchwalk-idle: the saver failed to start (exit status 3); waiting for the next idle period$' "$work/launcher-broken.err"; }
failed_times() { [ "$(failures)" -ge "$1" ]; }
"${desktop}_key" Shift_L || fail "the key could not be sent"
poll "$saver_limit" failed_times 1 || fail "a saver that fails was not reported: $(cat "$work/launcher-broken.err")"
# With no input, no new attempt: a saver that fails is not started in a loop.
poll $((2 * delay * 10)) failed_times 2 && fail "the launcher tried again without any input"
"${desktop}_key" Shift_L || fail "the key could not be sent"
poll "$saver_limit" failed_times 2 || fail "the launcher did not try again after another idle period"
[ "$(failures)" -eq 2 ] && [ "$(wc -l <"$work/launcher-broken.err")" -eq 2 ] ||
  fail "expected two lines, one per failure: $(cat "$work/launcher-broken.err")"
running "$broken_pid" || fail "the launcher ended after a saver failed"
signal_ends INT "$broken_pid" "the launcher"
echo "ok: $desktop: a saver that fails to start is reported in one line, and tried again" \
  "after another idle period; SIGINT ends the launcher with status 0"

# X11: a launcher started when the session is already idle past the delay
# starts the saver at once, as GNOME's monitor does.
if [ "$desktop" = x11 ]; then
  sleep $((delay + 1))
  launched_up=$(uptime_now)
  before=$(records "$log")
  start_launcher
  poll "$saver_limit" saver_shown || fail "a launcher started in an idle session started no saver"
  start_offset=$(awk -v from="$launched_up" -v to="$(started_at "$saver_pid")" 'BEGIN { printf "%.2f", to - from }')
  awk -v s="$start_offset" -v d="$delay" 'BEGIN { exit !(s < d) }' ||
    fail "a launcher started in an idle session waited $start_offset s, a new delay"
  end_with_key $((before + 1))
  echo "ok: $desktop: started in a session idle past the delay, it started the saver" \
    "$start_offset s later"

  signal_ends TERM "$launcher_pid" "the launcher"

  # The X server gone and back on the same display (a desktop restarting):
  # the launcher finds it again and goes on. On a display number far above
  # those servers take for themselves (-displayfd takes the first free one),
  # so that no other server on the machine takes it while it is free.
  stop_xvfb
  start_xvfb_high "$work" "${x11_width}x${x11_height}" || fail "no X server of its own"
  start_chosen_launcher
  restart_xvfb "$work" || fail "no X server again on $DISPLAY"
  found_again() { grep -q '^trenchwalk-idle: idle source back: X11 idle time' "$launcher_err"; }
  poll 250 found_again || fail "the launcher did not find the X server $DISPLAY again"
  grep -q '^trenchwalk-idle: the idle source went away (X11 idle time' "$launcher_err" ||
    fail "the launcher did not say that its source went away: $(cat "$launcher_err")"
  running "$launcher_pid" || fail "the launcher left although the X server came back"
  "${desktop}_key" Shift_L || fail "the key could not be sent"
  poll "$saver_limit" saver_shown || fail "no saver on the X server that came back"
  end_with_key $((before + 2))
  echo "ok: $desktop: the X server gone and back: found again, and the saver starts there"
fi

# The desktop going away for good: the launcher looks for it a while
# (20 s), then leaves with status 0, so a unit that restarts it on failure
# does not. (On X11 the launcher of the display of its own above.)
if [ "$desktop" != x11 ]; then
  start_launcher
  chosen || fail "a new launcher did not start: $(cat "$launcher_out" "$launcher_err")"
fi
"${desktop}_stop"
gone_from=$(microseconds)
exits_zero "$launcher_pid" 400 "the desktop went away" "the launcher"
grep -q '^trenchwalk-idle: no idle source came back' "$launcher_err" ||
  fail "no line saying it left: $(cat "$launcher_err")"
echo "ok: $desktop: the desktop gone for good ends the launcher with status 0" \
  "after $(since "$gone_from") s"
echo "PASS"
