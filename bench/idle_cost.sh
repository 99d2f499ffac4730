#!/usr/bin/env bash
# What trenchwalk-idle costs while it waits: its resident memory and the CPU
# time it uses over a long wait on a virtual X display (Xvfb) and on a headless
# sway, read from /proc. Its delay is longer than the wait, so it only waits.
# Wake-ups are counted as the context switches it made: a launcher with no
# timer of its own makes none while nothing happens on the desktop. Then the
# same while the saver it started runs on Xvfb: there it reads the saver's
# heartbeat, about one wake-up a second. And on Xvfb with a session bus where
# it answers org.freedesktop.ScreenSaver, with --lock-after, while an
# application holds an inhibitor: still no wake-up of its own. And on Xvfb
# with its settings file watched (inotify on its folder): none either. Then
# the settings window: how long it takes to show, and its resident memory.
#
# usage: bench/idle_cost.sh [SECONDS, 600 by default] [build folder, build-test]
#   Builds trenchwalk and trenchwalk-idle in the build folder if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
wait_seconds=${1:-600}
build=${2:-build-test}
# Longer than any wait measured: the saver never starts.
delay=86400
# Goals: resident memory and CPU over the wait.
rss_goal_kb=$((10 * 1024))

if [ ! -x "$build/platform/trenchwalk-idle" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target trenchwalk trenchwalk-idle >/dev/null
fi
source tests/lib/xvfb.sh
source tests/lib/sway.sh
source tests/lib/system_bus.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-idle-cost.XXXXXX")
chmod 755 "$work"
mkdir -p "$work/bin" "$work/runtime"
cp "$build/platform/trenchwalk" "$build/platform/trenchwalk-idle" "$work/bin/"
chmod 700 "$work/runtime"
launcher_pid=""
# The library's stops return the status of what they waited for, which
# set -e must not take for the script's failure.
cleanup() {
  [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null
  [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null
  [ -n "${window_pid:-}" ] && kill "$window_pid" 2>/dev/null
  [ -n "${holder_pid:-}" ] && kill "$holder_pid" 2>/dev/null
  stop_sway || true
  stop_session_bus || true
  stop_xvfb || true
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

ticks=$(getconf CLK_TCK)
# utime + stime of a process, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
switches() { awk '/ctxt_switches/ {n += $2} END {print n}' "/proc/$1/status"; }
status_kb() { awk -v key="$2:" '$1 == key {print $2}' "/proc/$1/status"; }

# measure NAME: waits wait_seconds on the running launcher and prints a line.
measure() {
  local name=$1 cpu0 cpu1 sw0 sw1 rss hwm
  sleep 1
  kill -0 "$launcher_pid" 2>/dev/null || { echo "$name: the launcher did not start: $(cat "$work/launcher.out")"; return 1; }
  cpu0=$(cpu_ticks "$launcher_pid"); sw0=$(switches "$launcher_pid")
  sleep "$wait_seconds"
  cpu1=$(cpu_ticks "$launcher_pid"); sw1=$(switches "$launcher_pid")
  rss=$(status_kb "$launcher_pid" VmRSS); hwm=$(status_kb "$launcher_pid" VmHWM)
  awk -v name="$name" -v source="$(sed -n 's/.*idle source: \([^;]*\);.*/\1/p' "$work/launcher.out")" \
    -v rss="$rss" -v hwm="$hwm" -v goal=$((rss_goal_kb / 1024)) -v cpu=$((cpu1 - cpu0)) \
    -v ticks="$ticks" -v seconds="$wait_seconds" -v sw=$((sw1 - sw0)) 'BEGIN {
      printf "%-9s %-44s RSS %5.2f MB (peak %5.2f MB, goal <= %d MB)  CPU %d ticks of 1/%d s over %d s (%.4f %%)  context switches %d\n",
        name, source, rss / 1024, hwm / 1024, goal, cpu, ticks, seconds, cpu * 100 / ticks / seconds, sw }'
}

echo "trenchwalk-idle waiting: $(date -u '+%Y-%m-%d %H:%M UTC'), $wait_seconds s on each desktop"

# --- X11: Xvfb.
start_xvfb "$work" 1920x1080
XDG_RUNTIME_DIR="$work/runtime" "$work/bin/trenchwalk-idle" "$delay" >"$work/launcher.out" 2>&1 &
launcher_pid=$!
measure x11
kill "$launcher_pid"; wait "$launcher_pid" 2>/dev/null || true; launcher_pid=""

# --- X11 with the settings file, watched all along.
mkdir -p "$work/config/trenchwalk"
printf '# the bench\ndelay = %s\n' "$delay" >"$work/config/trenchwalk/idle.conf"
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" "$work/bin/trenchwalk-idle" \
  >"$work/launcher.out" 2>&1 &
launcher_pid=$!
measure x11+file
kill "$launcher_pid"; wait "$launcher_pid" 2>/dev/null || true; launcher_pid=""

# --- The settings window: from its start to its window shown, then its
# memory once its status line has come; five rounds.
if [ -x "$build/platform/trenchwalk-settings" ]; then
  for round in 1 2 3 4 5; do
    started=$(microseconds)
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
      "$build/platform/trenchwalk-settings" >/dev/null 2>&1 &
    window_pid=$!
    until xdotool search --onlyvisible --pid "$window_pid" >/dev/null 2>&1; do sleep 0.01; done
    shown=$((($(microseconds) - started) / 1000))
    # CPU time too: on a loaded machine the wall-clock time is mostly waiting.
    cpu=$(cpu_ticks "$window_pid")
    sleep 3
    awk -v round="$round" -v shown="$shown" -v cpu="$cpu" -v ticks="$ticks" \
      -v rss="$(status_kb "$window_pid" VmRSS)" -v hwm="$(status_kb "$window_pid" VmHWM)" 'BEGIN {
        printf "settings  round %d: window shown after %d ms (CPU %d ms); RSS %.1f MB (peak %.1f MB)\n",
          round, shown, cpu * 1000 / ticks, rss / 1024, hwm / 1024 }'
    kill "$window_pid"; wait "$window_pid" 2>/dev/null || true; window_pid=""
  done
fi

# --- X11 with a session bus: the launcher answers org.freedesktop.ScreenSaver,
# with --lock-after, and an application holds a cookie all along.
if command -v dbus-daemon >/dev/null && /usr/bin/python3 -c 'import dbus' 2>/dev/null; then
  start_session_bus "$work"
  XDG_RUNTIME_DIR="$work/runtime" "$work/bin/trenchwalk-idle" --lock-after 10 "$delay" \
    >"$work/launcher.out" 2>&1 &
  launcher_pid=$!
  for _ in $(seq 100); do grep -q 'answering org.freedesktop.ScreenSaver' "$work/launcher.out" && break; sleep 0.1; done
  measure x11+bus
  mkfifo "$work/holder.in"
  /usr/bin/python3 tests/platform/screensaver_client.py /ScreenSaver vlc "Playing a film" \
    <"$work/holder.in" >"$work/holder.out" 2>&1 &
  holder_pid=$!
  exec {holder_fd}>"$work/holder.in"
  for _ in $(seq 100); do grep -q '^cookie' "$work/holder.out" && break; sleep 0.1; done
  measure x11+cookie
  exec {holder_fd}>&-
  kill "$holder_pid" 2>/dev/null; wait "$holder_pid" 2>/dev/null || true; holder_pid=""
  kill "$launcher_pid"; wait "$launcher_pid" 2>/dev/null || true; launcher_pid=""
  stop_session_bus || true
  unset DBUS_SESSION_BUS_ADDRESS
fi

# --- X11, the saver running: a delay of 1 s on a display nobody touches.
XDG_RUNTIME_DIR="$work/runtime" "$work/bin/trenchwalk-idle" 1 >"$work/launcher.out" 2>&1 &
launcher_pid=$!
saver_pid=""
for _ in $(seq 300); do
  saver_pid=$(pgrep -P "$launcher_pid" | head -n1 || true)
  [ -n "$saver_pid" ] && break
  sleep 0.1
done
if [ -n "$saver_pid" ]; then
  measure x11+saver
  kill "$saver_pid" 2>/dev/null
else
  echo "x11+saver: the saver did not start: $(cat "$work/launcher.out")"
fi
kill "$launcher_pid"; wait "$launcher_pid" 2>/dev/null || true; launcher_pid=""
stop_xvfb || true

# --- Wayland: a headless sway, as nobody when run as root (sway refuses root).
if command -v sway >/dev/null; then
  sway_user
  [ -z "$owner" ] || chown -R "$owner" "$work/runtime"
  printf 'xwayland disable\noutput HEADLESS-1 mode 1920x1080\n' >"$work/sway.conf"
  export HOME="$work" XDG_RUNTIME_DIR="$work/runtime"
  if start_sway "$work" 1; then
    "${as_user[@]}" "$work/bin/trenchwalk-idle" "$delay" >"$work/launcher.out" 2>&1 &
    launcher_pid=$!
    measure sway
  else
    echo "sway    did not start headless: $(tail -n 5 "$work/sway.log")"
  fi
fi
