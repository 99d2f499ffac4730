#!/usr/bin/env bash
# The saver installed where its user cannot write (a system-wide install): it
# still starts and walks, ends promptly on a key, shows nothing but its scene,
# leaves the folder as it was, keeps its log and lock in the user's state
# folder (~/.local/state/trenchwalk, made 0700), and a second copy leaves at
# once. Without a HOME it runs without a log and says so in one line. Then a
# log its user cannot read (another user's, mode 0600) in a folder it can
# write: left exactly as it is, and no backup is made or replaced.
#
# usage: readonly_folder.sh path/to/trenchwalk
set -u
# shellcheck source=tests/lib/xvfb.sh
source "$(dirname "$0")/lib/xvfb.sh"
# shellcheck source=tests/lib/as_user.sh
source "$(dirname "$0")/lib/as_user.sh"

binary=${1:?usage: readonly_folder.sh path/to/trenchwalk}
# The scene window's title.
title=Trenchwalk
require_tools Xvfb xdotool setpriv
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: needs root to run the saver as another user"
  exit 77
fi

pid=""
x11_run_cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  [ -n "${second:-}" ] && kill -9 "$second" 2>/dev/null
}
fail_report() { show_logs "$work/out" "$work/xvfb.log"; }
# -ac: the saver runs as another user than the X server.
x11_run ro 800x600 -ac
chmod 755 "$work"

# Escape on the saver's window $wid: it must end within 3 s with status $2
# (0 unless given). $1 says which run, for the message.
escape_ends_it() {
  xdotool windowfocus --sync "$wid" 2>/dev/null
  xdotool key Escape
  wait_exit "$pid" 30 "the saver, after Escape$1,"
  pid=""
  [ "$status" -eq "${2:-0}" ] || fail "exit status $status$1"
}

mkdir "$work/bin" && cp "$binary" "$work/bin/trenchwalk" && chmod 755 "$work/bin" "$work/bin/trenchwalk"
reachable_as nobody "$work/bin/trenchwalk" || exit 1
as_nobody=()
prefix_as as_nobody nobody
# The runtime folder belongs to its user, as the login manager makes it; so
# does a home of its own, where nothing is made yet.
mkdir -m 700 "$work/home" && chown nobody "$work/home" "$work/runtime"
state="$work/home/.local/state/trenchwalk"
# only_scene WHY: no window but the scene is shown; WHY says what it means.
only_scene() { [ "$(xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l)" -le 1 ] || fail "$1"; }

# start_as_nobody OUTPUT PROGRAM [ENVIRONMENT...]: the saver PROGRAM as
# nobody on this display, its output in OUTPUT and its pid in pid.
start_as_nobody() {
  "${as_nobody[@]}" env "${@:3}" "$2" >"$1" 2>&1 &
  pid=$!
}
# saver_window WHAT OUTPUT PROGRAM [ENVIRONMENT...]: the same, and its window
# in wid; fails when none comes, naming WHAT.
saver_window() {
  start_as_nobody "${@:2}"
  wid=$(find_window 100 "^${title}\$")
  [ -n "$wid" ] || fail "no saver window$1: $(cat "$2")"
}
in_home=(-u XDG_STATE_HOME HOME="$work/home")

before=$(ls -la "$work/bin")
saver_window "" "$work/out" "$work/bin/trenchwalk" "${in_home[@]}"
first=$pid
# A second copy of the same install leaves at once, quietly.
start_as_nobody "$work/out2" "$work/bin/trenchwalk" "${in_home[@]}"
second=$pid
pid=$first
exits_zero "$second" 30 "it started beside another" "the second copy"
[ -s "$work/out2" ] && fail "the second copy was not quiet: $(cat "$work/out2")"
[ -f "$state/walked.log.lock" ] || fail "no lock beside the log in the state folder: $(ls -laR "$work/home")"
stays_running "$pid" 15 || fail "the saver ended by itself"
only_scene "something besides the scene is shown"
escape_ends_it ""
[ "$(ls -la "$work/bin")" = "$before" ] || fail "the folder changed: $(ls -la "$work/bin")"
grep -q "without the single-instance lock" "$work/out" && fail "no lock was taken: $(cat "$work/out")"
[ -s "$work/out" ] && fail "the run was not quiet: $(cat "$work/out")"
for folder in "$work/home/.local" "$work/home/.local/state" "$state"; do
  [ "$(stat -c '%U %a' "$folder")" = "nobody 700" ] || fail "$folder is $(stat -c '%U %a' "$folder")"
done
check_log "$state/walked.log" 1

# A second run adds its record to the same log, and keypad + reads it.
saver_window " for the second run" "$work/out" "$work/bin/trenchwalk" "${in_home[@]}"
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key KP_Add
stays_running "$pid" 5 || fail "keypad + ended the run"
only_scene "keypad + showed a box: the log in the state folder was not read"
escape_ends_it " of the second run"
check_log "$state/walked.log" 2
[ "$(ls -la "$work/bin")" = "$before" ] || fail "the folder changed: $(ls -la "$work/bin")"

# Without a HOME (and no XDG_STATE_HOME) no folder can hold the log: the saver
# runs all the same, says so in one line, and ends on a key.
saver_window " without a HOME" "$work/out" "$work/bin/trenchwalk" -u HOME -u XDG_STATE_HOME
escape_ends_it " without a HOME"
one_line "$work/out" '^trenchwalk: no walked.log is kept: .* cannot be written' "without a HOME"
[ "$(ls -la "$work/bin")" = "$before" ] || fail "the folder changed: $(ls -la "$work/bin")"

# Another user's log, which this user cannot open, beside an older backup.
mkdir -m 777 "$work/shared" && cp "$binary" "$work/shared/trenchwalk" && chmod 755 "$work/shared/trenchwalk"
printf '%s\n57 cm 12-08-2026 17:04:09\r\n' "$banner" >"$work/shared/walked.log"
printf 'older history\r\n' >"$work/shared/walked.log.bak"
chmod 600 "$work/shared/walked.log"
log_before=$(md5sum <"$work/shared/walked.log")$(stat -c '%U %a %s %Y' "$work/shared/walked.log")
backup_before=$(md5sum <"$work/shared/walked.log.bak")
saver_window " over an unreadable log" "$work/out3" "$work/shared/trenchwalk"
# Its record cannot be kept: the run ends as a failure, said in one line.
escape_ends_it " over an unreadable log" 1
[ "$(cat "$work/out3")" = "trenchwalk: the record of this run could not be kept in walked.log: Permission denied" ] ||
  fail "not one line about the lost record: $(cat "$work/out3")"
[ "$(md5sum <"$work/shared/walked.log")$(stat -c '%U %a %s %Y' "$work/shared/walked.log")" = "$log_before" ] ||
  fail "the unreadable log was changed: $(ls -la "$work/shared")"
[ "$(md5sum <"$work/shared/walked.log.bak")" = "$backup_before" ] || fail "the older backup was replaced"
[ -e "$work/shared/walked.log.bak.1" ] && fail "an unreadable log was taken for a foreign one"
echo "PASS: runs, ends on a key, keeps its log in the state folder, a second copy leaves; without a HOME one line; an unreadable log is left alone"
