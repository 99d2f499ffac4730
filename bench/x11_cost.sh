#!/usr/bin/env bash
# x11_cost.sh: what the running saver costs a machine that should be idle,
# measured on the real program under Xvfb and printed side by side with the
# same runs of a build that repaints the whole window after every event.
#
# usage: bench/x11_cost.sh [BUILD_ROOT]
#        SAVER=path/to/trenchwalk SAVER_FULL=path/to/trenchwalk bench/x11_cost.sh
#
# Without SAVER and SAVER_FULL it builds two benchmark configurations of this
# source tree (Release, the trenchwalk target only) under BUILD_ROOT, by
# default ${TMPDIR:-/tmp}/trenchwalk-x11cost:
#   saver  -DTRENCHWALK_BENCH_TRACE=ON: the saver as shipped, plus one stderr
#          line per timer tick and one for the first frame (bench/bench_trace.h)
#   full   the same with -DTRENCHWALK_FULL_REPAINT=ON: the whole window is
#          painted and sent after every event, as a naive view would do it
# Binaries given through SAVER and SAVER_FULL must be such trace builds.
#
# Needs Xvfb, bash 5 ($EPOCHREALTIME), awk, sort and /proc (schedstat); cmake
# and a C++ compiler to build; cc and the libxcb headers for the floor (its
# rows show "-" without them). Takes about 7 minutes after the builds. Run
# it on an otherwise quiet machine: whatever else runs shows in the figures.
#
# The runs, each on an Xvfb of its own (24-bit), binaries copied to a scratch
# folder so that walked.log lands there:
#   walking  each build at 1920x1080 and at 3840x2160: 30 s, after the first
#            frame and 3 s more
#   falls    at 1920x1080, 120 s more of the saver and 45 s of the full
#            repaint, to gather drops (a course and its fall take about a
#            minute at this size, the drop a third of a second of it)
#   start    each build 9 times at 1920x1080, to the first frame
#   floor    bench/xcb_floor.c, a bare xcb client putting one box of about a
#            walking tick's size into a full-screen window, 10 times a second
#            (as walking) and 100 times (as the drop), 30 s and 20 s: the cost
#            of the wake-ups and requests alone on this machine
#
# How it measures:
#   CPU      /proc/PID/task/*/schedstat (nanoseconds on the CPU, every thread)
#            of the saver and of Xvfb, sampled every 50 ms with $EPOCHREALTIME.
#            The trace says, for every tick, which timers run afterwards; that
#            splits the run into phases: walking (the walk timer runs), the drop of a
#            fall (the fall timer runs at 10 ms) and the rest (the wait before the
#            drop, the umbrella). Each 50 ms sample is shared among the phases
#            it overlaps in proportion to time, and a phase's figure is its CPU
#            time over its wall time, as a percentage of one core. Only the time
#            the trace covers counts (the last second's lines die with the
#            program).
#   memory   VmHWM of the saver at the end of each walking run.
#   start    $EPOCHREALTIME just before exec, in the shell that then execs
#            the saver, to the first-frame line (written once the first picture
#            has been sent to the X server). Every start is warm: the program
#            and its libraries have run just before, and walked.log is there
#            from the start before, as it is for a saver in daily use.
#   ticks    Timer 1 ticks from the trace of every run: within each stretch of
#            walking (between two falls), ticks over wall time, scaled to a
#            minute; ticks missing from a stretch's 100 ms grid of due times are
#            counted. Lateness is how long after its due time (the driver's
#            clock) a tick ran, over the ticks of every timer.
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/lib.sh
source "$here/lib.sh"
# shellcheck source=tests/lib/xvfb.sh
source "$source_dir/tests/lib/xvfb.sh"
# WALK_SECONDS, FALL_SECONDS (the saver's; the full repaint gets 3/8 of it)
# and STARTS shorten a trial run of the script; the figures it reports are
# for the defaults. KEEP=folder keeps the traces and samples there.
bench_options x11cost 30 120 9 "$@"
keep=${KEEP:-}
# NAMES="a b" heads the two columns otherwise (say, two versions of the saver
# compared through SAVER and SAVER_FULL).
read -r -a names <<<"${NAMES:-saver full-repaint}"

command -v Xvfb >/dev/null 2>&1 || die "Xvfb is not installed"
[ -n "${EPOCHREALTIME:-}" ] || die "needs bash 5 (\$EPOCHREALTIME)"
[ -r /proc/self/schedstat ] || die "/proc/PID/schedstat is not available"

# --- The two builds.
if [ -n "${SAVER:-}" ] || [ -n "${SAVER_FULL:-}" ]; then
  if [ ! -x "${SAVER:-}" ] || [ ! -x "${SAVER_FULL:-}" ]; then
    die "SAVER and SAVER_FULL must both name trace builds"
  fi
  saver_bin=$SAVER
  full_bin=$SAVER_FULL
else
  mkdir -p "$root" || die "cannot make $root"
  build_trace_saver "$root/saver"
  build_trace_saver "$root/full" -DTRENCHWALK_FULL_REPAINT=ON
  saver_bin=$root/saver/platform/trenchwalk
  full_bin=$root/full/platform/trenchwalk
fi
floor_bin=""
mkdir -p "$root" 2>/dev/null
if command -v cc >/dev/null 2>&1 &&
  cc -std=c11 -O2 -o "$root/xcb_floor" "$here/xcb_floor.c" -lxcb >"$root/floor.build.log" 2>&1; then
  floor_bin=$root/xcb_floor
else
  echo "x11_cost.sh: no floor (cc or the libxcb headers missing, see $root/floor.build.log)" >&2
fi

saver_pid=""
stop_all() {
  [ -n "$saver_pid" ] && kill -9 "$saver_pid" 2>/dev/null
  stop_xvfb
}
make_work x11cost
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
cp "$saver_bin" "$work/saver" || die "cannot copy $saver_bin"
cp "$full_bin" "$work/full" || die "cannot copy $full_bin"
export XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY


xvfb_at() {  # size
  start_xvfb "$work" "$1" || die "no X server at $1"
}


# Starts a saver (saver|full) with its trace in $2; the start time in $2.t0.
# A third argument "keep" leaves walked.log from the run before.
start_saver() {
  [ "${3:-}" = keep ] || rm -f "$work/walked.log"
  rm -f "$work/walked.log.lock"
  (
    echo "$EPOCHREALTIME" >"$2.t0"
    exec "$work/$1" 2>"$2" >/dev/null </dev/null
  ) &
  saver_pid=$!
  for _ in $(seq 200); do grep -q '^first-frame ' "$2" 2>/dev/null && return 0; pause 0.05; done
  die "$1 showed no first frame within 10 s (is it a trace build?)"
}

stop_saver() { stop_pid saver_pid; }


# One measured run: build, size, seconds, name. Leaves $work/NAME.trace,
# NAME.samples and NAME.rss (kB).
run() {
  xvfb_at "$2"
  start_saver "$1" "$work/$4.trace"
  pause "$settle_seconds"
  sample "$3" "$work/$4.samples" "$saver_pid" "$xvfb_pid"
  awk '/^VmHWM:/ { print $2 }' "/proc/$saver_pid/status" >"$work/$4.rss"
  stop_saver
  stop_xvfb
}

# Phase CPU from trace and sample files in pairs: bench/lib.sh.

# "prog% X% total% seconds" of a phase from phase_cpu output, or "- - - 0".
phase_figure() {  # phase, phase_cpu output file
  awk -v p="$1" '$1 == p { s = $2 / 1e6; printf "%.3f %.3f %.3f %.1f\n", 100 * $3 / 1e9 / s, 100 * $4 / 1e9 / s, 100 * ($3 + $4) / 1e9 / s, s; found = 1 }
                 END { if (!found) print "- - - 0" }' "$2"
}

# Walk ticks per minute over the walking stretches, ticks missing from their
# grid, drops seen, and lateness (ms) at the 99th percentile and at most.
tick_figures() {
  awk '
    FNR == 1 { if (inwalk) close_stretch(); inwalk = 0; dropping = 0 }
    # Wall time from the first tick of a stretch to its last; the due times
    # (a 100 ms grid on the driver clock) tell the ticks that never ran.
    function close_stretch() {
      if (cnt > 1) { intervals += cnt - 1; span += lastt - first; missed += (lastdue - firstdue) / 100 + 1 - cnt }
      cnt = 0
    }
    $1 != "tick" { next }
    { print $4 > "/dev/stderr" }
    $3 == 1 {
      if (!inwalk) { cnt = 0; first = $2; firstdue = $8 }
      cnt++; lastt = $2; lastdue = $8; inwalk = 1
      if ($5 == 0) { close_stretch(); inwalk = 0 }
    }
    $3 == 3 && $7 == 10 && !dropping { drops++ }
    $3 == 3 { dropping = ($7 == 10) }
    END {
      if (inwalk) close_stretch()
      if (span > 0) printf "%.1f %d %d\n", intervals / span * 60e6, missed, drops
      else print "- - " drops + 0
    }
  ' "$@" 2>"$work/late.tmp"
  sort -n "$work/late.tmp" | awk '{ v[NR] = $1 } END { if (NR == 0) { print "- -"; exit }
    i = int(NR * 0.99); if (i < NR * 0.99) i++; printf "%.2f %.2f %d\n", v[i] / 1000, v[NR] / 1000, NR }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) printf "%.0f", v[int((NR + 1) / 2)]; else printf "-" }'; }

started=$(date +%s)
for build in saver full; do
  for size in "${sizes[@]}"; do
    echo "walking: $build at $size for ${walk_seconds}s ..." >&2
    run "$build" "$size" "$walk_seconds" "$build-$size"
  done
  seconds=$fall_seconds
  [ "$build" = full ] && seconds=$((fall_seconds * 3 / 8))
  echo "falls: $build at 1920x1080 for ${seconds}s ..." >&2
  run "$build" 1920x1080 "$seconds" "$build-falls"
  echo "first frames: $build ..." >&2
  xvfb_at 1920x1080
  : >"$work/$build.starts"
  for i in $(seq "$starts"); do
    start_saver "$build" "$work/$build-start$i.trace" keep
    first_frame_ms "$work/$build-start$i.trace" >>"$work/$build.starts"
    stop_saver
    # Xvfb repaints the screen once a window goes; the next start waits until
    # the server is idle again.
    pause 1
  done
  stop_xvfb
done

# The floor: program and X server CPU (percent of one core) over the run.
floor_cost() {  # ticks per second, seconds
  [ -n "$floor_bin" ] || { echo "- - -"; return; }
  xvfb_at 1920x1080
  "$floor_bin" "$1" >/dev/null 2>&1 &
  saver_pid=$!
  pause "$settle_seconds"
  sample "$2" "$work/floor-$1.samples" "$saver_pid" "$xvfb_pid"
  stop_saver
  stop_xvfb
  awk 'function us(s,   p) { p = index(s, "."); return substr(s, 1, p - 1) * 1000000 + substr(s, p + 1) }
       NR == 1 { t0 = us($1); a0 = $2; b0 = $3 } { t = us($1); a = $2; b = $3 }
       END { s = (t - t0) / 1e6; if (s <= 0) { print "- - -"; exit }
             printf "%.3f %.3f %.3f\n", 100 * (a - a0) / 1e9 / s, 100 * (b - b0) / 1e9 / s, 100 * (a - a0 + b - b0) / 1e9 / s }' \
    "$work/floor-$1.samples"
}
echo "floor: bare xcb client at 10 and 100 ticks per second ..." >&2
floor10=$(floor_cost 10 "$walk_seconds")
floor100=$(floor_cost 100 20)

# --- The table.
qt=$(ldd "$work/saver" 2>/dev/null | awk '/libQt6Core/ { print $3; exit }')
qt=$(readlink -f "$qt" 2>/dev/null | sed -n 's/.*libQt6Core\.so\.//p')
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)

declare -A fig
for build in saver full; do
  for size in "${sizes[@]}"; do
    phase_cpu "$work/$build-$size.trace" "$work/$build-$size.samples" >"$work/$build-$size.phases"
    fig[$build,walk,$size]=$(phase_figure walk "$work/$build-$size.phases")
    fig[$build,rss,$size]=$(awk '{ printf "%.1f", $1 / 1024 }' "$work/$build-$size.rss")
  done
  # At 1920x1080 walking and drops pool both runs: falls cut into the walk.
  phase_cpu "$work/$build-1920x1080.trace" "$work/$build-1920x1080.samples" \
    "$work/$build-falls.trace" "$work/$build-falls.samples" >"$work/$build-1080.phases"
  fig[$build,walk,1920x1080]=$(phase_figure walk "$work/$build-1080.phases")
  fig[$build,drop]=$(phase_figure drop "$work/$build-1080.phases")
  fig[$build,ticks]=$(tick_figures "$work/$build-1920x1080.trace" "$work/$build-3840x2160.trace" \
    "$work/$build-falls.trace" | tr '\n' ' ')
  fig[$build,start]=$(median <"$work/$build.starts")
  fig[$build,starts]=$(tr '\n' ' ' <"$work/$build.starts")
done

col() { echo "${fig[$1]}" | awk -v i="$2" '{ print $i }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b != "-") printf "%.1fx", b / a; else printf "-" }'; }
row() { printf '%-44s %-16s %-16s %-9s %s\n' "$@"; }

echo "Trenchwalk on X11: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) x ${cpu:-unknown CPU}, Qt ${qt:-unknown}, Xvfb 24-bit"
echo "CPU in percent of one core, program + X server; walking ${walk_seconds} s per size; drops from the 1920x1080 runs"
echo
row "" "${names[0]}" "${names[1]}" "${names[1]}/${names[0]}" "target"
for size in "${sizes[@]}"; do
  s=$(col "saver,walk,$size" 3)
  f=$(col "full,walk,$size" 3)
  target="<= 0.25"
  [ "$size" != 1920x1080 ] && target="<= 1080p + 0.1"
  row "walking $size, program + X (%)" "$s" "$f" "$(ratio "$s" "$f")" "$target"
  row "  program / X server (%)" "$(col "saver,walk,$size" 1) / $(col "saver,walk,$size" 2)" \
    "$(col "full,walk,$size" 1) / $(col "full,walk,$size" 2)" "" ""
  row "  walking time measured (s)" "$(col "saver,walk,$size" 4)" "$(col "full,walk,$size" 4)" "" ""
done
s4=$(col "saver,walk,3840x2160" 3)
s1=$(col "saver,walk,1920x1080" 3)
row "3840x2160 minus 1920x1080 (points)" "$(awk -v a="$s4" -v b="$s1" 'BEGIN { printf "%+.3f", a - b }')" \
  "$(awk -v a="$(col "full,walk,3840x2160" 3)" -v b="$(col "full,walk,1920x1080" 3)" 'BEGIN { printf "%+.3f", a - b }')" "" "<= +0.1"
row "floor, bare xcb 10 boxes/s, program + X (%)" "$(echo "$floor10" | awk '{ print $3 }')" "" "" "(reference)"
row "  program / X server (%)" "$(echo "$floor10" | awk '{ print $1 " / " $2 }')" "" "" ""
row "drop of a fall (10 ms ticks), 1920x1080 (%)" "$(col saver,drop 3)" "$(col full,drop 3)" \
  "$(ratio "$(col saver,drop 3)" "$(col full,drop 3)")" "<= 1"
row "  program / X server (%)" "$(col saver,drop 1) / $(col saver,drop 2)" "$(col full,drop 1) / $(col full,drop 2)" "" ""
row "  drops seen, time in drops (s)" "$(col saver,ticks 3), $(col saver,drop 4)" "$(col full,ticks 3), $(col full,drop 4)" "" ""
row "floor, bare xcb 100 boxes/s, prog + X (%)" "$(echo "$floor100" | awk '{ print $3 }')" "" "" "(reference)"
row "  program / X server (%)" "$(echo "$floor100" | awk '{ print $1 " / " $2 }')" "" "" ""
for size in "${sizes[@]}"; do
  target=""
  [ "$size" = 1920x1080 ] && target="<= 40"
  row "peak RSS $size (MB)" "${fig[saver,rss,$size]}" "${fig[full,rss,$size]}" "" "$target"
done
row "first frame after exec, median of $starts (ms)" "${fig[saver,start]}" "${fig[full,start]}" "" "<= 60"
row "  each start, ${names[0]} (ms)" "${fig[saver,starts]}" "" "" ""
row "  each start, ${names[1]} (ms)" "" "${fig[full,starts]}" "" ""
row "walk ticks per minute of walking" "$(col saver,ticks 1)" "$(col full,ticks 1)" "" "600 +- 1"
row "  ticks missing from the 100 ms grid" "$(col saver,ticks 2)" "$(col full,ticks 2)" "" ""
row "tick lateness, 99th percentile (ms)" "$(col saver,ticks 4)" "$(col full,ticks 4)" "" "<= 5"
row "  largest, ticks traced" "$(col saver,ticks 5), $(col saver,ticks 6)" "$(col full,ticks 5), $(col full,ticks 6)" "" ""
echo
echo "($(($(date +%s) - started)) s of runs)"
if [ -n "$keep" ]; then
  mkdir -p "$keep" && cp "$work"/*.trace "$work"/*.samples "$work"/*.phases "$work"/*.starts "$keep"/ &&
    echo "traces and samples kept in $keep"
fi
