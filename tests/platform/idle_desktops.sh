# shellcheck shell=bash
# The desktops the idle scripts run on (idle_end_to_end.sh and
# idle_inhibit_end_to_end.sh), one way for both: each desktop D is a handful
# of functions named after it.
#   D_tools               the commands it needs (the run is skipped without them)
#   D_start               starts it in $work; sets as_user (the command prefix
#                         clients run under) and owner (user:group owning the
#                         folders they write, empty for the caller), exports
#                         what clients need; returns 77 when it cannot start here
#   D_key NAME            sends one key press and release
#   D_saver_up PID        true when process PID shows a full-screen window
#   D_stop                stops it; safe to call twice
#   D_source              a regular expression for the launcher's choice
#   D_inhibit_start/stop  (optional) something that holds idle back, and its end
#   D_show_logs           (optional) prints the desktop's own logs on failure
# The script sourcing it sets saver_binary, launcher_binary, keys_tool, desktop
# and launcher_err (the running launcher's error output); idle_work sets work.
# It brings the libraries of the desktops with it, and common.sh.
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317,SC2154,SC2034
# shellcheck source=tests/lib/xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib/xvfb.sh"
# shellcheck source=tests/lib/sway.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib/sway.sh"
# shellcheck source=tests/lib/desktops.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib/desktops.sh"
# The launcher's delay in the runs, in seconds: long enough that a saver
# started right after a key could not pass for a new idle period. Generous
# limits, in tenths of a second (a loaded machine or a sanitizer build is slow
# to start a Qt program): for a saver to come, and for a process to end. How
# long something holding idle back is watched, in idle periods.
delay=3
saver_limit=$(((delay + 30) * 10))
exit_limit=100
inhibit_periods=3
# What D_start sets: as_user, owner, launcher_env (what the launcher runs
# under besides as_user, say a protocol trace) and idle_timer_slack (how much
# earlier than the delay the desktop may report idle, in seconds, by the
# granularity of its own timers; 0 where it keeps time exactly).
as_user=()
owner=""
launcher_env=()
idle_timer_slack=0

# --- Desktop: x11 (Xvfb).
x11_tools() { echo Xvfb xdotool xset; }
x11_width=1024
x11_height=768
x11_start() {
  start_xvfb "$work" "${x11_width}x${x11_height}" || return 77
  unset WAYLAND_DISPLAY
}
x11_key() { xdotool key "$1"; }
x11_saver_up() {
  local wid geometry
  wid=$(xdotool search --onlyvisible --pid "$1" --name '^Trenchwalk$' 2>/dev/null | head -n1)
  [ -n "$wid" ] || return 1
  geometry=$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null)
  grep -qx "WIDTH=$x11_width" <<<"$geometry" && grep -qx "HEIGHT=$x11_height" <<<"$geometry"
}
x11_stop() { stop_xvfb; }
x11_source() { echo 'X11 idle time \(SYNC IDLETIME, :[0-9]+\)'; }
# A film player resets the X screen saver every few seconds while it plays.
x11_player_pid=""
x11_inhibit_start() {
  (while :; do xset s reset; sleep 0.5; done) >/dev/null 2>&1 &
  x11_player_pid=$!
}
x11_inhibit_stop() { stop_pid x11_player_pid; }

# --- Desktop: sway (headless, wlroots).
sway_tools() { echo sway swaymsg wtype jq setpriv; }
sway_start() {
  sway_user
  [ -n "$owner" ] && chown -R "$owner" "$work/runtime" "$work/home" "$work/out" "$work/bin"
  printf '%s\n' 'xwayland disable' 'default_border none' 'focus_follows_mouse no' \
    'output HEADLESS-1 mode 1024x768 position 0 0' >"$work/sway.conf"
  unset QT_QPA_PLATFORM XDG_SESSION_TYPE
  start_sway "$work" 1 ||
    { echo "SKIP: sway did not start headless: $(tail -n 20 "$work/sway.log")"; return 77; }
  hold_keyboard "$work"
}
sway_key() { "${as_user[@]}" wtype -k "$1" 2>>"$work/wtype.err"; }
sway_saver_up() {
  "${as_user[@]}" swaymsg -t get_tree 2>/dev/null | jq -e --argjson pid "$1" '
    [.. | objects | select(.type == "con" and .pid == $pid and .name == "Trenchwalk"
       and .fullscreen_mode == 1)] | length > 0' >/dev/null
}
sway_stop() { stop_sway; }
sway_source() { echo '(org_kde_kwin_idle|ext-idle-notify-v1) \(Wayland, wayland-[0-9]+\)'; }
# A view that sway keeps idle from, as a film player's window would: another
# copy of the saver, in a folder of its own, with inhibit_idle open.
sway_blocker_pid=""
sway_inhibit_start() {
  mkdir -p "$work/blocker"
  cp "$saver_binary" "$work/blocker/trenchwalk"
  [ -n "$owner" ] && chown -R "$owner" "$work/blocker"
  "${as_user[@]}" env QT_QPA_PLATFORM=wayland "$work/blocker/trenchwalk" >"$work/blocker.err" 2>&1 &
  sway_blocker_pid=$!
  blocker_shown() { sway_saver_up "$sway_blocker_pid"; }
  poll "$saver_limit" blocker_shown || { echo "the blocking view did not appear"; return 1; }
  "${as_user[@]}" swaymsg "[pid=$sway_blocker_pid] inhibit_idle open" >"$work/inhibit.out" 2>&1 ||
    { echo "swaymsg inhibit_idle failed: $(cat "$work/inhibit.out")"; return 1; }
}
sway_inhibit_stop() { stop_pid sway_blocker_pid; }

# --- Desktops: gnome (mutter) and kde (kwin), headless, from desktops.sh.
# Neither offers a way to list windows that works for both, so the launcher
# runs with a Wayland protocol trace that the saver it starts inherits, and
# desktops.sh reads from it whether the saver's window is full screen (on KDE,
# kwin is asked as well). Each saver's trace begins where its connection does:
# the first request of a connection makes object 2, the registry.
wayland_desktop_start() {
  desktop_require "$desktop" "$keys_tool"
  mkdir -p "$work/desktop"
  chmod 755 "$work/desktop"
  desktop_start "$desktop" "$work/desktop" "$keys_tool" ||
    { echo "SKIP: $desktop did not start headless"; desktop_show_logs; return 77; }
  as_user=("${desktop_as_user[@]}")
  owner=$desktop_owner
  [ -n "$owner" ] && chown -R "$owner" "$work/home" "$work/out" "$work/bin"
  launcher_env=(env WAYLAND_DEBUG=client)
  return 0
}
# A new saver's process runs a little before its connection shows in the
# trace; until then the last connection there is the previous saver's, which
# ended full screen with the focus. So a saver other than the one seen last
# counts only with a connection that began after that one's (in the same
# launcher's output).
wayland_shown_pid=""
wayland_shown_file=""
wayland_shown_from=-1
# The byte offset in trace $1 where the newest window connection begins: the
# last registry made first on its connection that binds wl_compositor. The
# saver reads its outputs on a second connection of its own, which binds none
# and must not be taken for the window's.
saver_connection_offset() {
  LC_ALL=C awk '/wl_display@1\.get_registry\(new id wl_registry@2\)/ { candidate = offset }
       /wl_registry@2\.bind\([0-9]+, "wl_compositor"/ { if (candidate != "") found = candidate }
       { offset += length($0) + 1 }
       END { if (found != "") print found }' "$1"
}
wayland_desktop_saver_up() {
  local from
  from=$(saver_connection_offset "$launcher_err")
  [ -n "$from" ] || return 1
  if [ "$1" != "$wayland_shown_pid" ] && [ "$launcher_err" = "$wayland_shown_file" ]; then
    [ "$from" -gt "$wayland_shown_from" ] || return 1
  fi
  desktop_fullscreen "$1" "$launcher_err" "$from" || return 1
  wayland_shown_pid=$1
  wayland_shown_file=$launcher_err
  wayland_shown_from=$from
}
# What a saver that does not end was told last: its keyboard's events from
# its own trace, and where its threads wait.
wayland_desktop_describe_saver() {
  local from
  from=$(saver_connection_offset "$launcher_err")
  echo; echo "its keyboard's last events:"
  tail -c +"$((${from:-0} + 1))" "$launcher_err" | grep -E 'wl_keyboard@[0-9]+\.(enter|leave|key)' |
    tail -n 6
  describe_threads "$1"
}
gnome_tools() { echo mutter dbus-daemon; }
gnome_start() { wayland_desktop_start; }
gnome_key() { desktop_key "$1"; }
gnome_saver_up() { wayland_desktop_saver_up "$1"; }
gnome_stop() { desktop_stop; }
gnome_show_logs() { desktop_show_logs; }
gnome_describe_saver() { wayland_desktop_describe_saver "$1"; }
gnome_source() { echo "GNOME's idle monitor \(D-Bus\)"; }
# Something that inhibits idle, as gnome-session reports a playing film: a
# stand-in for the session manager whose IsInhibited says yes. mutter's own
# idle monitor is not told (no InhibitedActions), so it still reports idle and
# only the launcher's question holds the saver back. The launcher then waits
# for the user's next activity, which ending the inhibition brings here: the
# user comes back, then leaves again.
gnome_manager_pid=""
gnome_inhibit_start() {
  cp "$(dirname "$0")"/{inhibiting_session_manager.py,../lib/stand_in.py} "$work/desktop/"
  chmod 644 "$work/desktop/"*.py
  "${as_user[@]}" /usr/bin/python3 "$work/desktop/inhibiting_session_manager.py" \
    >"$work/out/manager.out" 2>"$work/out/manager.err" &
  gnome_manager_pid=$!
  says "$gnome_manager_pid" "$work/out/manager.out" '^ready$' ||
    { echo "the stand-in session manager did not start: $(cat "$work/out/manager.err")"; return 1; }
  # The idle period to watch begins once the stand-in answers.
  desktop_key Shift_L
}
gnome_inhibit_stop() {
  [ -n "$gnome_manager_pid" ] || return 0
  stop_pid gnome_manager_pid
  [ -z "$cleaning_up" ] || return 0
  grep -q '^trenchwalk-idle: the desktop inhibits idle' "$launcher_err" ||
    fail "the launcher did not say that it held back for the session manager"
  desktop_key Shift_L || fail "the key could not be sent"
}
kde_tools() { echo kwin_wayland dbus-daemon; }
# kwin times idle with Qt's coarse timers, which may fire up to 5 % early
# (2.86 s after the key for a 3 s delay was seen); the kernel's and the
# uptime's 10 ms ticks add up to 20 ms more.
kde_start() {
  idle_timer_slack=$(awk -v d="$delay" 'BEGIN { printf "%.2f", d * 0.05 + 0.02 }')
  wayland_desktop_start
}
kde_key() { desktop_key "$1"; }
kde_saver_up() { wayland_desktop_saver_up "$1"; }
kde_stop() { desktop_stop; }
kde_show_logs() { desktop_show_logs; }
kde_describe_saver() { wayland_desktop_describe_saver "$1"; }
kde_source() { echo "ext-idle-notify-v1 \(Wayland, $desktop_socket\)"; }

# --- What both scripts do around the desktop.
# idle_work NAME: the run's folder, work (with bin, runtime, home and out in
# it), the copies of saver_binary and launcher_binary in bin (saver,
# launcher, and log beside them), and the session's environment pointing
# into it.
idle_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-$1.XXXXXX")
  chmod 755 "$work"
  mkdir -p "$work/bin" "$work/runtime" "$work/home" "$work/out"
  chmod 700 "$work/runtime"
  cp "$saver_binary" "$launcher_binary" "$work/bin/" || fail "cannot copy the binaries"
  saver="$work/bin/trenchwalk"
  launcher="$work/bin/trenchwalk-idle"
  log="$work/bin/walked.log"
  slow_unwinder
  unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME DBUS_SESSION_BUS_ADDRESS
  export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
}

# start_desktop PATH...: starts the desktop (a desktop that cannot start here
# skips the run); the session's user must reach every PATH.
start_desktop() {
  local started
  "${desktop}_start"
  started=$?
  [ "$started" -eq 77 ] && exit 77
  [ "$started" -eq 0 ] || fail "the desktop did not start"
  [ -z "$owner" ] || reachable_as "${owner%%:*}" "$@" || exit 1
}

# end_with_key COUNT: the running saver (saver_pid) comes up full screen, a
# key ends it, and the log then holds COUNT records.
end_with_key() {
  local pid=$saver_pid
  poll "$saver_limit" "${desktop}_saver_up" "$pid" || fail "the saver (pid $pid) did not come up full screen"
  "${desktop}_key" Escape || fail "the key could not be sent"
  poll "$exit_limit" ended "$pid" || fail "the saver (pid $pid) still runs 10 s after Escape" \
    "$(declare -F "${desktop}_describe_saver" >/dev/null && "${desktop}_describe_saver" "$pid")"
  [ "$(records "$log")" -eq "$1" ] || fail "expected $1 record(s): $(cat -A "$log" 2>/dev/null)"
}

# a_saver: true while a copy of the saver runs; its pid in saver_pid.
saver_pid=""
a_saver() { saver_pid=$(processes_of "$saver" | head -n1); [ -n "$saver_pid" ]; }
# holds_back PERIODS WHAT: no saver starts for PERIODS idle periods.
holds_back() {
  local from
  from=$(microseconds)
  poll $(($1 * delay * 10)) a_saver && fail "$2: a saver started $(since "$from") s in"
  return 0
}
# saver_after_delay UPTIME WHAT [CONDITION]: a saver comes (CONDITION, a_saver
# unless given, holds within saver_limit), at least the delay after UPTIME.
saver_after_delay() {
  poll "$saver_limit" "${3:-a_saver}" || fail "$2: no saver came"
  check_started_after_delay "$1" "$saver_pid" "$2"
}
