#!/usr/bin/env bash
# Kills the real saver with SIGKILL at random moments, over and over: during
# start-up (while it prepares walked.log, sometimes over a foreign file that it
# must keep as a backup) and while it appends its record at the end. After every
# kill, each record that was on disk before it must still be in walked.log or in
# one of its backups (walked.log.bak, walked.log.bak.1, ...), and the next
# start-up must keep the log.
#
# usage: crash_kill.sh path/to/trenchwalk [kills]
set -u
# shellcheck source=tests/lib/xvfb.sh
source "$(dirname "$0")/lib/xvfb.sh"

binary=${1:?usage: crash_kill.sh path/to/trenchwalk [kills]}
kills=${2:-100}
# The scene window's title.
title=Trenchwalk
require_tools Xvfb xdotool

x11_run_cleanup() {
  local pid
  for pid in $(processes_of "$work/trenchwalk"); do kill -9 "$pid" 2>/dev/null; done
}
fail_report() { show_logs "$work/saver.out" "$work/xvfb.log"; }
fail_label="kill 0"
x11_run kill 800x600
cp "$binary" "$work/trenchwalk" || fail "cannot copy $binary"

log="$work/walked.log"

# Every non-banner line of the log and all its backups, one per line, sorted.
kept_lines() {
  cat "$log" "$log".bak "$log".bak.* 2>/dev/null | grep -v -x -F "$banner" | sort
}

random_ms() { echo $((RANDOM % $1)); }
wait_window() { find_window 100 "^${title}\$" >/dev/null; }

# The moments of the kills below are drawn at random: the time is what is
# tested, so these are the sleeps that stay.

# A log to begin with: the banner and a few records of earlier runs.
printf '%s\n' "$banner" >"$log"
for n in 1 2 3; do printf '%d cm 12-0%d-2026 10:00:0%d\r\n' "$n" "$n" "$n" >>"$log"; done

for i in $(seq "$kills"); do
  fail_label="kill $i"
  case $((i % 3)) in
    0) # A foreign file in the log's place, saved as editors do (a new file
      # renamed over the old one): it must survive as a backup.
      printf 'foreign line %d, written by hand\r\nanother line %d\r\n' "$i" "$i" >"$work/foreign"
      mv -f "$work/foreign" "$log"
      ;;
  esac
  kept_lines >"$work/before"  # backups are never replaced
  echo "--- start $i" >>"$work/saver.out"
  "$work/trenchwalk" >>"$work/saver.out" 2>&1 &
  pid=$!
  if [ $((i % 3)) -eq 2 ]; then
    # At the end of the run: Escape, then a kill while the record is written.
    wait_window || fail "no window"
    xdotool key Escape
    sleep "0.00$(random_ms 10)"
  else
    # During start-up, while the log is prepared.
    sleep "0.0$(printf '%02d' "$(random_ms 60)")"
  fi
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  # The killed copy's lock file stays: the kernel's lock died with it.
  kept_lines >"$work/after"
  # What was there before and is not now (both sorted, duplicates counted).
  lost=$(comm -23 "$work/before" "$work/after")
  [ -z "$lost" ] || fail "records lost: $lost"
  # A temporary the kill left behind holds at most the banner; the next
  # start-up removes it.
  for temp in "$log".new.*; do
    [ -e "$temp" ] || continue
    grep -v -x -F "$banner" "$temp" | grep -q . && fail "a temporary holds more than the banner"
  done
done

# The next start-up keeps the log, and its end appends one well-formed record.
kept_lines >"$work/before"  # backups are never replaced
[ -f "$log" ] && head -n1 "$log" | grep -q -x -F "$banner" && had_banner=1 || had_banner=0
echo "--- the last start" >>"$work/saver.out"
"$work/trenchwalk" >>"$work/saver.out" 2>&1 &
pid=$!
wait_window || fail "no window at the last start"
xdotool key Escape
wait_exit "$pid" 50 "the last run"
head -n1 "$log" | grep -q -x -F "$banner" || fail "the log lost its banner"
if [ "$had_banner" = 1 ]; then
  bad=$(tail -n +2 "$log" | grep -E -v -c "$record_pattern" || true)
  [ "$bad" -eq 0 ] || fail "malformed lines after the kills: $(cat -A "$log")"
fi
kept_lines >"$work/after"
lost=$(missing "$work/before" "$work/after")
[ -z "$lost" ] || fail "the last start-up lost: $lost"
ls "$log".new.* >/dev/null 2>&1 && fail "temporaries of killed starts stay: $(ls "$log".new.*)"
backups=$(ls "$log".bak* 2>/dev/null | wc -l)
echo "PASS: $kills kills, no record lost ($backups backups kept)"
