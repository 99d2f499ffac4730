# shellcheck shell=bash
# The set-up both runs on GNOME Shell share (gnome_shell_end_to_end.sh and
# gnome_shell_lock_after.sh), after desktops.sh.
#
# gnome_shell_run_prepare NAME LABEL
#   Makes a work folder of its own (trenchwalk-NAME.XXXXXX) with bin/ and
#   desktop/, copies $saver_binary and $launcher_binary into bin/, and sets
#   saver, launcher, log, launcher_out and launcher_err. On any exit the
#   launcher, $monitor_pid, every saver and the desktop are stopped and the
#   folder goes. fail MESSAGE then prints "FAIL (LABEL): MESSAGE", the
#   launcher's lines without the saver's Wayland trace, and the desktop's logs.
# shellcheck disable=SC2034,SC2154
gnome_shell_run_prepare() {
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
  trap gnome_shell_run_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  slow_unwinder
  cp "$saver_binary" "$saver" || fail "cannot copy $saver_binary"
  cp "$launcher_binary" "$launcher" || fail "cannot copy $launcher_binary"
}

gnome_shell_run_cleanup() {
  local pid
  for pid in $launcher_pid $monitor_pid $(processes_of "$saver"); do kill -9 "$pid" 2>/dev/null; done
  desktop_stop
  rm -rf "$work"
}

fail_report() {
  local f
  for f in "$launcher_out" "$launcher_err"; do
    # Without the lines of the saver's Wayland protocol trace.
    [ -s "$f" ] && { echo "--- $(basename "$f"):"; grep -v '^\[ *[0-9.]*\]' "$f" | tail -n 40; }
  done
  desktop_show_logs
}
