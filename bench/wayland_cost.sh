#!/usr/bin/env bash
# wayland_cost.sh: what the running saver costs on Wayland, measured on the
# real program under a headless sway (pixman renderer) and printed beside a
# bare Wayland client of our own (bench/wayland_floor.c) run the same way,
# interleaved with it in the same run.
#
# usage: bench/wayland_cost.sh [BUILD_ROOT]
#        SAVER=path/to/trace/build/trenchwalk bench/wayland_cost.sh
#        SCALE=1.5 bench/wayland_cost.sh     every output at that scale
#
# Without SAVER it builds the saver with -DTRENCHWALK_BENCH_TRACE=ON (Release,
# the trenchwalk target only) under BUILD_ROOT, by default
# ${TMPDIR:-/tmp}/trenchwalk-wlcost, and the floor with cc and wayland-scanner.
# Needs sway, wtype, bash 5, awk and /proc. sway refuses to run as root: as
# root, the compositor and every client run as nobody.
#
# The runs, each on a headless sway of its own, ROUNDS times (2 by default),
# the saver and the floor one after the other:
#   walking  at 1920x1080 and 3840x2160: the saver, D typed (no trenches,
#            so no falls), WALK_SECONDS (20) after the first frame and 3 s
#            more; the floor at 10 boxes a second as long
#   drops    at 1920x1080, the saver FALL_SECONDS (90) without D, to gather
#            falls, and the floor at 100 boxes a second, the drop's rate
#   start    STARTS (5) starts of the saver at 1920x1080, to the first frame
# How it measures: CPU from /proc/PID/task/*/schedstat of the program and of
# sway, sampled every 50 ms; the saver's trace (bench/bench_trace.h) splits
# its time into walking and the drop of a fall, as bench/x11_cost.sh does.
# Memory: VmHWM of the program at the end of each walking run.
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/lib.sh
source "$here/lib.sh"
# shellcheck source=tests/lib/sway.sh
source "$source_dir/tests/lib/sway.sh"
bench_options wlcost 20 90 5 "$@"
rounds=${ROUNDS:-2}
# The outputs' scale; the sizes measured at are their modes, in device pixels.
scale=${SCALE:-1}

for tool in sway wtype cc wayland-scanner; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is not installed"
done
[ -n "${EPOCHREALTIME:-}" ] || die "needs bash 5 (\$EPOCHREALTIME)"
protocols=$(pkg-config --variable=pkgdatadir wayland-protocols 2>/dev/null)
xdg_shell=${protocols:-/usr/share/wayland-protocols}/stable/xdg-shell/xdg-shell.xml
[ -f "$xdg_shell" ] || die "wayland-protocols is not installed"

mkdir -p "$root" || die "cannot make $root"
if [ -n "${SAVER:-}" ]; then
  saver_bin=$SAVER
else
  build_trace_saver "$root/saver"
  saver_bin=$root/saver/platform/trenchwalk
fi
wayland-scanner client-header "$xdg_shell" "$root/xdg-shell-client-protocol.h" &&
  wayland-scanner private-code "$xdg_shell" "$root/xdg-shell-protocol.c" &&
  cc -std=c11 -O2 -I"$root" -o "$root/wayland_floor" "$here/wayland_floor.c" "$root/xdg-shell-protocol.c" \
    -lwayland-client >"$root/floor.build.log" 2>&1 || die "building the floor failed: see $root/floor.build.log"

client_pid=""
stop_client() { stop_pid client_pid; }
end_sway() {
  stop_client
  stop_sway
  rm -f "$work/runtime"/wayland-* "$work/runtime"/sway-ipc.* 2>/dev/null
}
stop_all() { end_sway; }
make_work wlcost
chmod 755 "$work"
sway_user
mkdir -p "$work/saver" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$saver_bin" "$work/saver/trenchwalk" || die "cannot copy $saver_bin"
cp "$root/wayland_floor" "$work/floor"
[ -n "$owner" ] && chown -R "$owner" "$work/saver" "$work/home" "$work/runtime"
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET SWAYSOCK I3SOCK QT_QPA_PLATFORM
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"


sway_at() {  # size
  cat >"$work/sway.conf" <<EOF
xwayland disable
default_border none
focus_follows_mouse no
output HEADLESS-1 mode $1 position 0 0 scale $scale
EOF
  start_sway "$work" 1 || die "sway did not start: $(tail -n 5 "$work/sway.log")"
  # A keyboard in the seat for the whole run, as a real desk has: wtype's own
  # comes and goes with each call, too late for the focused window.
  hold_keyboard "$work"
  pause 0.5
}

# Starts the saver with its trace in $1; the start time in $1.t0.
start_saver() {
  rm -f "$work/saver/walked.log.lock"
  (
    echo "$EPOCHREALTIME" >"$1.t0"
    exec "${as_user[@]}" env QT_QPA_PLATFORM=wayland "$work/saver/trenchwalk" 2>"$1" >/dev/null </dev/null
  ) &
  client_pid=$!
  for _ in $(seq 200); do grep -q '^first-frame ' "$1" 2>/dev/null && return 0; pause 0.05; done
  die "the saver showed no first frame within 10 s (is it a trace build?)"
}


rss_of() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"; }

# Phase CPU from trace and sample files in pairs: bench/lib.sh.
# "program% compositor% total% seconds" of a phase, or "- - - 0".
phase_figure() {  # phase, then phase_cpu's output on stdin
  awk -v p="$1" '$1 == p { s = $2 / 1e6; printf "%.3f %.3f %.3f %.1f\n", 100 * $3 / 1e9 / s, 100 * $4 / 1e9 / s, 100 * ($3 + $4) / 1e9 / s, s; found = 1 }
                 END { if (!found) print "- - - 0" }'
}
# The same for a whole sample file (the floor).
whole_figure() {
  awk 'function us(s,   p) { p = index(s, "."); return substr(s, 1, p - 1) * 1000000 + substr(s, p + 1) }
       FNR == 1 { if (t) { S += (t - t0) / 1e6; A += a - a0; B += b - b0 } t0 = us($1); a0 = $2; b0 = $3 }
       { t = us($1); a = $2; b = $3 }
       END { S += (t - t0) / 1e6; A += a - a0; B += b - b0
             if (S <= 0) { print "- - - 0"; exit }
             printf "%.3f %.3f %.3f %.1f\n", 100 * A / 1e9 / S, 100 * B / 1e9 / S, 100 * (A + B) / 1e9 / S, S }' "$@"
}

started=$(date +%s)
for round in $(seq "$rounds"); do
  for size in "${sizes[@]}"; do
    echo "round $round, $size: the saver walking, then the floor, ${walk_seconds}s each ..." >&2
    sway_at "$size"
    start_saver "$work/saver-$size-$round.trace"
    "${as_user[@]}" wtype d 2>/dev/null
    pause "$settle_seconds"
    sample "$walk_seconds" "$work/saver-$size-$round.samples" "$client_pid" "$sway_pid"
    rss_of "$client_pid" >>"$work/saver-$size.rss"
    stop_client
    "${as_user[@]}" "$work/floor" 10 >/dev/null 2>"$work/floor.err" &
    client_pid=$!
    pause "$settle_seconds"
    sample "$walk_seconds" "$work/floor10-$size-$round.samples" "$client_pid" "$sway_pid"
    rss_of "$client_pid" >>"$work/floor-$size.rss"
    end_sway
  done
  echo "round $round: falls of the saver (${fall_seconds}s), then the floor at 100 boxes/s ..." >&2
  sway_at 1920x1080
  start_saver "$work/falls-$round.trace"
  pause "$settle_seconds"
  sample "$fall_seconds" "$work/falls-$round.samples" "$client_pid" "$sway_pid"
  stop_client
  "${as_user[@]}" "$work/floor" 100 >/dev/null 2>"$work/floor.err" &
  client_pid=$!
  pause "$settle_seconds"
  sample "$walk_seconds" "$work/floor100-$round.samples" "$client_pid" "$sway_pid"
  end_sway
done
echo "first frames ..." >&2
sway_at 1920x1080
: >"$work/starts"
for i in $(seq "$starts"); do
  start_saver "$work/start$i.trace"
  first_frame_ms "$work/start$i.trace" >>"$work/starts"
  stop_client
  pause 1
done
end_sway

pairs() {  # prefix: trace and samples of every round
  local r
  for r in $(seq "$rounds"); do echo "$work/$1-$r.trace" "$work/$1-$r.samples"; done
}
declare -A fig
for size in "${sizes[@]}"; do
  # shellcheck disable=SC2046
  fig[saver,$size]=$(phase_cpu $(pairs "saver-$size") | phase_figure walk)
  fig[floor,$size]=$(whole_figure "$work"/floor10-"$size"-*.samples)
  fig[rss,$size]=$(sort -n "$work/saver-$size.rss" | tail -n1 | awk '{ printf "%.1f", $1 / 1024 }')
  fig[floorrss,$size]=$(sort -n "$work/floor-$size.rss" | tail -n1 | awk '{ printf "%.1f", $1 / 1024 }')
done
# shellcheck disable=SC2046
fig[drop]=$(phase_cpu $(pairs falls) | phase_figure drop)
fig[floor100]=$(whole_figure "$work"/floor100-*.samples)
fig[start]=$(sort -n "$work/starts" | awk '{ v[NR] = $1 } END { if (NR) printf "%.0f", v[int((NR + 1) / 2)] }')
fig[starts]=$(tr '\n' ' ' <"$work/starts")

col() { echo "${fig[$1]}" | awk -v i="$2" '{ print $i }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 > 0 && a != "-") printf "%.2fx", a / b; else printf "-" }'; }
row() { printf '%-40s %-22s %-22s %-8s %s\n' "$@"; }

qt=$(ldd "$work/saver/trenchwalk" 2>/dev/null | awk '/libQt6Core/ { print $3; exit }')
qt=$(readlink -f "$qt" 2>/dev/null | sed -n 's/.*libQt6Core\.so\.//p')
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
echo "Trenchwalk on Wayland: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) x ${cpu:-unknown CPU}, Qt ${qt:-unknown}," \
  "sway $(sway --version 2>/dev/null | awk '{ print $3 }') headless, pixman, output scale $scale"
echo "CPU in percent of one core: program / compositor = total; $rounds rounds, ${walk_seconds} s walking per size and round"
echo
row "" "saver" "floor" "ratio" "goal"
for size in "${sizes[@]}"; do
  s=${fig[saver,$size]}
  f=${fig[floor,$size]}
  row "walking $size" "$(col "saver,$size" 1) / $(col "saver,$size" 2) = $(col "saver,$size" 3)" \
    "$(col "floor,$size" 1) / $(col "floor,$size" 2) = $(col "floor,$size" 3)" \
    "$(ratio "$(col "saver,$size" 3)" "$(col "floor,$size" 3)")" "<= 1.3x"
  row "  program's own share" "" "" "$(ratio "$(col "saver,$size" 1)" "$(col "floor,$size" 1)")" "<= 2x"
  row "  walking time measured (s)" "$(col "saver,$size" 4)" "$(col "floor,$size" 4)" "" ""
done
row "3840x2160 minus 1920x1080 (points)" \
  "$(awk -v a="$(col saver,3840x2160 3)" -v b="$(col saver,1920x1080 3)" 'BEGIN { printf "%+.3f", a - b }')" \
  "$(awk -v a="$(col floor,3840x2160 3)" -v b="$(col floor,1920x1080 3)" 'BEGIN { printf "%+.3f", a - b }')" "" "<= +0.1"
row "drop of a fall (10 ms ticks) / floor 100/s" "$(col drop 1) / $(col drop 2) = $(col drop 3)" \
  "$(col floor100 1) / $(col floor100 2) = $(col floor100 3)" "$(ratio "$(col drop 3)" "$(col floor100 3)")" "<= 1.3x"
row "  time in drops, floor (s)" "$(col drop 4)" "$(col floor100 4)" "" ""
for size in "${sizes[@]}"; do
  row "peak RSS $size (MB)" "${fig[rss,$size]}" "${fig[floorrss,$size]}" "" "<= 40"
done
row "first frame after exec, median of $starts (ms)" "${fig[start]}" "" "" ""
row "  each start (ms)" "${fig[starts]}" "" "" ""
echo
echo "($(($(date +%s) - started)) s of runs)"
