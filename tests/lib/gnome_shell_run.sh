# shellcheck shell=bash
# What both runs of gnome_shell_end_to_end.sh on GNOME Shell share. It
# brings desktops.sh with it.
#
# gnome_shell_run_start NAME LABEL
#   Skips (status 77) when GNOME Shell or what it needs is missing. Makes a
#   work folder of its own (trenchwalk-NAME.XXXXXX), copies $saver_binary and
#   $launcher_binary into its bin/, and sets saver, launcher, log,
#   launcher_out and launcher_err. Starts GNOME Shell headless, once more in
#   a fresh folder when it does not come up (about one start in eighty on a
#   loaded machine stops partway and never opens its overview), and skips
#   when it does not come up twice. On any exit the launcher, $monitor_pid,
#   every saver and the desktop are stopped and the folder goes. fail MESSAGE
#   then prints "FAIL (LABEL): MESSAGE", the launcher's lines without the
#   saver's Wayland trace, and the desktop's logs.
# gnome_shell_launch LINE ARGUMENT...
#   Starts the launcher with ARGUMENTs as a session starts it: on the shell's
#   Wayland display, with its buses, its protocol trace on (the saver it
#   starts inherits it, which shows its window). Fails unless it says LINE
#   (the start of a line of its standard output) within 10 s. Then watches
#   the shell's ActiveChanged, each with the time it came, in
#   $work/monitor.out.
# saver_shown: true once a saver runs (its pid in saver_pid) full screen with
#   the keyboard, read from its trace after trace_from bytes of the
#   launcher's stderr, which mark_trace moves to where the output stands.
# gnome_shell_launcher_ends: SIGTERM ends the launcher within 10 s, with
#   status 0.
# shellcheck disable=SC2034,SC2154
# shellcheck source=tests/lib/desktops.sh
source "$(dirname "${BASH_SOURCE[0]}")/desktops.sh"

gnome_shell_run_start() {
  desktop_require gnome-shell
  fail_label=$2
  work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-$1.XXXXXX")
  chmod 755 "$work"
  mkdir -p "$work/bin" "$work/desktop"
  chmod 755 "$work/desktop"
  saver="$work/bin/trenchwalk"
  launcher="$work/bin/trenchwalk-idle"
  log="$work/bin/walked.log"
  launcher_out="$work/launcher.out"
  launcher_err="$work/launcher.err"
  launcher_pid=""
  monitor_pid=""
  saver_pid=""
  trace_from=0
  on_exit gnome_shell_run_cleanup
  slow_unwinder
  cp "$saver_binary" "$saver" || fail "cannot copy $saver_binary"
  cp "$launcher_binary" "$launcher" || fail "cannot copy $launcher_binary"
  if ! desktop_start gnome-shell "$work/desktop"; then
    desktop_show_logs
    desktop_stop
    echo "GNOME Shell did not come up; starting it once more"
    mkdir -p "$work/desktop2"
    chmod 755 "$work/desktop2"
    desktop_start gnome-shell "$work/desktop2" || {
      echo "SKIP: GNOME Shell did not start headless, twice"
      desktop_show_logs
      exit 77
    }
  fi
  if [ -n "$desktop_owner" ]; then
    chown -R "$desktop_owner" "$work/bin"
    reachable_as "${desktop_owner%%:*}" "$saver" "$launcher" || exit 1
  fi
}

gnome_shell_run_cleanup() {
  local pid
  for pid in $launcher_pid $monitor_pid $(processes_of "$saver"); do kill -9 "$pid" 2>/dev/null; done
  desktop_stop
  rm -rf "$work"
}

fail_report() {
  show_logs "$launcher_out" "$launcher_err"
  desktop_show_logs
}

saver_shown() {
  saver_pid=$(processes_of "$saver" | head -n1)
  [ -n "$saver_pid" ] && desktop_fullscreen "$saver_pid" "$launcher_err" "$trace_from"
}
mark_trace() { trace_from=$(stat -c %s "$launcher_err"); }

gnome_shell_launch() {
  local line=$1
  shift
  "${desktop_as_user[@]}" env XDG_SESSION_TYPE=wayland WAYLAND_DEBUG=client "$launcher" "$@" \
    >"$launcher_out" 2>"$launcher_err" &
  launcher_pid=$!
  says "$launcher_pid" "$launcher_out" "^trenchwalk-idle: $line" ||
    fail "the launcher did not say \"$line\": $(cat "$launcher_out" "$launcher_err")"
  mark_trace
  "${desktop_as_user[@]}" dbus-monitor --session \
    "type='signal',interface='org.gnome.ScreenSaver',member='ActiveChanged'" \
    >"$work/monitor.out" 2>&1 &
  monitor_pid=$!
  says "$monitor_pid" "$work/monitor.out" 'member=NameLost' || fail "dbus-monitor did not start: $(cat "$work/monitor.out")"
}

gnome_shell_launcher_ends() {
  signal_ends TERM "$launcher_pid" "the launcher"
  launcher_pid=""
}
