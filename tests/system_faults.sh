#!/usr/bin/env bash
# The real saver when the system fails it during a run: a full disk in the
# middle of a record and at a page boundary (a small tmpfs), a file-size limit
# (prlimit --fsize), the same full disk when a signal ends the run, a failing
# flush to the disk (strace's fault injection),
# no file descriptors to spare for a box (prlimit --nofile), its executable
# and its folder moved away during the run, a stderr that is a closed pipe,
# and too little address space to start (prlimit --as). Every earlier record
# stays byte for byte, no half line is ever left, a lost record is told in one
# line with exit status 1, and nothing locks the user out.
#
# usage: system_faults.sh path/to/trenchwalk
set -u
# shellcheck source=tests/lib/xvfb.sh
source "$(dirname "$0")/lib/xvfb.sh"

binary=${1:?usage: system_faults.sh path/to/trenchwalk}
# The scene window's title.
title=Trenchwalk
require_tools Xvfb xdotool prlimit

pid=""
mounted=""
x11_run_cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
}
fail_report() { show_logs "$work/err" "$work/xvfb.log"; }
fail_label="start"
# Descriptors the test runner left open (ctest's own log) would count against
# the descriptor limit of the saver's runs below.
for fd in 3 4 5 6 7 8 9; do
  { true >&"$fd"; } 2>/dev/null && eval "exec $fd>&-"
done

x11_run faults 800x600

lost_line='^trenchwalk: the record of this run could not be kept in walked.log: '
sanitized=""
[ -n "${ASAN_OPTIONS:-}" ] && sanitized=1

# A log of exactly $2 bytes at $1: the banner, then records of earlier runs,
# the last one padded with leading zeros to the length.
make_log() {
  local path=$1 size=$2 body
  printf '%s\n' "$banner" >"$path"
  while [ $(($(stat -c %s "$path") + 60)) -lt "$size" ]; do
    printf '1 cm 12-08-2026 10:00:00\r\n' >>"$path"
  done
  body=$((size - $(stat -c %s "$path")))
  printf '%0*d cm 12-08-2026 10:00:00\r\n' $((body - 25)) 1 >>"$path"
  [ "$(stat -c %s "$path")" -eq "$size" ] || fail "could not make a log of $size bytes"
}

# Starts "$@" in the background with stderr in $work/err; waits for its window.
start() {
  "$@" >"$work/out" 2>"$work/err" &
  pid=$!
  wid=$(find_window 150 "^${title}\$")
  [ -n "$wid" ] || fail "no saver window: $(cat "$work/err")"
}

# SIGTERM, as a log-out or a stopped unit sends it: it must end within 5 s;
# its exit status in $status.
terminate() {
  kill -TERM "$pid"
  wait_exit "$pid" 50
  pid=""
}

# Escape on the saver's window: it must end within $1 tenths of a second (5 s
# unless given); its exit status in $status. escape_ok: and that is 0.
escape() {
  xdotool windowfocus --sync "$wid" 2>/dev/null
  xdotool key Escape
  wait_exit "$pid" "${1:-50}"
  pid=""
}
escape_ok() { escape; [ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/err")"; }

# The run lost its record: status 1, one line on stderr naming $1, and the
# log at $2 as it was ($3: its checksum before).
record_lost() {
  [ "$status" -eq 1 ] || fail "exit status $status, not 1: $(cat "$work/err")"
  grep -E "$lost_line" "$work/err" | grep -q "$1" || fail "no line saying why: $(cat "$work/err")"
  [ "$(grep -c "$lost_line" "$work/err")" -eq 1 ] || fail "not one line: $(cat "$work/err")"
  [ "$(md5sum <"$2")" = "$3" ] || fail "the log changed: $(tail -c 80 "$2" | od -c | tail -n 4)"
}

# --- No descriptors to spare: the box for a log that cannot be opened is not
# shown (Qt would wait for ever on the X server), the saver says so and goes
# on, and Escape ends it. First, on a display where no session bus has been
# started yet: a connection to one takes a descriptor that Qt then lacks for
# its own threads at this limit.
fail_label="nofile 8"
if [ -n "$sanitized" ]; then
  # UndefinedBehaviorSanitizer checks each virtual call through a pipe of
  # its own; without descriptors it takes every one for an invalid object.
  echo "note: the sanitizers need descriptors of their own; the --nofile=8 case is left to the plain suite"
else
  mkdir "$work/nofile" && cp "$binary" "$work/nofile/trenchwalk"
  start env -u DBUS_SESSION_BUS_ADDRESS prlimit --nofile=8 "$work/nofile/trenchwalk"
  xdotool windowfocus --sync "$wid" 2>/dev/null
  xdotool key KP_Add
  stays_running "$pid" 5 || fail "keypad + ended the run: $(cat "$work/err")"
  began=$(date +%s%N)
  escape 100
  took=$((($(date +%s%N) - began) / 1000000))
  grep -q '^trenchwalk: the box "Disk Access Error: Log could not be restored" cannot be shown' "$work/err" ||
    fail "the box was not said to be left out: $(cat "$work/err")"
  echo "ok: --nofile=8, keypad + then Escape: ended after $took ms with status $status"
fi

# --- A full disk, on a tmpfs just large enough for the saver and its log.
disk_mib=$(($(stat -c %s "$binary") / 1048576 + 2))
if [ "$(id -u)" -eq 0 ] && mkdir "$work/disk" && mount -t tmpfs -o "size=${disk_mib}m" tmpfs "$work/disk"; then
  mounted="$work/disk"
  cp "$binary" "$work/disk/trenchwalk"
  # $1: the log's length; $2: how the run ends (escape unless given). The
  # disk is filled up to the last page, so the log's own last page is all
  # the room left.
  full_disk_run() {
    rm -f "$work/disk/filler" "$work/disk/walked.log"
    make_log "$work/disk/walked.log" "$1"
    : >"$work/disk/walked.log.lock"
    dd if=/dev/zero of="$work/disk/filler" bs=4096 2>/dev/null
    before=$(md5sum <"$work/disk/walked.log")
    start "$work/disk/trenchwalk"
    "${2:-escape}"
    record_lost "No space left on device" "$work/disk/walked.log" "$before"
  }
  fail_label="disk full mid-record"
  full_disk_run 4086
  fail_label="disk full mid-record, ended by SIGTERM"
  full_disk_run 4086 terminate
  fail_label="disk full at a page boundary"
  full_disk_run 8192
  # With room again, the next record starts on a line of its own.
  fail_label="room again after a full disk"
  rm -f "$work/disk/filler"
  start "$work/disk/trenchwalk"
  escape_ok
  [ "$(head -c 8192 "$work/disk/walked.log" | md5sum)" = "$before" ] || fail "earlier records changed"
  tail -n +2 "$work/disk/walked.log" | grep -Evq "$record_pattern" && fail "a malformed line: $(tail -c 100 "$work/disk/walked.log" | od -c)"
  umount "$work/disk" && mounted=""
  echo "ok: a full disk mid-record (by Escape and by SIGTERM) and at a page boundary: log as it was, one line, status 1"
else
  echo "note: a tmpfs needs root; the full-disk cases are left out"
fi

mkdir "$work/bin" && cp "$binary" "$work/bin/trenchwalk"
log="$work/bin/walked.log"

# --- A file-size limit: the write fails instead of killing the saver.
fail_label="file-size limit"
make_log "$log" 8182
before=$(md5sum <"$log")
start prlimit --fsize=8192 "$work/bin/trenchwalk"
escape
record_lost "File too large" "$log" "$before"
echo "ok: --fsize=8192 over a log of 8182 bytes: log as it was, one line, status 1"

# --- No room at all for files: start-up's fresh log cannot be written, and
# its temporary goes again; the run goes on and ends on a key.
fail_label="file-size limit 0"
rm -f "$log"
start prlimit --fsize=0 "$work/bin/trenchwalk"
ls "$work/bin"/walked.log.new.* >/dev/null 2>&1 && fail "a temporary stays: $(ls "$work/bin")"
escape
[ "$status" -eq 1 ] || fail "exit status $status: $(cat "$work/err")"
[ -e "$log" ] && fail "a log was left: $(od -c "$log" | head -n 3)"
ls "$work/bin"/walked.log.new.* >/dev/null 2>&1 && fail "a temporary stays: $(ls "$work/bin")"
# One left by a start-up that was killed goes at the next start; a foreign
# file of a like name stays.
fail_label="a left temporary"
printf '*** Visit Korv' >"$work/bin/walked.log.new.0a1b2c3d"
printf 'my notes\n' >"$work/bin/walked.log.new.notes"
start "$work/bin/trenchwalk"
escape_ok
[ -e "$work/bin/walked.log.new.0a1b2c3d" ] && fail "the left temporary stays"
[ "$(cat "$work/bin/walked.log.new.notes")" = "my notes" ] || fail "a foreign file was touched"
rm -f "$work/bin/walked.log.new.notes"
echo "ok: --fsize=0: no temporary left, status 1; a left temporary goes at the next start, a foreign file stays"

# --- A failing flush to the disk: the record is cut away again.
fail_label="failed fsync"
if have_tools strace; then
  before=$(md5sum <"$log")
  # The leak check stops the process's threads with ptrace, which strace
  # already holds: under the sanitizers this run goes without it.
  start env ${sanitized:+ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"} \
    strace -o /dev/null -e trace=fsync -e inject=fsync:error=EIO "$work/bin/trenchwalk"
  escape 100
  record_lost "Input/output error" "$log" "$before"
  echo "ok: a failed fsync: log as it was, one line, status 1"
fi

# --- The executable moved to another folder during the run, where a foreign
# walked.log lies; then its folder renamed and another made in its place.
fail_label="moved during the run"
mkdir "$work/elsewhere"
printf 'my own walked.log\n' >"$work/elsewhere/walked.log"
start "$work/bin/trenchwalk"
had=$(records "$log")
mv "$work/bin/trenchwalk" "$work/elsewhere/trenchwalk"
escape_ok
[ "$(cat "$work/elsewhere/walked.log")" = "my own walked.log" ] || fail "the foreign log was written"
[ -e "$work/elsewhere/walked.log.bak" ] && fail "the foreign log was taken for a backup"
[ "$(records "$log")" -eq $((had + 1)) ] || fail "the record is not in the prepared log"
mv "$work/elsewhere/trenchwalk" "$work/bin/trenchwalk"
start "$work/bin/trenchwalk"
mv "$work/bin" "$work/renamed"
mkdir "$work/bin"
printf 'my own walked.log\n' >"$work/bin/walked.log"
escape_ok
[ "$(cat "$work/bin/walked.log")" = "my own walked.log" ] || fail "the log in the folder's old place was written"
[ "$(records "$work/renamed/walked.log")" -eq $((had + 2)) ] || fail "the record did not follow its folder"
rm -rf "${work:?}/bin" && mv "$work/renamed" "$work/bin"
echo "ok: moved during the run: the record goes into the prepared log, a foreign walked.log is untouched"

# --- stderr a closed pipe, and XDG_RUNTIME_DIR unset so that Qt warns on it.
fail_label="closed stderr"
(
  env -u XDG_RUNTIME_DIR "$work/bin/trenchwalk" 2>&1 | true
  echo "${PIPESTATUS[0]}" >"$work/piped"
) &
pid=$!
wid=$(find_window 150 "^${title}\$")
[ -n "$wid" ] || fail "no saver window with stderr a closed pipe: $(cat "$work/piped" 2>/dev/null)"
escape
poll 50 test -s "$work/piped"
[ "$(cat "$work/piped" 2>/dev/null)" = 0 ] || fail "exit status $(cat "$work/piped" 2>/dev/null), not 0"
echo "ok: stderr a closed pipe without XDG_RUNTIME_DIR: runs, ends with status 0"

# --- Too little address space to start: one line and status 1, no crash.
fail_label="address space"
if [ -n "$sanitized" ]; then
  echo "note: the sanitizers reserve terabytes of address space; the --as case is left to the plain suite"
else
  prlimit --as=104857600 "$work/bin/trenchwalk" >"$work/out" 2>"$work/err"
  status=$?
  [ "$status" -eq 1 ] || fail "exit status $status, not 1: $(cat "$work/err")"
  one_line "$work/err" '^trenchwalk: not enough memory to start: ' "--as"
  echo "ok: --as=100 MB: one line, status 1"
fi
echo "PASS: no half record, no kill by a signal, no lock-out"
