#!/usr/bin/env bash
# The real saver on a virtual X display, driven with xdotool: command keys,
# the end of a run by a key and by a click, a second copy turned away, a key
# released that was pressed before the saver started, the files that must
# never stop it (lock files of every kind, a FIFO in the log's place, a folder
# name that is not UTF-8, a log of 1 GB without a line break), two X screens
# (the second under a black cover that answers keys and clicks like the
# scene), two RandR monitors on one screen that come and go while it runs, and
# the idle daemons xautolock and xss-lock starting it.
#
# usage: end_to_end.sh path/to/trenchwalk
set -u
source "$(dirname "$0")/../xvfb.sh"

binary=${1:?usage: end_to_end.sh path/to/trenchwalk}
# The scene window's title.
title=Trenchwalk
for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed; the end-to-end run needs Xvfb and xdotool"
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-e2e.XXXXXX")
xvfb_pid=""
saver_pids=()
daemon_pids=()
cleanup() {
  for pid in "${saver_pids[@]}" "${daemon_pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
  stop_xvfb
  xdotool keyup Return >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  show_logs "$work/saver.out" "$work/xvfb.log" "$work/daemon.out"
  exit 1
}

cp "$binary" "$work/trenchwalk" || fail "cannot copy $binary"
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb
log="$work/walked.log"

# --- Run 0: nowhere to show it. One plain line on stderr says what is missing
# and how to get it, and the status is 1: no abort, no core dump.
no_display() {
  local what=$1
  shift
  env "$@" "$work/trenchwalk" >"$work/nodisplay.out" 2>"$work/nodisplay.err"
  local got=$?
  [ "$got" -eq 1 ] || fail "$what: exit status $got, not 1: $(cat "$work/nodisplay.err")"
  [ "$(wc -l <"$work/nodisplay.err")" -eq 1 ] || fail "$what: not one line: $(cat "$work/nodisplay.err")"
  grep -q '^trenchwalk: .*scripts/deps.sh run' "$work/nodisplay.err" ||
    fail "$what: the line does not say how to get it: $(cat "$work/nodisplay.err")"
}
no_display "no display" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE
grep -q 'neither WAYLAND_DISPLAY nor DISPLAY' "$work/nodisplay.err" || fail "no display: $(cat "$work/nodisplay.err")"
no_display "no X server" -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE DISPLAY=:97
grep -q 'no X server answers at DISPLAY=:97' "$work/nodisplay.err" || fail "no X server: $(cat "$work/nodisplay.err")"
no_display "no compositor" -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=wayland-97
grep -q "no Wayland compositor listens at $XDG_RUNTIME_DIR/wayland-97" "$work/nodisplay.err" ||
  fail "no compositor: $(cat "$work/nodisplay.err")"
no_display "no such platform plugin" QT_QPA_PLATFORM=no-such-platform
grep -q '"no-such-platform" platform plugin is not installed' "$work/nodisplay.err" ||
  fail "no plugin: $(cat "$work/nodisplay.err")"
[ -e "$log" ] && fail "a start without a display touched walked.log"
echo "ok: without a display or a plugin: one line, status 1"

# Keys held by the script never repeat: run 4 holds Return across a start,
# and a repeat reaching the saver's window would be a press it saw.
no_repeat=(-ardelay 60000)
start_xvfb "$work" 1024x768 "${no_repeat[@]}" || fail "no X server"

# The OpenGL drivers and what brings them in: the saver never draws with
# OpenGL, and Mesa's driver with LLVM would take some 50 MB. (libQt6Gui itself
# links the small dispatch libraries libEGL.so.1, libGLX.so.0 and
# libOpenGL.so.0 of libglvnd, which load no driver by themselves.)
gl_drivers='libEGL_mesa|libGLX_mesa|libgbm\.|libglapi|_dri\.so|libLLVM|libwayland-egl|libQt6OpenGL|EglClientHwIntegration|libdrm'
# The driver libraries mapped into process $1, one a line; none, nothing.
gl_loaded() { grep -oE "[^/ ]*(${gl_drivers})[^/ ]*" "/proc/$1/maps" 2>/dev/null | sort -u; }

saver_pid=""
start_saver() {
  "$work/trenchwalk" >>"$work/saver.out" 2>&1 &
  saver_pid=$!
  saver_pids+=("$saver_pid")
}

# Waits for a window with the title $1 (the saver's by default) and for the
# keyboard to reach it.
wait_for_window() {
  local title=${1:-$title} wid
  wid=$(find_window 10 "^${title}\$")
  [ -n "$wid" ] || fail "no window \"$title\" appeared"
  for _ in $(seq 50); do
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$wid" ] && return 0
    sleep 0.1
  done
  echo "note: the window \"$title\" did not report the keyboard focus"
}

running() {
  local pid=$1
  [ -r "/proc/$pid/stat" ] || return 1
  local state
  state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)
  [ -n "$state" ] && [ "$state" != "Z" ]
}

# Waits up to $2 seconds for process $1 to end; its exit status in $status.
status=""
wait_exit() {
  local pid=$1 limit=$2
  for _ in $(seq $((limit * 10))); do
    running "$pid" || break
    sleep 0.1
  done
  running "$pid" && fail "the saver (pid $pid) still runs ${limit}s later"
  wait "$pid"
  status=$?
}

records() {
  [ -f "$log" ] || { echo 0; return; }
  grep -c $'\r$' "$log" | awk '{print $1 - 1}'
}

check_log() {
  local expected=$1
  [ -f "$log" ] || fail "walked.log was not written"
  [ "$(head -n1 "$log")" = $'*** Visit Korvek at https://korvek.example ***\r' ] ||
    fail "banner line is wrong: $(head -n1 "$log" | od -c | head -n3)"
  [ "$(wc -l <"$log")" -eq $((expected + 1)) ] || fail "expected $expected records: $(cat -A "$log")"
  [ "$(tail -c2 "$log" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "log does not end in CR LF"
  local bad
  bad=$(tail -n +2 "$log" | grep -Evc $'^[0-9.]+ (cm|mts) [0-9]{2}-[0-9]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\r$')
  [ "$bad" -eq 0 ] || fail "malformed record line: $(cat -A "$log")"
}

# --- Run 1: command keys keep it running; Escape ends it with one record.
start_saver
wait_for_window
sleep 1
if command -v import >/dev/null 2>&1 && command -v convert >/dev/null 2>&1; then
  import -window root "$work/shot.png" 2>/dev/null
  brightest=$(convert "$work/shot.png" -format '%[max]' info: 2>/dev/null)
  [ -n "$brightest" ] && [ "${brightest%.*}" -gt 0 ] || fail "the screen is all black"
fi
# Lower case: a capital is typed with Shift, and Shift's own release ends the run.
for key in F1 h d KP_Add; do
  xdotool key "$key"
  sleep 0.4
  running "$saver_pid" || fail "key $key ended the run"
done
xdotool key Escape
wait_exit "$saver_pid" 5
[ "$status" -eq 0 ] || fail "exit status $status after Escape"
check_log 1
echo "ok: keys F1 h d KP_Add, then Escape: one record"

# --- Run 2: a click on empty ground ends the run. A click that happened to
# land on a label or the walker does nothing, so another spot is tried.
start_saver
wait_for_window
sleep 1.2
for spot in "1010 6" "1010 762" "512 762" "512 6"; do
  # shellcheck disable=SC2086
  xdotool mousemove $spot click 1
  for _ in $(seq 15); do running "$saver_pid" || break; sleep 0.1; done
  running "$saver_pid" || break
done
wait_exit "$saver_pid" 3
[ "$status" -eq 0 ] || fail "exit status $status after a click"
check_log 2
echo "ok: a click ends the run: one more record"

# --- Run 3: a second copy leaves at once, quietly, and touches no log.
start_saver
first=$saver_pid
wait_for_window
before=$(md5sum <"$log")
before_time=$(stat -c %Y.%y "$log")
start_saver
second=$saver_pid
wait_exit "$second" 3
[ "$status" -eq 0 ] || fail "the second copy exited with status $status"
[ "$(md5sum <"$log")" = "$before" ] && [ "$(stat -c %Y.%y "$log")" = "$before_time" ] ||
  fail "the second copy touched walked.log"
running "$first" || fail "the first copy ended when the second started"
xdotool key Escape
wait_exit "$first" 5
check_log 3
# The lock is the kernel's: its file may stay, and blocks no later start (run 4).
[ -f "$work/walked.log.lock" ] || fail "the lock file is not a plain file"
grep -q "without the single-instance lock" "$work/saver.out" && fail "no lock: $(cat "$work/saver.out")"
echo "ok: a second copy leaves at once; the first goes on"

# --- Run 4: the release of a key pressed before the saver started is no command.
xdotool keydown Return
start_saver
wait_for_window
sleep 0.3
xdotool keyup Return
sleep 1
running "$saver_pid" || fail "releasing a key pressed before the start ended the run"
[ "$(records)" -eq 3 ] || fail "a record was written: $(cat -A "$log")"
xdotool key Escape
wait_exit "$saver_pid" 5
check_log 4
echo "ok: an earlier key's release does not end the run"

# --- Run 5: a log that cannot be read: keypad + shows an error box over the
# saver; the Return that closes it is no command, and the walk goes on.
mv "$log" "$work/kept.log"
mkdir "$log"
start_saver
wait_for_window
xdotool key KP_Add
wait_for_window "Disk Access Error"
xdotool key Return
sleep 1
running "$saver_pid" || fail "closing the error box ended the run"
xdotool search --onlyvisible --name '^Disk Access Error$' >/dev/null && fail "the error box is still open"
wait_for_window
loaded=$(gl_loaded "$saver_pid")
[ -z "$loaded" ] || fail "OpenGL drivers are loaded after frames and a message box: $loaded"
xdotool key Escape
wait_exit "$saver_pid" 5
[ "$status" -eq 0 ] || fail "exit status $status after Escape with an unwritable log"
rmdir "$log" && mv "$work/kept.log" "$log"
check_log 4
echo "ok: an error box closes back to the walk; no OpenGL driver was loaded"

# Starts a copy, waits for its window, checks that a second copy leaves at once
# and quietly while it runs, then ends it with Escape: one more record.
run_with_second_copy() {
  local what=$1 first
  start_saver
  first=$saver_pid
  wait_for_window
  start_saver
  wait_exit "$saver_pid" 3
  [ "$status" -eq 0 ] || fail "$what: the second copy exited with status $status"
  running "$first" || fail "$what: the first copy ended"
  xdotool key Escape
  wait_exit "$first" 5
  [ "$status" -eq 0 ] || fail "$what: exit status $status after Escape"
}

# --- Run 6: a lock file that is empty, garbage, or names a copy on another
# host (a shared or restored home), or a folder in its place, never keeps the
# saver from starting; single instance still holds.
expected=$(records)
for kind in empty garbage other-host folder; do
  rm -rf "$work/walked.log.lock"
  case $kind in
    empty) : >"$work/walked.log.lock" ;;
    garbage) head -c 300 /dev/urandom >"$work/walked.log.lock" ;;
    other-host) printf '%s\ntrenchwalk\nsome-other-host\n' "$$" >"$work/walked.log.lock" ;;
    folder) mkdir "$work/walked.log.lock" ;;
  esac
  : >"$work/saver.out"
  run_with_second_copy "lock file $kind"
  expected=$((expected + 1))
  check_log "$expected"
  grep -q "without the single-instance lock" "$work/saver.out" && fail "lock file $kind: $(cat "$work/saver.out")"
done
[ -d "$work/walked.log.lock" ] || fail "the folder in the lock file's place was touched"
ls "$work/runtime"/trenchwalk-*.lock >/dev/null 2>&1 || fail "no per-user lock in XDG_RUNTIME_DIR"
rmdir "$work/walked.log.lock"
echo "ok: empty, garbage, other-host and folder lock files block nothing"

# --- Run 7: a FIFO in the log's place hangs nothing: not start-up, not the
# report (an error box), not the end of the run; it stays a FIFO.
mv "$log" "$work/kept.log"
mkfifo "$log"
start_saver
first=$saver_pid
wait_for_window
xdotool key KP_Add
wait_for_window "Disk Access Error"
xdotool key Return
sleep 0.5
wait_for_window
start_saver
second=$saver_pid
wait_exit "$second" 3
[ "$status" -eq 0 ] || fail "FIFO: a second copy exited with status $status"
xdotool key Escape
wait_exit "$first" 5
[ "$status" -eq 0 ] || fail "FIFO: exit status $status after Escape"
[ -p "$log" ] || fail "the FIFO was replaced"
ls "$work"/walked.log.bak* >/dev/null 2>&1 && fail "the FIFO was taken for a foreign log"
rm "$log" && mv "$work/kept.log" "$log"
echo "ok: a FIFO in the log's place blocks nothing and stays"

# --- Run 8: a folder name that is not UTF-8: the log and the lock go there,
# byte for byte, and nowhere else.
odd=$(printf '%s/j\xf6rg' "$work")
mkdir "$odd" && cp "$work/trenchwalk" "$odd/trenchwalk"
root_log_before=$(ls -la /walked.log 2>&1)
"$odd/trenchwalk" >>"$work/saver.out" 2>&1 &
saver_pid=$!
saver_pids+=("$saver_pid")
wait_for_window
"$odd/trenchwalk" >>"$work/saver.out" 2>&1 &
second=$!
saver_pids+=("$second")
wait_exit "$second" 3
[ "$status" -eq 0 ] || fail "j\\xf6rg: a second copy exited with status $status"
xdotool key Escape
wait_exit "$saver_pid" 5
[ "$status" -eq 0 ] || fail "j\\xf6rg: exit status $status"
[ -f "$odd/walked.log" ] || fail "no walked.log in the folder j\\xf6rg: $(ls -la "$work")"
grep -q -E $'^[0-9.]+ (cm|mts) [0-9-]{10} [0-9:]{8}\r$' "$odd/walked.log" || fail "no record: $(cat -A "$odd/walked.log")"
[ -f "$odd/walked.log.lock" ] || fail "no lock file in the folder j\\xf6rg"
[ "$(ls -la /walked.log 2>&1)" = "$root_log_before" ] || fail "a log was written to /walked.log"
[ "$(find "$work" -maxdepth 1 -name 'j*rg' | wc -l)" -eq 1 ] || fail "another folder appeared: $(ls "$work")"
echo "ok: a folder name that is not UTF-8 holds the log and the lock"

# --- Run 9: a foreign log of 1 GB without a line break: the window comes at
# once and little memory is used; the log is kept as a backup, whole, beside
# an older backup; a walked.log.new planted as a symlink is never followed.
huge_bytes=$((1 << 30))
max_rss_kb=$((200 * 1024))
printf 'older backup\r\n' >"$log.bak"
printf 'not to be touched\n' >"$work/victim"
ln -s "$work/victim" "$log.new"
mv "$log" "$work/kept.log"
truncate -s "$huge_bytes" "$log" || fail "cannot make a 1 GB file"
start_saver
wait_for_window
rss=$(awk '/^VmHWM:/ {print $2}' "/proc/$saver_pid/status")
[ "${rss:-0}" -lt "$max_rss_kb" ] || fail "the saver used ${rss} kB for a 1 GB log"
xdotool key Escape
wait_exit "$saver_pid" 5
[ "$status" -eq 0 ] || fail "1 GB log: exit status $status"
[ "$(stat -c %s "$log.bak.1")" -eq "$huge_bytes" ] || fail "the 1 GB log was not kept whole: $(ls -la "$work")"
[ "$(cat "$log.bak")" = $'older backup\r' ] || fail "the older backup was replaced"
[ "$(cat "$work/victim")" = "not to be touched" ] || fail "the planted symlink was followed"
[ -L "$log.new" ] || fail "the planted symlink was removed"
[ "$(head -n1 "$log")" = $'*** Visit Korvek at https://korvek.example ***\r' ] || fail "no fresh log"
rm -f "$log.bak.1" "$log.bak" "$log.new"
echo "ok: a 1 GB first line is judged at once and kept; backups accumulate"

# --- Run 10: without /proc the executable's folder cannot be found: the saver
# runs and ends as usual and keeps its log in the user's state folder (never
# in / nor in the working folder); without a HOME as well it keeps none and
# says so in one line.
# The sanitizers' runtime reads its options from /proc and its leak check
# needs /proc to find the threads: the sanitizer suite leaves this run to the
# plain one.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  echo "note: a sanitized saver cannot run without /proc; that run is left to the plain suite"
elif unshare --mount --fork true 2>/dev/null; then
  mkdir "$work/noproc" "$work/noproc-cwd" "$work/noproc-home" && cp "$work/trenchwalk" "$work/noproc/trenchwalk"
  root_log_before=$(ls -la /walked.log 2>&1)
  # $1: the environment's HOME, or "" for none.
  run_without_proc() {
    local home=(-u HOME)
    [ -n "$1" ] && home=(HOME="$1")
    : >"$work/noproc.out"
    (cd "$work/noproc-cwd" && exec env -u XDG_STATE_HOME "${home[@]}" \
      unshare --mount --fork sh -c 'mount -t tmpfs none /proc && exec "$0"' \
      "$work/noproc/trenchwalk") >"$work/noproc.out" 2>&1 &
    saver_pid=$!
    saver_pids+=("$saver_pid")
    wait_for_window
    xdotool key Escape
    wait_exit "$saver_pid" 5
    [ "$status" -eq 0 ] || fail "without /proc: exit status $status: $(cat "$work/noproc.out")"
    [ "$(ls -la /walked.log 2>&1)" = "$root_log_before" ] || fail "without /proc: a log was written to /"
    [ "$(ls -A "$work/noproc-cwd")" = "" ] || fail "without /proc: written to the working folder: $(ls -A "$work/noproc-cwd")"
    [ "$(ls -A "$work/noproc")" = "trenchwalk" ] || fail "without /proc: $(ls -A "$work/noproc")"
  }
  run_without_proc "$work/noproc-home"
  [ -s "$work/noproc.out" ] && fail "without /proc: not quiet: $(cat "$work/noproc.out")"
  state_log="$work/noproc-home/.local/state/trenchwalk/walked.log"
  [ "$(grep -c $'\r$' "$state_log" 2>/dev/null)" = 2 ] ||
    fail "without /proc: no record in the state folder: $(ls -laR "$work/noproc-home")"
  run_without_proc ""
  [ "$(grep -c "folder cannot be found" "$work/noproc.out")" -eq 1 ] && [ "$(wc -l <"$work/noproc.out")" -eq 1 ] ||
    fail "without /proc nor HOME: not said in one line: $(cat "$work/noproc.out")"
  echo "ok: without /proc the log is kept in the state folder; without HOME too, none, in one line"
else
  echo "note: no mount namespace here; the run without /proc is left out"
fi

# --- Run 11: two X screens. The scene goes on screen 0; screen 1 gets a black
# window of its full size, made there rather than on screen 0. Moving the
# mouse over it does nothing; F1 there is a command and Escape there ends the
# run; a click there ends it too.
before_screens=$(records)
stop_xvfb
start_xvfb "$work" 1024x768 "${no_repeat[@]}" -screen 1 800x600x24 || fail "no X server with two screens"
screen1="$DISPLAY.1"

# The saver's visible window on screen 1, in $cover.
find_cover() {
  cover=""
  for _ in $(seq 50); do
    cover=$(xdotool search --screen 1 --onlyvisible --pid "$saver_pid" 2>/dev/null | head -n1)
    [ -n "$cover" ] && return 0
    sleep 0.1
  done
  fail "no window of the saver on X screen 1"
}

start_saver
wait_for_window
find_cover
geometry=$(DISPLAY=$screen1 xwininfo -id "$cover" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
  /Width:/ {w=$NF} /Height:/ {h=$NF} /Map State/ {m=$NF} END {print w "x" h "+" x "+" y " " m}')
[ "$geometry" = "800x600+0+0 IsViewable" ] || fail "the cover on screen 1 is $geometry, not 800x600+0+0"
# Out of the window manager's hands: no manager may tile it or move it to
# another monitor.
DISPLAY=$screen1 xwininfo -id "$cover" | grep -q 'Override Redirect State: yes' ||
  fail "the cover is left to the window manager"
[ -n "$(xdotool search --screen 0 --onlyvisible --name "^${title}\$" 2>/dev/null)" ] ||
  fail "the scene is not on screen 0"
if command -v import >/dev/null 2>&1 && command -v convert >/dev/null 2>&1; then
  sleep 0.5
  DISPLAY=$screen1 import -window root "$work/shot1.png" 2>/dev/null
  brightest=$(convert "$work/shot1.png" -format '%[max]' info: 2>/dev/null)
  [ "$brightest" = 0 ] || fail "screen 1 is not all black (brightest $brightest)"
fi
for spot in "10 10" "400 300" "790 590"; do
  # shellcheck disable=SC2086
  xdotool mousemove --screen 1 $spot
  sleep 0.2
done
sleep 0.5
running "$saver_pid" || fail "moving the mouse over screen 1 ended the run"
xdotool windowfocus --sync "$cover" 2>/dev/null
[ "$(xdotool getwindowfocus 2>/dev/null)" = "$cover" ] || echo "note: the cover did not take the keyboard focus"
xdotool key F1
sleep 0.4
running "$saver_pid" || fail "F1 on the cover ended the run"
xdotool key Escape
wait_exit "$saver_pid" 5
[ "$status" -eq 0 ] || fail "exit status $status after Escape on the cover"
check_log $((before_screens + 1))
echo "ok: two X screens: a black cover on screen 1; F1 there is a command, Escape there ends the run"

start_saver
wait_for_window
find_cover
xdotool mousemove --screen 1 400 300 click 1
wait_exit "$saver_pid" 5
[ "$status" -eq 0 ] || fail "exit status $status after a click on screen 1"
check_log $((before_screens + 2))
echo "ok: a click on screen 1 ends the run: one more record"

# The saver's windows as "WxH+X+Y", one a line, sorted.
saver_windows() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$saver_pid" 2>/dev/null); do
    xdotool getwindowgeometry "$w" 2>/dev/null |
      awk '/Position/ {split($2, p, ","); pos = p[1] "+" p[2]} /Geometry/ {g = $2} END {print g "+" pos}'
  done | sort
}

# Waits up to 5 s for saver_windows to be $1 (lines joined with spaces).
wait_windows() {
  local want=$1 got=""
  for _ in $(seq 50); do
    got=$(saver_windows | tr '\n' ' ' | sed 's/ $//')
    [ "$got" = "$want" ] && return 0
    sleep 0.1
  done
  fail "the saver's windows are \"$got\", not \"$want\""
}

# --- Run 12: one X screen with two RandR monitors (as XWayland and X11
# desktops with two outputs have): the scene on the first, a black cover on
# the second. The second monitor goes away while it runs: its cover goes with
# it; it comes back: so does the cover. A click there ends the run.
if command -v xrandr >/dev/null 2>&1; then
  stop_xvfb
  start_xvfb "$work" 1824x768 "${no_repeat[@]}" || fail "no X server for two monitors"
  xrandr --setmonitor left 1024/270x768/203+0+0 screen >/dev/null &&
    xrandr --setmonitor right 800/211x600/159+1024+0 none >/dev/null || fail "xrandr cannot make two monitors"
  expected=$(($(records) + 1))
  start_saver
  wait_for_window
  wait_windows "1024x768+0+0 800x600+1024+0"
  xrandr --delmonitor right >/dev/null
  wait_windows "1024x768+0+0"
  running "$saver_pid" || fail "a monitor going away ended the run"
  xrandr --setmonitor right 800/211x600/159+1024+0 none >/dev/null
  wait_windows "1024x768+0+0 800x600+1024+0"
  xdotool mousemove 1400 500 click 1
  wait_exit "$saver_pid" 5
  [ "$status" -eq 0 ] || fail "exit status $status after a click on the second monitor"
  check_log "$expected"
  echo "ok: two RandR monitors: a cover on the second, gone and back with it; a click there ends the run"
else
  echo "note: xrandr is not installed; the two-monitor run is left out"
fi

# Waits up to 10 s for a saver started by someone else; its pid in $saver_pid.
wait_for_started() {
  local wid
  wid=$(find_window 10 "^${title}\$")
  [ -n "$wid" ] || fail "no window \"$title\" appeared; running: $(pgrep -a -f "$work/trenchwalk" | tr '\n' ';')"
  saver_pid=$(xdotool getwindowpid "$wid")
  [ -n "$saver_pid" ] || fail "the saver's window names no process"
}

# Waits up to $1 s for $saver_pid, not a child of this script, to end.
wait_gone() {
  for _ in $(seq $(($1 * 10))); do
    running "$saver_pid" || return 0
    sleep 0.1
  done
  fail "the saver (pid $saver_pid) still runs $1 s later"
}

# --- Run 13: the idle daemons of the README. xautolock starts it (-locknow
# stands for the idle minutes), and does not start a second copy while it runs;
# xss-lock starts it when the X screen saver's timeout passes. Escape ends each
# with its record.
if command -v xautolock >/dev/null 2>&1; then
  expected=$(($(records) + 1))
  xautolock -time 5 -locker "$work/trenchwalk" >>"$work/daemon.out" 2>&1 &
  daemon_pids+=($!)
  # -locknow finds the daemon through a property it sets once it is up, and
  # one sent while the daemon is still starting can go unheeded: sent again
  # until the saver is there (a copy too many would leave at once).
  for _ in $(seq 25); do
    xautolock -locknow >>"$work/daemon.out" 2>&1 &&
      find_window 2 "^${title}\$" >/dev/null && break
    sleep 0.2
  done
  wait_for_started
  # Fired again while the saver runs: nothing changes, whether the daemon
  # waits for it or a second copy starts and leaves at once.
  xautolock -locknow
  sleep 1
  running "$saver_pid" || fail "firing xautolock again ended the run"
  xdotool key Escape
  wait_gone 5
  check_log "$expected"
  kill "${daemon_pids[-1]}" 2>/dev/null
  echo "ok: xautolock starts it; Escape ends it with its record"
else
  echo "note: xautolock is not installed; its run is left out"
fi
if command -v xss-lock >/dev/null 2>&1 && command -v xset >/dev/null 2>&1; then
  expected=$(($(records) + 1))
  xset s 2
  # Without systemd-logind (as in a container) xss-lock aborts right after
  # starting the saver, which runs on by itself; on a desktop it stays.
  xss-lock -- "$work/trenchwalk" >>"$work/daemon.out" 2>&1 &
  daemon_pids+=($!)
  disown "$!"
  wait_for_started
  # No second start after this one's end, once the keys have made the
  # desktop busy and idle again.
  xset s off
  xdotool key Escape
  wait_gone 5
  check_log "$expected"
  echo "ok: xss-lock starts it after the X screen saver's timeout; Escape ends it with its record"
else
  echo "note: xss-lock or xset is not installed; its run is left out"
fi
echo "PASS"
