#!/usr/bin/env bash
# The shared checks of the test scripts hold what they say: check_log passes
# a sound walked.log and fails each kind of broken one, records counts what
# is there, poll gives up or succeeds as the condition says, wait_exit hands
# back the exit status, stays_running sees a process end, require_tools
# skips with status 77 naming the missing tool, and fail names its label,
# says the script's report and exits with status 1.
set -u
# shellcheck source=tests/lib/common.sh
source "$(dirname "$0")/common.sh"
require_tools python3

work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-lib.XXXXXX")
trap 'rm -rf "$work"' EXIT

good=$'1.5 cm 12-08-2026 10:00:00\r\n'
# log NAME CONTENT: writes a log; prints its path.
log() { printf '%s' "$2" >"$work/$1"; echo "$work/$1"; }

# expect_log PASS|FAIL COUNT PATH: check_log's verdict, run in a subshell,
# which common.sh's fail leaves with status 1.
expect_log() {
  local want=$1 count=$2 path=$3 out got
  out=$(check_log "$path" "$count" 2>&1)
  got=$?
  if [ "$want" = PASS ] && [ "$got" -ne 0 ]; then wrong "check_log failed $(basename "$path") ($count): $out"; fi
  if [ "$want" = FAIL ] && [ "$got" -eq 0 ]; then wrong "check_log passed $(basename "$path") ($count)"; fi
}
expect_log PASS 0 "$(log banner-only "$banner"$'\n')"
expect_log PASS 2 "$(log two "$banner"$'\n'"$good"$'12 mts 01-01-2027 23:59:59\r\n')"
expect_log FAIL 1 "$(log two-for-one "$banner"$'\n'"$good$good")"
expect_log FAIL 1 "$work/missing"
expect_log FAIL 1 "$(log no-banner $'*** Visit someone else ***\r\n'"$good")"
expect_log FAIL 1 "$(log banner-without-cr "${banner%$'\r'}"$'\n'"$good")"
expect_log FAIL 1 "$(log lf-end "$banner"$'\n'"${good%$'\r\n'}"$'\n')"
expect_log FAIL 1 "$(log cut-record "$banner"$'\n'"1.5 cm 12-08-20")"
expect_log FAIL 1 "$(log bad-unit "$banner"$'\n'$'1.5 km 12-08-2026 10:00:00\r\n')"
expect_log FAIL 1 "$(log bad-date "$banner"$'\n'$'1.5 cm 12-8-2026 10:00:00\r\n')"

[ "$(records "$work/missing")" -eq 0 ] || wrong "records of no log: $(records "$work/missing")"
[ "$(records "$work/banner-only")" -eq 0 ] || wrong "records of a fresh log: $(records "$work/banner-only")"
[ "$(records "$work/two")" -eq 2 ] || wrong "records of two: $(records "$work/two")"

# poll: a condition that never holds is given up on; one that holds at the
# third look is seen, and it is asked no more after that.
poll 0 false && wrong "poll 0 false succeeded"
looks=0
third_look() { looks=$((looks + 1)); [ "$looks" -ge 3 ]; }
poll 100 third_look || wrong "poll gave up on a condition that came true"
[ "$looks" -eq 3 ] || wrong "poll looked $looks times, not 3"

# wait_exit hands back the child's exit status.
(exit 3) &
wait_exit $! 100
[ "$status" -eq 3 ] || wrong "wait_exit: status $status, not 3"

# exits_zero fails on any other status; says waits for a line, and gives up
# when its writer ends without it; one_line fails on two lines.
( (exit 2) & exits_zero $! 100 "a test" >/dev/null) && wrong "exits_zero passed status 2"
( (exit 0) & exits_zero $! 100 "a test") || wrong "exits_zero failed status 0"
(sleep 0.3 && echo ready >"$work/said") &
says $! "$work/said" '^ready$' || wrong "says missed a line that came"
echo other >"$work/other" &
says $! "$work/other" '^ready$' && wrong "says took a line that never came"
(one_line "$work/two" cm "two records" >/dev/null) && wrong "one_line passed two lines"

# stays_running: false as soon as the process ends.
sh -c 'exit 0' &
ending=$!
stays_running "$ending" 100 && wrong "stays_running: a process that ended still counts as running"
wait "$ending"
# running: a zombie (ended, its parent not yet told) has ended. bash reaps
# its own children at once, so the zombie's parent is another program.
exec {parent}< <(python3 -c 'import os, time
child = os.fork()
if child == 0:
    os._exit(0)
print(child, flush=True)
time.sleep(60)')
zombie_parent=$!
read -r zombie <&"$parent"
zombie_now() { [ "$(awk '{print $3}' "/proc/$zombie/stat" 2>/dev/null)" = Z ]; }
poll 100 zombie_now || wrong "no zombie to look at"
running "$zombie" && wrong "running: a zombie counts as running"
kill "$zombie_parent" 2>/dev/null
exec {parent}<&-
sleep 30 &
sleeper=$!
running "$sleeper" || wrong "running: a sleeping process does not count"
kill "$sleeper"
wait "$sleeper" 2>/dev/null

# require_tools skips with status 77 and names the tool.
out=$(require_tools sh no-such-tool-here 2>&1)
got=$?
[ "$got" -eq 77 ] || wrong "require_tools: status $got, not 77"
[[ "$out" == "SKIP: no-such-tool-here is not installed"* ]] || wrong "require_tools said: $out"
(require_tools sh awk) || wrong "require_tools skipped with every tool there"

# fail names the label, runs the script's report and exits with status 1.
out=$(fail_label=run; fail_report() { echo logs; }; fail "went wrong")
got=$?
[ "$got" -eq 1 ] && [ "$out" = $'FAIL (run): went wrong\nlogs' ] || wrong "fail: $got, said: $out"

passed "the shared log checks, waits and tool check hold what they say"
