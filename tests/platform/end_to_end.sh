#!/usr/bin/env bash
# The real saver on a virtual X display, driven with xdotool: command keys,
# the end of a run by a key and by a click, a second copy turned away, a key
# released that was pressed before the saver started, the files that must
# never stop it (lock files of every kind, a FIFO in the log's place, a folder
# name that is not UTF-8, a log of 1 GB without a line break), two X screens
# (the second under a black cover that answers keys and clicks like the
# scene), two RandR monitors on one screen that come and go while it runs, and
# the idle daemons xautolock and xss-lock starting it; the signals that end a
# session, a unit or a terminal's program (SIGTERM, SIGHUP, SIGINT) ending it
# with its record, a message box open or not; and the launcher's heartbeat.
#
# Each run has a folder of its own (its copy of the saver, its walked.log, its
# runtime folder), its own X server, and expects only the records it makes
# itself, so any run can go alone. A run that fails says so and the others
# still go.
#
# usage: end_to_end.sh path/to/trenchwalk [RUN...]
#   RUN  the name of a run (listed in all_runs below); with none, every run
#
# The conditions handed to poll are small functions that only it calls.
# shellcheck disable=SC2317
set -u
# shellcheck source=tests/lib/xvfb.sh
source "$(dirname "$0")/../lib/xvfb.sh"

usage="usage: end_to_end.sh path/to/trenchwalk [RUN...]"
binary=${1:?$usage}
shift
[ -f "$binary" ] || { echo "FAIL: no program at $binary"; exit 1; }
all_runs=(no_display keys click second_copy key_held_before_start unreadable_log lock_files fifo
  non_utf8_folder huge_log no_proc two_screens two_screens_click two_monitors xautolock xss_lock
  signals signal_with_box heartbeat)
runs=("$@")
[ "${#runs[@]}" -eq 0 ] && runs=("${all_runs[@]}")
for name in "${runs[@]}"; do
  if [[ " ${all_runs[*]} " != *" $name "* ]]; then
    echo "$usage: no run \"$name\"; the runs: ${all_runs[*]}" >&2
    exit 2
  fi
done
# The scene window's title.
title=Trenchwalk
require_tools Xvfb xdotool

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-e2e.XXXXXX")
# shellcheck disable=SC2016  # expanded at the exit
on_exit 'rm -rf "$work"'
export QT_QPA_PLATFORM=xcb

# --- What every run has: set by begin_run, inside the run's subshell.
run=""
folder=""
log=""
saver_pids=()
daemon_pids=()
xvfb_pid=""

begin_run() {
  run=$1
  fail_label=$run
  folder="$work/$run"
  log="$folder/walked.log"
  mkdir -p "$folder/runtime" && chmod 700 "$folder/runtime"
  export XDG_RUNTIME_DIR="$folder/runtime"
  cp "$binary" "$folder/trenchwalk" || fail "cannot copy $binary"
  trap end_run EXIT
  # An X server of 1024x768, but for the runs that need none or another.
  case $run in no_display | two_*) ;; *) x_server 1024x768 ;; esac
}

# Whatever the run left running is stopped, the savers that daemons started
# too.
end_run() {
  local pid
  for pid in "${saver_pids[@]}" "${daemon_pids[@]}" $(processes_of "$folder/trenchwalk"); do
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  [ -n "$xvfb_pid" ] && xdotool keyup Return >/dev/null 2>&1
  stop_xvfb
}

fail_report() { show_logs "$folder/saver.out" "$folder/xvfb.log" "$folder/daemon.out" "$folder/noproc.out"; }

# Keys held by the script never repeat: key_held_before_start holds Return
# across a start, and a repeat reaching the saver's window would be a press it
# saw.
no_repeat=(-ardelay 60000)
# x_server SIZE [Xvfb options...]: the run's own X server.
x_server() {
  local size=$1
  shift
  start_xvfb "$folder" "$size" "${no_repeat[@]}" "$@" || fail "no X server"
}

# start_saver [BINARY [ENV...]]: starts a saver, this run's copy unless named,
# under env ENV...; start_shown also waits for its window. start_heeding
# [VAR=VALUE...] starts
# this run's copy as a unit or a terminal does, with the ending signals at
# their defaults (a shell's background job would ignore SIGINT), and waits for
# its window.
saver_pid=""
start_saver() {
  env "${@:2}" "${1:-$folder/trenchwalk}" >>"$folder/saver.out" 2>&1 &
  saver_pid=$!
  saver_pids+=("$saver_pid")
}
start_shown() { start_saver "$@"; wait_for_window; }
start_heeding() { start_shown "" --default-signal=TERM,HUP,INT "$@"; }
# second_copy_leaves WHAT [BINARY]: a second copy started beside the running
# one (saver_pid, which stays its pid) leaves at once with status 0.
second_copy_leaves() {
  local first=$saver_pid
  start_saver "${2:-}"
  exits_zero "$saver_pid" 30 "it started beside another" "$1: a second copy"
  saver_pid=$first
}
# open_box: keypad + on an unreadable log shows the error box (the scene
# given the keyboard first); error_box_closes WHAT: and Return closes it.
open_box() {
  focus_scene
  xdotool key KP_Add
  wait_for_window "Disk Access Error"
}
error_box_closes() {
  open_box
  xdotool key Return
  poll 50 box_gone || fail "$1: the error box is still open"
}

# Waits for a window with the title $1 (the saver's by default) and for the
# keyboard to reach it.
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
wait_for_window() {
  local title=${1:-$title} wid
  wid=$(find_window 100 "^${title}\$")
  [ -n "$wid" ] || fail "no window \"$title\" appeared"
  poll 50 focused "$wid" || echo "note: the window \"$title\" did not report the keyboard focus"
}

# escape_ends PID [WHAT]: Escape ends the saver PID within 5 s with status 0;
# WHAT names the run in the message.
escape_ends() {
  xdotool key Escape
  exits_zero "$1" 50 Escape "the saver${2:+ ($2)}"
}

# escape_records PID COUNT [WHAT]: escape_ends, and the log then holds COUNT
# records.
escape_records() { escape_ends "$1" "${3:-}"; check_log "$log" "$2"; }

# seed_log COUNT: a walked.log of earlier runs, the banner and COUNT records.
seed_log() {
  local n
  printf '%s\n' "$banner" >"$log"
  for n in $(seq "$1"); do printf '%d cm 12-08-2026 10:00:%02d\r\n' "$n" "$n" >>"$log"; done
}

# True when the brightest pixel of a screenshot of the display $1 (this run's
# by default) is above black; the picture in $folder/shot.png.
brightest=""
screen_lit() {
  DISPLAY=${1:-$DISPLAY} import -window root "$folder/shot.png" 2>/dev/null || return 1
  brightest=$(convert "$folder/shot.png" -format '%[max]' info: 2>/dev/null)
  [ -n "$brightest" ] && [ "${brightest%.*}" -gt 0 ]
}
can_screenshot() { command -v import >/dev/null 2>&1 && command -v convert >/dev/null 2>&1; }

# Nowhere to show it. One plain line on stderr says what is missing and how to
# get it, and the status is 1: no abort, no core dump.
run_no_display() {
  # no_display WHAT SAYING ENVIRONMENT...: the line also says SAYING.
  no_display() {
    local what=$1 saying=$2
    shift 2
    env "$@" "$folder/trenchwalk" >"$folder/nodisplay.out" 2>"$folder/nodisplay.err"
    local got=$?
    [ "$got" -eq 1 ] || fail "$what: exit status $got, not 1: $(cat "$folder/nodisplay.err")"
    one_line "$folder/nodisplay.err" '^trenchwalk: .*scripts/deps.sh run' "$what"
    grep -qF "$saying" "$folder/nodisplay.err" || fail "$what: $(cat "$folder/nodisplay.err")"
  }
  no_display "no display" 'neither WAYLAND_DISPLAY nor DISPLAY' \
    -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE
  no_display "no X server" 'no X server answers at DISPLAY=:97' \
    -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE DISPLAY=:97
  no_display "no compositor" "no Wayland compositor listens at $XDG_RUNTIME_DIR/wayland-97" \
    -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=wayland-97
  no_display "no plugin" '"no-such-platform" platform plugin is not installed' \
    QT_QPA_PLATFORM=no-such-platform
  [ -e "$log" ] && fail "a start without a display touched walked.log"
  echo "ok: without a display or a plugin: one line, status 1"
}

# Command keys keep it running; Escape ends it with one record.
run_keys() {
  start_shown
  if can_screenshot; then
    poll 50 screen_lit || fail "the screen is all black"
  fi
  # Lower case: a capital is typed with Shift, and Shift's own release ends the run.
  for key in F1 h d KP_Add; do
    xdotool key "$key"
    stays_running "$saver_pid" 4 || fail "key $key ended the run"
  done
  escape_records "$saver_pid" 1
  echo "ok: keys F1 h d KP_Add, then Escape: one record"
}

# A click on empty ground ends the run. A click that happened to land on a
# label or the walker does nothing, so another spot is tried, and the round
# of spots again while the run goes on.
run_click() {
  start_shown
  local round spot
  for round in 1 2; do
    for spot in "1010 6" "1010 762" "512 762" "512 6"; do
      # shellcheck disable=SC2086
      xdotool mousemove $spot click 1
      poll 15 ended "$saver_pid" && break 2
    done
  done
  exits_zero "$saver_pid" 30 "a click (round $round)"
  check_log "$log" 1
  echo "ok: a click ends the run: one record"
}

# A second copy leaves at once, quietly, and touches no log; the lock's file
# stays and blocks no later start.
run_second_copy() {
  seed_log 2
  local first before before_time
  start_shown
  first=$saver_pid
  before=$(md5sum <"$log")
  before_time=$(stat -c %Y.%y "$log")
  second_copy_leaves "beside a log"
  [ "$(md5sum <"$log")" = "$before" ] && [ "$(stat -c %Y.%y "$log")" = "$before_time" ] ||
    fail "the second copy touched walked.log"
  running "$first" || fail "the first copy ended when the second started"
  escape_records "$first" 3
  # The lock is the kernel's: its file may stay, and blocks no later start.
  [ -f "$folder/walked.log.lock" ] || fail "the lock file is not a plain file"
  grep -q "without the single-instance lock" "$folder/saver.out" && fail "no lock: $(cat "$folder/saver.out")"
  start_shown
  escape_records "$saver_pid" 4 "the start after the lock's file stayed"
  echo "ok: a second copy leaves at once; the first goes on; the lock's file blocks no later start"
}

# The release of a key pressed before the saver started is no command.
run_key_held_before_start() {
  xdotool keydown Return
  start_shown
  xdotool keyup Return
  stays_running "$saver_pid" 10 || fail "releasing a key pressed before the start ended the run"
  [ "$(records "$log")" -eq 0 ] || fail "a record was written: $(cat -A "$log")"
  escape_records "$saver_pid" 1
  echo "ok: an earlier key's release does not end the run"
}

box_gone() { [ -z "$(xdotool search --onlyvisible --name '^Disk Access Error$' 2>/dev/null)" ]; }

# A log that cannot be read: keypad + shows an error box over the saver; the
# Return that closes it is no command, and the walk goes on.
run_unreadable_log() {
  mkdir "$log"
  start_shown
  error_box_closes "an unreadable log"
  stays_running "$saver_pid" 10 || fail "closing the error box ended the run"
  wait_for_window
  local loaded
  loaded=$(gl_loaded "$saver_pid")
  [ -z "$loaded" ] || fail "OpenGL drivers are loaded after frames and a message box: $loaded"
  escape_ends "$saver_pid" "with an unwritable log"
  rmdir "$log" || fail "the folder in the log's place was written into: $(ls -la "$log")"
  echo "ok: an error box closes back to the walk; no OpenGL driver was loaded"
}

# Starts a copy, waits for its window, checks that a second copy leaves at once
# and quietly while it runs, then ends it with Escape: one more record.
run_with_second_copy() {
  local what=$1
  start_shown
  second_copy_leaves "$what"
  running "$saver_pid" || fail "$what: the first copy ended"
  escape_ends "$saver_pid" "$what"
}

# A lock file that is empty, garbage, or names a copy on another host (a
# shared or restored home), or a folder in its place, never keeps the saver
# from starting; single instance still holds.
run_lock_files() {
  local lock="$folder/walked.log.lock" expected=0 kind
  for kind in empty garbage other-host folder; do
    rm -rf "$lock"
    case $kind in
      empty) : >"$lock" ;;
      garbage) head -c 300 /dev/urandom >"$lock" ;;
      other-host) printf '%s\ntrenchwalk\nsome-other-host\n' "$$" >"$lock" ;;
      folder) mkdir "$lock" ;;
    esac
    : >"$folder/saver.out"
    run_with_second_copy "lock file $kind"
    expected=$((expected + 1))
    check_log "$log" "$expected"
    grep -q "without the single-instance lock" "$folder/saver.out" &&
      fail "lock file $kind: $(cat "$folder/saver.out")"
  done
  [ -d "$lock" ] || fail "the folder in the lock file's place was touched"
  ls "$folder/runtime"/trenchwalk-*.lock >/dev/null 2>&1 || fail "no per-user lock in XDG_RUNTIME_DIR"
  echo "ok: empty, garbage, other-host and folder lock files block nothing"
}

# A FIFO in the log's place hangs nothing: not start-up, not the report (an
# error box), not the end of the run; it stays a FIFO.
run_fifo() {
  mkfifo "$log"
  start_shown
  error_box_closes FIFO
  wait_for_window
  second_copy_leaves FIFO
  escape_ends "$saver_pid" "FIFO"
  [ -p "$log" ] || fail "the FIFO was replaced"
  ls "$folder"/walked.log.bak* >/dev/null 2>&1 && fail "the FIFO was taken for a foreign log"
  echo "ok: a FIFO in the log's place blocks nothing and stays"
}

# A folder name that is not UTF-8: the log and the lock go there, byte for
# byte, and nowhere else.
run_non_utf8_folder() {
  local odd root_log_before
  odd=$(printf '%s/j\xf6rg' "$folder")
  mkdir "$odd" && cp "$folder/trenchwalk" "$odd/trenchwalk"
  root_log_before=$(ls -la /walked.log 2>&1)
  start_shown "$odd/trenchwalk"
  second_copy_leaves "j\\xf6rg" "$odd/trenchwalk"
  escape_ends "$saver_pid" "j\\xf6rg"
  [ -f "$odd/walked.log" ] || fail "no walked.log in the folder j\\xf6rg: $(ls -la "$folder")"
  grep -q -E $'^[0-9.]+ (cm|mts) [0-9-]{10} [0-9:]{8}\r$' "$odd/walked.log" ||
    fail "no record: $(cat -A "$odd/walked.log")"
  [ -f "$odd/walked.log.lock" ] || fail "no lock file in the folder j\\xf6rg"
  [ "$(ls -la /walked.log 2>&1)" = "$root_log_before" ] || fail "a log was written to /walked.log"
  [ "$(find "$folder" -maxdepth 1 -name 'j*rg' | wc -l)" -eq 1 ] || fail "another folder appeared: $(ls "$folder")"
  [ -e "$log" ] && fail "a log was written beside the other copy: $(ls "$folder")"
  echo "ok: a folder name that is not UTF-8 holds the log and the lock"
}

# A foreign log of 1 GB without a line break: the window comes at once and
# little memory is used; the log is kept as a backup, whole, beside an older
# backup; a walked.log.new planted as a symlink is never followed.
run_huge_log() {
  local huge_bytes=$((1 << 30)) max_rss_kb=$((200 * 1024)) rss
  printf 'older backup\r\n' >"$log.bak"
  printf 'not to be touched\n' >"$folder/victim"
  ln -s "$folder/victim" "$log.new"
  truncate -s "$huge_bytes" "$log" || fail "cannot make a 1 GB file"
  start_shown
  rss=$(awk '/^VmHWM:/ {print $2}' "/proc/$saver_pid/status")
  [ "${rss:-0}" -lt "$max_rss_kb" ] || fail "the saver used ${rss} kB for a 1 GB log"
  escape_ends "$saver_pid" "1 GB log"
  [ "$(stat -c %s "$log.bak.1")" -eq "$huge_bytes" ] || fail "the 1 GB log was not kept whole: $(ls -la "$folder")"
  [ "$(cat "$log.bak")" = $'older backup\r' ] || fail "the older backup was replaced"
  [ "$(cat "$folder/victim")" = "not to be touched" ] || fail "the planted symlink was followed"
  [ -L "$log.new" ] || fail "the planted symlink was removed"
  [ "$(head -n1 "$log")" = "$banner" ] || fail "no fresh log"
  check_log "$log" 1
  rm -f "$log.bak.1"
  echo "ok: a 1 GB first line is judged at once and kept; backups accumulate"
}

# Without /proc the executable's folder cannot be found: the saver runs and
# ends as usual and keeps its log in the user's state folder (never in / nor
# in the working folder); without a HOME as well it keeps none and says so in
# one line.
run_no_proc() {
  # The sanitizers' runtime reads its options from /proc and its leak check
  # needs /proc to find the threads: the sanitizer suite leaves this run to
  # the plain one.
  if [ -n "${ASAN_OPTIONS:-}" ]; then
    echo "note: a sanitized saver cannot run without /proc; that run is left to the plain suite"
    return 0
  fi
  if ! unshare --mount --fork true 2>/dev/null; then
    echo "note: no mount namespace here; the run without /proc is left out"
    return 0
  fi
  mkdir "$folder/noproc" "$folder/noproc-cwd" "$folder/noproc-home" &&
    cp "$folder/trenchwalk" "$folder/noproc/trenchwalk"
  local root_log_before state_log
  root_log_before=$(ls -la /walked.log 2>&1)
  # $1: the environment's HOME, or "" for none.
  run_without_proc() {
    local home=(-u HOME)
    [ -n "$1" ] && home=(HOME="$1")
    : >"$folder/noproc.out"
    (cd "$folder/noproc-cwd" && exec env -u XDG_STATE_HOME "${home[@]}" \
      unshare --mount --fork sh -c 'mount -t tmpfs none /proc && exec "$0"' \
      "$folder/noproc/trenchwalk") >"$folder/noproc.out" 2>&1 &
    saver_pid=$!
    saver_pids+=("$saver_pid")
    wait_for_window
    escape_ends "$saver_pid" "without /proc"
    [ "$(ls -la /walked.log 2>&1)" = "$root_log_before" ] || fail "without /proc: a log was written to /"
    [ "$(ls -A "$folder/noproc-cwd")" = "" ] ||
      fail "without /proc: written to the working folder: $(ls -A "$folder/noproc-cwd")"
    [ "$(ls -A "$folder/noproc")" = "trenchwalk" ] || fail "without /proc: $(ls -A "$folder/noproc")"
  }
  run_without_proc "$folder/noproc-home"
  [ -s "$folder/noproc.out" ] && fail "without /proc: not quiet: $(cat "$folder/noproc.out")"
  state_log="$folder/noproc-home/.local/state/trenchwalk/walked.log"
  [ "$(grep -c $'\r$' "$state_log" 2>/dev/null)" = 2 ] ||
    fail "without /proc: no record in the state folder: $(ls -laR "$folder/noproc-home")"
  run_without_proc ""
  one_line "$folder/noproc.out" "folder cannot be found" "without /proc nor HOME"
  echo "ok: without /proc the log is kept in the state folder; without HOME too, none, in one line"
}

# Two X screens: the saver's visible window on screen 1, in $cover.
cover=""
cover_shown() {
  cover=$(xdotool search --screen 1 --onlyvisible --pid "$saver_pid" 2>/dev/null | head -n1)
  [ -n "$cover" ]
}
two_screens() {
  x_server 1024x768 -screen 1 800x600x24
  screen1="$DISPLAY.1"
  start_shown
  poll 50 cover_shown || fail "no window of the saver on X screen 1"
}

# Two X screens. The scene goes on screen 0; screen 1 gets a black window of
# its full size, made there rather than on screen 0. Moving the mouse over it
# does nothing; F1 there is a command and Escape there ends the run.
run_two_screens() {
  two_screens
  local geometry spot
  geometry=$(DISPLAY=$screen1 xwininfo -id "$cover" |
    awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
      /Width:/ {w=$NF} /Height:/ {h=$NF} /Map State/ {m=$NF} END {print w "x" h "+" x "+" y " " m}')
  [ "$geometry" = "800x600+0+0 IsViewable" ] || fail "the cover on screen 1 is $geometry, not 800x600+0+0"
  # Out of the window manager's hands: no manager may tile it or move it to
  # another monitor.
  DISPLAY=$screen1 xwininfo -id "$cover" | grep -q 'Override Redirect State: yes' ||
    fail "the cover is left to the window manager"
  [ -n "$(xdotool search --screen 0 --onlyvisible --name "^${title}\$" 2>/dev/null)" ] ||
    fail "the scene is not on screen 0"
  if can_screenshot; then
    # Once the scene is drawn on screen 0, anything drawn on screen 1 would
    # be there too.
    poll 50 screen_lit "$DISPLAY.0" || fail "screen 0 is all black"
    screen_lit "$screen1" && fail "screen 1 is not all black (brightest $brightest)"
  fi
  # A mouse move that ended the run would end it at once: each is given a
  # moment, and the moves together half a second more, to show they did not.
  for spot in "10 10" "400 300" "790 590"; do
    # shellcheck disable=SC2086
    xdotool mousemove --screen 1 $spot
    stays_running "$saver_pid" 2 || fail "moving the mouse over screen 1 ended the run"
  done
  stays_running "$saver_pid" 5 || fail "moving the mouse over screen 1 ended the run"
  xdotool windowfocus --sync "$cover" 2>/dev/null
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$cover" ] || echo "note: the cover did not take the keyboard focus"
  xdotool key F1
  stays_running "$saver_pid" 4 || fail "F1 on the cover ended the run"
  escape_records "$saver_pid" 1 "on the cover"
  echo "ok: two X screens: a black cover on screen 1; F1 there is a command, Escape there ends the run"
}

# A click on screen 1 ends the run.
run_two_screens_click() {
  two_screens
  xdotool mousemove --screen 1 400 300 click 1
  exits_zero "$saver_pid" 50 "a click on screen 1"
  check_log "$log" 1
  echo "ok: a click on screen 1 ends the run: one record"
}

# The saver's windows as "WxH+X+Y", one a line, sorted.
saver_windows() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$saver_pid" 2>/dev/null); do
    xdotool getwindowgeometry "$w" 2>/dev/null |
      awk '/Position/ {split($2, p, ","); pos = p[1] "+" p[2]} /Geometry/ {g = $2} END {print g "+" pos}'
  done | sort
}

# Waits up to 5 s for saver_windows to be $1 (lines joined with spaces).
windows_now=""
windows_are() {
  windows_now=$(saver_windows | tr '\n' ' ' | sed 's/ $//')
  [ "$windows_now" = "$1" ]
}
wait_windows() { poll 50 windows_are "$1" || fail "the saver's windows are \"$windows_now\", not \"$1\""; }

# One X screen with two RandR monitors (as XWayland and X11 desktops with two
# outputs have): the scene on the first, a black cover on the second. The
# second monitor goes away while it runs: its cover goes with it; it comes
# back: so does the cover. A click there ends the run.
run_two_monitors() {
  have_tools xrandr || return 0
  x_server 1824x768
  xrandr --setmonitor left 1024/270x768/203+0+0 screen >/dev/null &&
    xrandr --setmonitor right 800/211x600/159+1024+0 none >/dev/null || fail "xrandr cannot make two monitors"
  start_shown
  wait_windows "1024x768+0+0 800x600+1024+0"
  xrandr --delmonitor right >/dev/null
  wait_windows "1024x768+0+0"
  running "$saver_pid" || fail "a monitor going away ended the run"
  xrandr --setmonitor right 800/211x600/159+1024+0 none >/dev/null
  wait_windows "1024x768+0+0 800x600+1024+0"
  xdotool mousemove 1400 500 click 1
  exits_zero "$saver_pid" 50 "a click on the second monitor"
  check_log "$log" 1
  echo "ok: two RandR monitors: a cover on the second, gone and back with it; a click there ends the run"
}

# Waits up to 10 s for a saver started by someone else; its pid in $saver_pid.
wait_for_started() {
  local wid
  wid=$(find_window 100 "^${title}\$")
  [ -n "$wid" ] || fail "no window \"$title\" appeared; running: $(processes_of "$folder/trenchwalk" | tr '\n' ' ')"
  saver_pid=$(xdotool getwindowpid "$wid")
  [ -n "$saver_pid" ] || fail "the saver's window names no process"
}

# Ends the saver some daemon started with Escape: gone within 5 s, its one
# record written.
escape_ends_started() {
  xdotool key Escape
  poll 50 ended "$saver_pid" || fail "the saver (pid $saver_pid) still runs 5 s later"
  check_log "$log" 1
}

# The idle daemons of trenchwalk-idle(1). xautolock starts it (-locknow stands for the
# idle minutes), and does not start a second copy while it runs. Escape ends
# it with its record.
run_xautolock() {
  have_tools xautolock || return 0
  xautolock -time 5 -locker "$folder/trenchwalk" >>"$folder/daemon.out" 2>&1 &
  daemon_pids+=($!)
  # -locknow finds the daemon through a property it sets once it is up, and
  # one sent while the daemon is still starting can go unheeded: sent again
  # until the saver is there (a copy too many would leave at once).
  locked() {
    xautolock -locknow >>"$folder/daemon.out" 2>&1 && find_window 20 "^${title}\$" >/dev/null
  }
  poll 150 locked
  wait_for_started
  # Fired again while the saver runs: nothing changes, whether the daemon
  # waits for it or a second copy starts and leaves at once.
  xautolock -locknow
  stays_running "$saver_pid" 10 || fail "firing xautolock again ended the run"
  escape_ends_started
  kill "${daemon_pids[-1]}" 2>/dev/null
  wait "${daemon_pids[-1]}" 2>/dev/null
  echo "ok: xautolock starts it; Escape ends it with its record"
}

# xss-lock starts it when the X screen saver's timeout passes; Escape ends it
# with its record.
run_xss_lock() {
  have_tools xss-lock xset || return 0
  xset s 2
  # Without systemd-logind (as in a container) xss-lock aborts right after
  # starting the saver, which runs on by itself; on a desktop it stays.
  xss-lock -- "$folder/trenchwalk" >>"$folder/daemon.out" 2>&1 &
  daemon_pids+=($!)
  disown "$!"
  wait_for_started
  # No second start after this one's end, once the keys have made the
  # desktop busy and idle again.
  xset s off
  escape_ends_started
  echo "ok: xss-lock starts it after the X screen saver's timeout; Escape ends it with its record"
}

# Ends the saver with the signals $1..., sent at once one after the other: it
# must be gone within 5 s with status 0.
end_with() {
  local sig
  for sig in "$@"; do kill -"$sig" "$saver_pid" 2>/dev/null; done
  exits_zero "$saver_pid" 50 "SIG$*"
}

# SIGTERM, SIGHUP and SIGINT each end the run as a key does: one record,
# status 0. Signals in a row, or one right after Escape, add no second
# record. Started with SIGINT ignored (a shell's background job), it goes on
# ignoring it.
run_signals() {
  local sig expected=0
  for sig in TERM HUP INT; do
    start_heeding
    stays_running "$saver_pid" 5 || fail "the saver ended by itself"
    end_with "$sig"
    expected=$((expected + 1))
    check_log "$log" "$expected"
  done
  start_heeding
  end_with TERM HUP INT TERM
  expected=$((expected + 1))
  check_log "$log" "$expected"
  start_heeding
  focus_scene
  xdotool key Escape
  end_with TERM
  expected=$((expected + 1))
  check_log "$log" "$expected"
  grep -q 'could not be kept' "$folder/saver.out" && fail "a record was lost: $(cat "$folder/saver.out")"
  start_shown
  kill -INT "$saver_pid"
  stays_running "$saver_pid" 10 || fail "SIGINT ended a saver that was started with it ignored"
  focus_scene
  escape_records "$saver_pid" $((expected + 1))
  echo "ok: SIGTERM, SIGHUP, SIGINT: one record each, status 0; none twice; an ignored SIGINT stays ignored"
}

# Gives the scene window the keyboard, should it not have taken it itself
# yet (a loaded machine), before a key that must reach it.
focus_scene() {
  local wid
  wid=$(find_window 100 "^${title}\$")
  [ -n "$wid" ] && xdotool windowfocus --sync "$wid" 2>/dev/null
}

# A signal while the report's error box is open closes the box and ends the
# run with its record.
run_signal_with_box() {
  start_heeding
  rm -f "$log"
  open_box
  end_with TERM
  check_log "$log" 1
  echo "ok: SIGTERM with the report's box open: the box closes, one record, status 0"
}

# Every byte of the heartbeat's pipe, as the time it came, one a line.
beat_reader() {
  local _
  while IFS= read -r -N1 _; do echo "$EPOCHREALTIME"; done
}
beats() { wc -l <"$folder/beats"; }
# beats_since LINE: true when at least three beats came after line LINE of
# the beats, none more than 3 s after the one before (the launcher gives 6).
beats_steady() {
  awk -v from="$1" 'NR > from { if (last != "" && $1 - last > 3) gap = 1; last = $1; n++ }
    END { exit !(n >= 3 && !gap) }' "$folder/beats"
}
beats_came() { [ "$(beats)" -ge "$1" ]; }

# Given a pipe in TRENCHWALK_HEARTBEAT_FD, the saver writes about once a
# second, a message box open too; the program it starts for Q inherits
# neither the descriptor nor the variable, and gets the signals unblocked; a
# reader that goes away ends nothing.
run_heartbeat() {
  mkdir -p "$folder/bin"
  cat >"$folder/bin/xdg-open" <<OPENER
#!/bin/sh
{ ls -l /proc/self/fd; grep '^SigBlk' /proc/self/status; env; } >"$folder/opener.out" 2>&1
OPENER
  chmod +x "$folder/bin/xdg-open"
  mkfifo "$folder/beat.fifo"
  : >"$folder/beats"
  beat_reader <"$folder/beat.fifo" >"$folder/beats" &
  local reader=$! hb from start_beats
  daemon_pids+=("$reader")
  exec {hb}>"$folder/beat.fifo"
  start_heeding TRENCHWALK_HEARTBEAT_FD="$hb" PATH="$folder/bin:$PATH"
  exec {hb}>&-
  poll 150 beats_came 1 || fail "no heartbeat within 15 s"
  local flags
  flags=$(awk '/^flags:/ {print $2}' "/proc/$saver_pid/fdinfo/$hb")
  [ $((8#$flags & 8#2000000)) -ne 0 ] || fail "the heartbeat's descriptor is not close-on-exec (flags $flags)"
  [ $((8#$flags & 8#4000)) -ne 0 ] || fail "the heartbeat's descriptor is not non-blocking (flags $flags)"
  from=$(beats)
  start_beats=$EPOCHREALTIME
  poll 100 beats_steady "$from" || fail "no steady heartbeat: $(tail -n +$((from + 1)) "$folder/beats" | tr '\n' ' ')"
  # Three beats span about two seconds: far fewer than one a tick (ten a second).
  local spanned=${EPOCHREALTIME%.*}
  [ $(($(beats) - from)) -le $((spanned - ${start_beats%.*} + 2)) ] ||
    fail "more than one beat a second: $(tail -n +$((from + 1)) "$folder/beats" | tr '\n' ' ')"
  rm -f "$log"
  open_box
  from=$(beats)
  poll 100 beats_steady "$from" || fail "no heartbeat while the box is open"
  xdotool key Return
  poll 50 box_gone || fail "the error box is still open"
  kill "$reader"
  wait "$reader" 2>/dev/null
  stays_running "$saver_pid" 30 || fail "the heartbeat's reader going away ended the saver"
  wait_for_window
  focus_scene
  xdotool key q
  exits_zero "$saver_pid" 50 Q
  check_log "$log" 1
  poll 50 test -s "$folder/opener.out" || fail "Q started no opener"
  grep -q 'beat\.fifo' "$folder/opener.out" && fail "the opener inherited the heartbeat: $(cat "$folder/opener.out")"
  grep -q '^TRENCHWALK_HEARTBEAT_FD=' "$folder/opener.out" && fail "the opener inherited the variable"
  grep -q '^SigBlk:[[:space:]]*0*$' "$folder/opener.out" ||
    fail "the opener has signals blocked: $(grep SigBlk "$folder/opener.out")"
  echo "ok: a heartbeat about once a second, a box open too; not inherited; its reader's end ends nothing"
}

failed=()
for name in "${runs[@]}"; do
  (begin_run "$name" && "run_$name") || failed+=("$name")
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "FAIL: ${#failed[@]} of ${#runs[@]} runs failed: ${failed[*]}"
  exit 1
fi
echo "PASS"
