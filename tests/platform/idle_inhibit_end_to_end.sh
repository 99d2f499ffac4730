#!/usr/bin/env bash
# What holds trenchwalk-idle back, and the lock it asks for, on real desktops
# started headless.
#
# usage: idle_inhibit_end_to_end.sh MODE DESKTOP path/to/trenchwalk path/to/trenchwalk-idle [fake_input_keys]
#   MODE inhibit, DESKTOP x11 (Xvfb) or sway (headless): on a session bus where
#        nobody answers org.freedesktop.ScreenSaver, the launcher does; an
#        application of our own (screensaver_client.py) inhibits through it:
#        no saver while it holds the cookie, and the saver one whole idle
#        period after UnInhibit, without any input; --status shows the
#        inhibitor, and none without it. `xset s off` on its own holds nothing
#        back; on X11, the real `xdg-screensaver suspend WINDOW` (xdg-utils)
#        does, until the window goes. The service's exchanges (both paths,
#        another's cookie, a client that leaves, the bus going away) and the
#        other records (logind's, GNOME's) are proved against a private bus in
#        tests/idle_bus_test.cpp.
#   MODE inhibit, DESKTOP kde: beside a headless kwin, a stand-in for KDE's
#        record (kde_power_agent.py) owns the KDE names with an inhibition
#        standing: the launcher never takes org.freedesktop.ScreenSaver, asks
#        the record, starts nothing while it stands, and --status names it.
#   MODE lock, DESKTOP x11 (--locker 'i3lock -n') or sway (--locker swaylock),
#        --lock-after 1: a minute into the saver the locker is up over it,
#        the saver then ends with its record, and the screen shows the locker.
#   MODE lock, DESKTOP logind: the same on Xvfb without --locker, beside a
#        stand-in for logind: the launcher asks logind's LockSession, and
#        `xss-lock -- i3lock -n` locks on logind's word, as in a session.
#
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317
set -u

mode=${1:?usage: idle_inhibit_end_to_end.sh MODE DESKTOP trenchwalk trenchwalk-idle [fake_input_keys]}
desktop=${2:?usage: idle_inhibit_end_to_end.sh MODE DESKTOP trenchwalk trenchwalk-idle}
saver_binary=${3:?usage: idle_inhibit_end_to_end.sh MODE DESKTOP trenchwalk trenchwalk-idle}
launcher_binary=${4:?usage: idle_inhibit_end_to_end.sh MODE DESKTOP trenchwalk trenchwalk-idle}
keys_tool=${5:-}
here=$(dirname "$0")
# shellcheck source=tests/platform/idle_desktops.sh
source "$here/idle_desktops.sh"

lock_minutes=1

case "$mode:$desktop" in
  inhibit:x11 | inhibit:sway | inhibit:kde | lock:x11 | lock:sway | lock:logind) ;;
  *) echo "usage: idle_inhibit_end_to_end.sh inhibit x11|sway|kde, or lock x11|sway|logind" >&2; exit 2 ;;
esac
# The logind run is an X11 one with a stand-in for logind and no --locker.
with_logind=""
if [ "$desktop" = logind ]; then
  desktop=x11
  with_logind=1
fi
# shellcheck disable=SC2046
require_tools $("${desktop}_tools") dbus-daemon /usr/bin/python3
[ "$desktop" = x11 ] && require_tools xmessage xprop xdg-screensaver
[ "$mode" = lock ] && [ "$desktop" = x11 ] && require_tools i3lock import convert xss-lock
[ "$mode" = lock ] && [ "$desktop" = sway ] && require_tools swaylock grim convert
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null ||
  { echo "SKIP: python3-dbus and python3-gi are not installed"; exit 77; }

idle_work inhibit-e2e
unset XDG_SESSION_ID XDG_CURRENT_DESKTOP KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID
fail_label="$mode $desktop"
fail_report() {
  show_logs "$work"/out/* "$work/runtime/session-bus.log"
  [ "$desktop" = kde ] && desktop_show_logs
  [ -s "$work/sway.log" ] && { echo "--- sway.log:"; tail -n 20 "$work/sway.log"; }
}
cp "$here"/{screensaver_client,kde_power_agent}.py "$here/../lib/stand_in.py" "$work/bin/" || fail "cannot copy"
chmod 644 "$work/bin/"*.py
pids=()

cleanup() {
  local pid
  for pid in "${pids[@]}" $(processes_of "$saver"); do kill -9 "$pid" 2>/dev/null; done
  stop_session_bus
  stop_system_bus
  "${desktop}_stop" 2>/dev/null
  rm -rf "$work"
}
on_exit cleanup

# The locker's colour: a screen of it is the locker's, not the saver's or the desktop's.
lock_color=3366cc

start_desktop "$saver" "$launcher" "$work/bin/screensaver_client.py"
key() { "${desktop}_key" "$1"; }
saver_up() { "${desktop}_saver_up" "$1"; }
if [ "$desktop" != kde ]; then
  # kwin's run brings its session bus; the others get one of their own, as
  # a session's would be, run as the session's user.
  export USER
  USER=$(id -un)
  start_session_bus "$XDG_RUNTIME_DIR" "${owner%%:*}" || fail "the session bus did not start"
fi
if [ -n "$with_logind" ]; then
  # logind, as a session has it: a stand-in on a system bus of its own.
  start_system_bus "$work/system" || fail "no private system bus"
  start_fake_logind "$work/system" || fail "no stand-in for logind"
  export XDG_SESSION_ID=c1
fi
# The launcher and the clients see the same session. An array, not a
# function, so that a process started in the background with it is the one $!
# names (env execs what it runs).
as=("${as_user[@]}" env DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS")

launcher_out="$work/out/launcher.out"
launcher_err="$work/out/launcher.err"
launcher_pid=""
start_launcher() {
  "${as[@]}" "$launcher" "$@" >"$launcher_out" 2>"$launcher_err" &
  launcher_pid=$!
  pids+=("$launcher_pid")
  says "$launcher_pid" "$launcher_out" '^trenchwalk-idle: idle source: '
  running "$launcher_pid" || fail "the launcher ended: $(cat "$launcher_out" "$launcher_err")"
}
status_line() { "${as[@]}" "$launcher" --status 2>&1; }

# start_fed NAME SCRIPT ARGUMENT...: one of our Python programs, run in the
# session, reading the lines written to fed_fd; its pid in fed_pid, its
# output in out/NAME; waits until it prints a line matching its first word,
# a cookie or ready, and fails with WHAT if none comes.
fed_pid=""
fed_fd=""
start_fed() {
  local name=$1 script=$2 want=$3 what=$4
  shift 4
  mkfifo -m 600 "$work/out/$name.in"
  [ -n "$owner" ] && chown "$owner" "$work/out/$name.in"
  "${as[@]}" /usr/bin/python3 "$work/bin/$script" "$@" <"$work/out/$name.in" >"$work/out/$name" 2>&1 &
  fed_pid=$!
  pids+=("$fed_pid")
  exec {fed_fd}>"$work/out/$name.in"
  says "$fed_pid" "$work/out/$name" "$want" || fail "$what: $(cat "$work/out/$name")"
}
# A client of ours, inhibiting through PATH: its output in out/client-NAME.
start_client() {
  start_fed "client-$1" screensaver_client.py '^cookie [1-9]' "client $1 got no cookie from $2" \
    "$2" "$1" "Playing a film"
}
client_says() { grep -qx "$2" "$work/out/client-$1"; }

inhibit_run() {
  start_launcher "$delay"
  grep -qx 'trenchwalk-idle: answering org.freedesktop.ScreenSaver for the inhibitors of this session' \
    "$launcher_out" || fail "the launcher does not answer org.freedesktop.ScreenSaver: $(cat "$launcher_out")"
  echo "ok: $desktop: $(tr '\n' ' ' <"$launcher_out")"
  line=$(status_line)
  grep -Eq '^trenchwalk-idle: idle source: .*; inhibitors: none; locked: [a-z]+; launcher: [a-z0-9 ()]+$' <<<"$line" ||
    fail "--status without an inhibitor: $line"
  echo "ok: $desktop: --status, none held: $line"

  # The screen saver switched off for good is not an inhibitor.
  [ "$desktop" = x11 ] && xset s off
  from=$(uptime_now)
  key Shift_L || fail "the key could not be sent"
  saver_after_delay "$from" "the first start (xset s off)"
  end_with_key 1
  echo "ok: $desktop: the saver started $start_offset s after the last key; a key ended it"

  # Held on the long path, released with UnInhibit: one whole idle period
  # after the release, with no input, the saver starts.
  start_client vlc /org/freedesktop/ScreenSaver
  vlc_fd=$fed_fd
  key Shift_L || fail "the key could not be sent"
  line=$(status_line)
  grep -q 'inhibitors: .*vlc: Playing a film (org.freedesktop.ScreenSaver, :' <<<"$line" ||
    fail "--status does not show the inhibitor: $line"
  echo "ok: $desktop: --status with one: $line"
  holds_back "$inhibit_periods" "a cookie on /org/freedesktop/ScreenSaver"
  grep -q '^trenchwalk-idle: the desktop inhibits idle' "$launcher_err" ||
    fail "the launcher did not say it held back"
  # UnInhibit: one whole idle period after the release, with no input, the
  # saver starts. The time is read first: the new period begins after it.
  released=$(uptime_now)
  echo uninhibit >&"$vlc_fd"
  poll 100 client_says vlc released || fail "UnInhibit failed: $(cat "$work/out/client-vlc")"
  saver_after_delay "$released" "after UnInhibit"
  echo "ok: $desktop: held while a cookie stood ($inhibit_periods periods); the saver came" \
    "$start_offset s after UnInhibit, with no input"
  end_with_key 2
  exec {vlc_fd}>&-

  if [ "$desktop" = x11 ]; then
    # The real xdg-screensaver: on a bare X11 session it switches the X
    # screen saver off and keeps a record of the window, watched by xprop.
    xset s 600
    xmessage -name suspender 'a film' >/dev/null 2>&1 &
    window_pid=$!
    pids+=("$window_pid")
    wid=$(find_window 100 '^(suspender|xmessage)$') || fail "no window to suspend for"
    xdg-screensaver suspend "$wid" >"$work/out/xdg.out" 2>&1 || fail "xdg-screensaver: $(cat "$work/out/xdg.out")"
    key Shift_L || fail "the key could not be sent"
    line=$(status_line)
    grep -q "inhibitors: .*xdg-screensaver suspend $wid" <<<"$line" ||
      fail "--status does not show xdg-screensaver: $line"
    holds_back "$inhibit_periods" "xdg-screensaver suspend"
    kill "$window_pid"
    wait "$window_pid" 2>/dev/null
    gone() { ! xset q | grep -q 'timeout:  0'; }
    poll 100 gone || fail "xdg-screensaver did not resume once the window went"
    from=$(uptime_now)
    key Shift_L || fail "the key could not be sent"
    saver_after_delay "$from" "after xdg-screensaver resumed, the window gone"
    echo "ok: $desktop: xdg-screensaver suspend held it ($inhibit_periods periods, $line);" \
      "the saver came once the window went"
    end_with_key 3
  fi
}

kde_inhibit_run() {
  start_fed agent kde_power_agent.py '^ready$' "the KDE stand-in did not start"
  agent_fd=$fed_fd
  start_launcher "$delay"
  grep -q 'answering org.freedesktop.ScreenSaver' "$launcher_out" &&
    fail "the launcher took org.freedesktop.ScreenSaver from KDE's own"
  line=$(status_line)
  grep -q 'inhibitors: KDE: vlc: Playing a film;' <<<"$line" || fail "--status: $line"
  echo "ok: kde: the launcher leaves org.freedesktop.ScreenSaver to KDE; --status: $line"
  key Shift_L || fail "the key could not be sent"
  holds_back "$inhibit_periods" "KDE's record"
  grep -q '^trenchwalk-idle: the desktop inhibits idle' "$launcher_err" ||
    fail "the launcher did not say it held back"
  echo release >&"$agent_fd"
  poll 100 grep -qx released "$work/out/agent" || fail "the stand-in did not release"
  line=$(status_line)
  grep -q 'inhibitors: none;' <<<"$line" || fail "--status after the release: $line"
  from=$(uptime_now)
  key Shift_L || fail "the key could not be sent"
  saver_after_delay "$from" "after KDE's record emptied"
  echo "ok: kde: nothing started while KDE's record held an inhibition ($inhibit_periods periods);" \
    "the saver came $start_offset s after the next key once it was gone; --status: $line"
}

# The screen, as the user sees it: the share of it in the locker's colour.
lock_share() {
  local shot=$work/out/screen.png
  if [ "$desktop" = x11 ]; then
    import -window root "$shot" 2>/dev/null || return 1
  else
    "${as_user[@]}" grim - >"$shot" 2>/dev/null || return 1
  fi
  convert "$shot" -fill black +opaque "#$lock_color" -fill white -opaque "#$lock_color" \
    -colorspace gray -format '%[fx:mean]' info: 2>/dev/null
}

lock_run() {
  local locker options
  if [ "$desktop" = x11 ]; then
    locker="i3lock -n -c $lock_color"
  else
    locker="swaylock -c $lock_color"
  fi
  options=(--lock-after "$lock_minutes" --locker "$locker")
  locker_parent=""
  if [ "$with_logind" = 1 ] && [ "${2:-}" = logind ]; then
    # The session's locker listens to logind, as xss-lock does in a session;
    # the launcher names none.
    xset s off
    # shellcheck disable=SC2086  # the command's words
    xss-lock -- $locker >"$work/out/xss-lock.out" 2>&1 &
    locker_parent=$!
    pids+=("$locker_parent")
    options=(--lock-after "$lock_minutes")
  fi
  # The locker the launcher started (through sh -c), none other on the
  # machine: a process running exactly that command line whose parent is the
  # launcher or the launcher's child.
  locker_pid=""
  locker_running() {
    local parent=${locker_parent:-$launcher_pid} children
    children=$(pgrep -d, -P "$parent")
    [ -n "$children" ] || return 1
    locker_pid=$(ps -o pid=,args= --ppid "$parent,$children" |
      awk -v want="$locker" '{ pid = $1; $1 = ""; sub(/^ /, ""); if ($0 == want) { print pid; exit } }')
    [ -n "$locker_pid" ]
  }
  start_launcher "${options[@]}" "$delay"
  by="\"$locker\""
  [ -n "$locker_parent" ] && by="the desktop's locker"
  grep -qx "trenchwalk-idle: locking the session with $by once the saver has run $lock_minutes min" \
    "$launcher_out" || fail "no line for the lock: $(cat "$launcher_out")"

  # No input: the saver comes, and a minute later the lock. No key either:
  # a session idle past the delay since the display started gets its saver
  # at once, and a key would end it. (A key before the grace period ends the
  # saver without a lock: tests/idle_test.cpp.)
  poll "$saver_limit" a_saver || fail "no saver after the delay"
  first=$saver_pid
  started=$(started_at "$first")
  up() { saver_up "$first"; }
  poll "$saver_limit" up || fail "the saver did not come up full screen"
  early=$(awk -v s="$started" -v u="$(uptime_now)" -v m="$lock_minutes" 'BEGIN { printf "%d", (s + m * 60 - u - 2) * 10 }')
  [ "$early" -gt 0 ] && poll "$early" locker_running && fail "the locker came before the grace period"
  locked() { grep -q '^trenchwalk-idle: locked the session after' "$launcher_err"; }
  poll $(((lock_minutes * 60 + 30) * 10)) locked ||
    fail "no lock after the grace period: $(cat "$launcher_err")"
  at=$(uptime_now)
  locker_running || fail "the launcher reported a lock, but the locker is not running:" \
    "$(ps -o pid,ppid,args --ppid "$launcher_pid" 2>&1)"
  pids+=("$locker_pid")
  poll "$exit_limit" ended "$first" || fail "the saver still runs 10 s after the lock"
  share=$(lock_share) || fail "no picture of the screen"
  awk -v s="$share" 'BEGIN { exit !(s > 0.99) }' || fail "the screen is not the locker's: $share of it"
  check_log "$log" 1
  echo "ok: $desktop: the lock came $(awk -v a="$at" -v s="$started" 'BEGIN { printf "%.1f", a - s }') s" \
    "into the saver ($lock_minutes min); the locker is up ($share of the screen), the saver ended with" \
    "one record: $(grep 'locked the session' "$launcher_err")"
  kill "$locker_pid"
}

case "$mode:$desktop" in
  inhibit:kde) kde_inhibit_run ;;
  inhibit:*) inhibit_run ;;
  lock:*) lock_run "$mode" "${2}" ;;
esac
saver_failures=$(grep '^trenchwalk-idle: .*the saver \(was killed\|ended with\|failed\)' "$launcher_err")
[ -z "$saver_failures" ] || fail "the launcher reported a saver failure: $saver_failures"
signal_ends TERM "$launcher_pid" "the launcher"
echo "PASS"
