# shellcheck shell=bash
# Sourced by every script that runs the real program: the log's format, the
# waits, the tool checks, the one fail. Every wait here counts in tenths of a
# second.

# fail MESSAGE...: says what went wrong and exits with status 1: "FAIL:", or
# "FAIL (LABEL):" when the script set fail_label (the run, the case, the
# desktop), the message, then what the script's fail_report prints, when it
# defines one (the logs of the run). check_log and wait_exit call it too.
fail_label=""
fail() {
  echo "FAIL${fail_label:+ ($fail_label)}: $*"
  if declare -F fail_report >/dev/null; then fail_report; fi
  exit 1
}

# on_exit CLEANUP: runs CLEANUP however the script ends; an interrupt or a
# SIGTERM ends it as those signals would (status 130, 143), CLEANUP too.
on_exit() {
  # shellcheck disable=SC2064  # CLEANUP is a command, set now on purpose
  trap "$1" EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

# one_line FILE PATTERN WHAT: FILE holds one line, and it matches PATTERN.
one_line() {
  { [ "$(wc -l <"$1")" -eq 1 ] && grep -q -- "$2" "$1"; } || fail "$3: not one line saying $2: $(cat "$1")"
}

# For the checks of these helpers (tests/lib/*_test.sh): wrong MESSAGE says
# a wrong answer and counts it; passed SUMMARY ends the checks: status 1 after
# any wrong answer, else PASS and SUMMARY.
failures=0
wrong() { echo "wrong: $*"; failures=$((failures + 1)); }
passed() { [ "$failures" -eq 0 ] || exit 1; echo "PASS: $*"; }

# The first line of every walked.log, as head -n1 reads it (ending in CR).
banner=$'*** Visit Korvek at https://korvek.example ***\r'
# A record line of walked.log, as grep -E matches it.
record_pattern=$'^[0-9.]+ (cm|mts) [0-9]{2}-[0-9]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\r$'

# require_tools TOOL...: prints SKIP and exits 77, the code the test runner
# counts as skipped, when a tool is missing.
require_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIP: $tool is not installed; $(basename "$0") needs $*"
      exit 77
    fi
  done
}

# have_tools TOOL...: true when every tool is installed; otherwise says which
# is missing and that what needs it (fail_label, if set) is left out.
have_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 ||
      { echo "note: $tool is not installed; ${fail_label:-what needs it} is left out"; return 1; }
  done
}

# poll TENTHS COMMAND...: true as soon as COMMAND succeeds, false when it
# still fails TENTHS tenths of a second later (by the clock: a check may take
# a while itself). To hold that something does not happen within a time,
# poll for it and fail when it comes: poll 10 ended "$pid" && fail ...
microseconds() { echo "${EPOCHREALTIME//[!0-9]/}"; }
poll() {
  local deadline=$(($(microseconds) + $1 * 100000))
  shift
  until "$@"; do
    [ "$(microseconds)" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# since MICROSECONDS: the seconds from then to now, with two decimals.
since() { awk -v from="$1" -v now="$(microseconds)" 'BEGIN { printf "%.2f", (now - from) / 1e6 }'; }

# running PID: true while the process runs (a zombie no longer does).
running() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)
  [ -n "$state" ] && [ "$state" != "Z" ]
}
ended() { ! running "$1"; }

# says PID FILE PATTERN: waits up to 10 s for the process PID to write a line
# matching PATTERN (grep -E's) into FILE; false when none comes, or PID ends
# without one.
says() {
  # shellcheck disable=SC2317  # called by poll
  says_or_ends() { grep -Eqs -- "$3" "$2" || ended "$1"; }
  poll 100 says_or_ends "$@"
  grep -Eqs -- "$3" "$2"
}

# stop_pid VARIABLE: stops the process whose pid VARIABLE holds, if any, and
# waits for it (a child of this shell); empties VARIABLE. Safe to call again.
stop_pid() {
  local -n stop_pid_of=$1
  if [ -n "${stop_pid_of:-}" ]; then
    kill "$stop_pid_of" 2>/dev/null
    wait "$stop_pid_of" 2>/dev/null
  fi
  stop_pid_of=""
}

# stays_running PID TENTHS: true when the process still runs TENTHS tenths
# of a second later; false as soon as it ends. For the things that must not
# end a run (a command key, a mouse move): the time is what is checked.
stays_running() { ! poll "$2" ended "$1"; }

# Where the threads of a process that does not end are waiting: their states
# and wait channels, and their stacks when gdb is there to read them.
describe_threads() {
  local t
  echo "its threads (name, state, wait channel):"
  for t in /proc/"$1"/task/*; do
    echo "  $(cat "$t/comm") $(awk '{print $3}' "$t/stat") $(cat "$t/wchan")"
  done 2>/dev/null
  if command -v gdb >/dev/null 2>&1; then
    timeout 30 gdb -p "$1" -batch -ex "thread apply all bt" 2>/dev/null | grep -E '^(#|Thread)'
  fi
}

# wait_exit PID TENTHS [WHAT]: waits for PID, a child of this shell, to end;
# its exit status in status. Fails when it still runs TENTHS tenths later,
# naming it WHAT ("the saver" unless given).
# shellcheck disable=SC2034  # status is read by the scripts that source this
status=""
wait_exit() {
  poll "$2" ended "$1" ||
    fail "${3:-the saver} (pid $1) still runs $(($2 / 10)) s later; $(describe_threads "$1")"
  wait "$1"
  # shellcheck disable=SC2034
  status=$?
}

# exits_zero PID TENTHS AFTER [WHAT]: PID, a child of this shell, ends within
# TENTHS tenths of a second (as wait_exit) with status 0; AFTER says what
# ended it, WHAT what it is ("the saver" unless given), for the messages.
exits_zero() {
  wait_exit "$1" "$2" "${4:-the saver}"
  [ "$status" -eq 0 ] || fail "${4:-the saver}: exit status $status after $3"
}

# signal_ends SIGNAL PID WHAT: SIGNAL ends PID, a child of this shell, within
# 10 s and with status 0.
signal_ends() {
  kill -"$1" "$2"
  exits_zero "$2" 100 "SIG$1" "$3"
}

# started_at PID: when the process started, and uptime_now: now, in seconds
# since boot on one clock (the kernel's own record, to its 10 ms ticks).
clock_ticks=$(getconf CLK_TCK)
started_at() { awk -v hz="$clock_ticks" '{ printf "%.2f", $22 / hz }' "/proc/$1/stat"; }
uptime_now() { cut -d' ' -f1 /proc/uptime; }
# check_started_after_delay UPTIME PID WHAT: the process PID started at least
# delay seconds (less idle_timer_slack, the desktop's timer slack, if set)
# after UPTIME; the seconds between in start_offset.
start_offset=""
check_started_after_delay() {
  start_offset=$(awk -v from="$1" -v to="$(started_at "$2")" 'BEGIN { printf "%.2f", to - from }')
  awk -v s="$start_offset" -v d="${delay:?}" -v slack="${idle_timer_slack:-0}" \
    'BEGIN { exit !(s >= d - slack) }' ||
    fail "$3: the saver started $start_offset s after, within the $delay s delay"
}

# processes_of PROGRAM: the pids of every process running that executable,
# one a line, wherever it was started from. One find, not a readlink per
# process: on a loaded machine that loop took over a second.
processes_of() {
  find /proc -mindepth 2 -maxdepth 2 -name exe -lname "$1" 2>/dev/null | awk -F/ '{print $3}'
}

# records LOG: the number of records in the log; 0 when there is none.
records() {
  [ -f "$1" ] || { echo 0; return; }
  grep -c $'\r$' "$1" | awk '{print $1 - 1}'
}

# check_log LOG COUNT: the log holds the banner and COUNT well-formed
# records, and ends in CR LF.
check_log() {
  local log=$1 expected=$2 bad
  [ -f "$log" ] || fail "$log was not written"
  [ "$(head -n1 "$log")" = "$banner" ] ||
    fail "banner line is wrong: $(head -n1 "$log" | od -c | head -n3)"
  [ "$(wc -l <"$log")" -eq $((expected + 1)) ] || fail "expected $expected records: $(cat -A "$log")"
  [ "$(tail -c2 "$log" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "log does not end in CR LF"
  bad=$(tail -n +2 "$log" | grep -Evc "$record_pattern")
  [ "$bad" -eq 0 ] || fail "malformed record line: $(cat -A "$log")"
}

# show_logs FILE...: prints the end of each file that exists under a heading,
# for a failing script to show what the saver and the server said; without
# the lines of a Wayland protocol trace, where there is one.
show_logs() {
  local f
  for f in "$@"; do
    [ -s "$f" ] || continue
    echo "--- $(basename "$f"):"
    grep -v '^\[ *[0-9.]*\]' "$f" | tail -n 60
  done
}

# The OpenGL drivers and what brings them in: the saver never draws with
# OpenGL, and Mesa's driver with LLVM would take some 50 MB. (libQt6Gui itself
# links the small dispatch libraries libEGL.so.1, libGLX.so.0 and
# libOpenGL.so.0 of libglvnd, which load no driver by themselves.)
gl_drivers='libEGL_mesa|libGLX_mesa|libgbm\.|libglapi|_dri\.so|libLLVM|libwayland-egl|libQt6OpenGL|EglClientHwIntegration|libdrm'
# gl_loaded PID: the driver libraries mapped into the process, one a line;
# none, nothing.
gl_loaded() { grep -oE "[^/ ]*(${gl_drivers})[^/ ]*" "/proc/$1/maps" 2>/dev/null | sort -u; }

# slow_unwinder: Qt's Wayland client keeps the proxies of the seat and its
# devices to the end of the process; tests/lsan.supp names the call that
# makes them. That call is found only by the slow unwinder: libwayland-client
# and Qt's Wayland plugin keep no frame pointers, and the fast one stops in
# them at a wrong address. Sanitized Wayland clients are run with it.
slow_unwinder() {
  if [ -n "${ASAN_OPTIONS:-}" ] && [[ "$ASAN_OPTIONS" != *fast_unwind_on_malloc=0* ]]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0"
  fi
}
