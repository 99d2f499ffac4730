#!/usr/bin/env bash
# The real saver on a virtual X display, driven with xdotool: command keys,
# the end of a run by a key and by a click, a second copy turned away, and a
# key released that was pressed before the saver started.
#
# usage: end_to_end.sh path/to/trenchwalk
set -u
source "$(dirname "$0")/../xvfb.sh"

binary=${1:?usage: end_to_end.sh path/to/trenchwalk}
for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed; the end-to-end run needs Xvfb and xdotool"
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-e2e.XXXXXX")
xvfb_pid=""
saver_pids=()
cleanup() {
  for pid in "${saver_pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
  stop_xvfb
  xdotool keyup Return >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

cp "$binary" "$work/trenchwalk" || fail "cannot copy $binary"
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb
log="$work/walked.log"

start_xvfb "$work" 1024x768 || fail "no X server"

saver_pid=""
start_saver() {
  "$work/trenchwalk" >>"$work/saver.out" 2>&1 &
  saver_pid=$!
  saver_pids+=("$saver_pid")
}

# Waits for a window with the title $1 (the saver's by default) and for the
# keyboard to reach it.
wait_for_window() {
  local title=${1:-Trenchwalk} wid
  wid=$(timeout 10 xdotool search --sync --onlyvisible --name "^${title}\$" | head -n1)
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
[ -e "$work/walked.log.lock" ] && fail "the lock file was left behind"
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
xdotool key Escape
wait_exit "$saver_pid" 5
[ "$status" -eq 0 ] || fail "exit status $status after Escape with an unwritable log"
rmdir "$log" && mv "$work/kept.log" "$log"
check_log 4
echo "ok: an error box closes back to the walk"
echo "PASS"
