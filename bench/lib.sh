# shellcheck shell=bash
# Sourced by the benchmark scripts: what they share.
# shellcheck disable=SC2034  # the variables set here are the scripts' to read
set -u
export LC_ALL=C
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The screen sizes every run is measured at, and the wait after a start
# before measuring.
sizes=(1920x1080 3840x2160)
settle_seconds=3

# die MESSAGE: says under the script's name why the benchmark stops, and
# stops it.
die() { echo "${0##*/}: $*" >&2; exit 1; }

# bench_options NAME WALK FALL STARTS ARGUMENTS...: what every cost script is
# told: the folder of its builds (its first argument, else
# $TMPDIR/trenchwalk-NAME) into $root, and WALK_SECONDS, FALL_SECONDS and
# STARTS, with this script's defaults, into $walk_seconds, $fall_seconds and
# $starts.
bench_options() {
  root=${5:-${TMPDIR:-/tmp}/trenchwalk-$1}
  walk_seconds=${WALK_SECONDS:-$2}
  fall_seconds=${FALL_SECONDS:-$3}
  starts=${STARTS:-$4}
}

# build_trace_saver FOLDER CMAKE_OPTIONS...: a Release build of the saver with
# its tick trace (bench/bench_trace.h) in FOLDER, its logs beside it.
build_trace_saver() {
  local folder=$1
  shift
  echo "building the saver in $folder ..." >&2
  cmake -S "$source_dir" -B "$folder" -DCMAKE_BUILD_TYPE=Release -DTRENCHWALK_TESTS=OFF \
    -DTRENCHWALK_BENCH=OFF -DTRENCHWALK_BENCH_TRACE=ON "$@" >"$folder.configure.log" 2>&1 ||
    die "configuring failed: see $folder.configure.log"
  cmake --build "$folder" --target trenchwalk -j"$(nproc)" >"$folder.build.log" 2>&1 ||
    die "building failed: see $folder.build.log"
}

# make_work NAME: a fresh folder for the run in $work, with the FIFO that
# pause reads held open as $never; at exit the script's stop_all ends what
# still runs, and the folder goes.
make_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/trenchwalk-$1.XXXXXX") || die "cannot make a work folder"
  trap 'stop_all; rm -rf "$work"' EXIT
  mkfifo "$work/never"
  exec {never}<>"$work/never"
}

# pause SECONDS: sleeps without a child process, by a read that times out on
# the FIFO the script holds open as $never.
pause() { read -r -t "$1" -u "$never" _; }

# first_frame_ms TRACE: milliseconds from the start written in TRACE.t0 to
# the first frame the saver's trace TRACE records.
first_frame_ms() {
  local t0 t1
  t0=$(cat "$1.t0")
  t0=$((${t0%.*} * 1000000 + 10#${t0#*.}))
  t1=$(awk '$1 == "first-frame" { print $2; exit }' "$1")
  echo $(((t1 - t0) / 1000))
}

# cpu_ns PID: nanoseconds on the CPU of process PID, all its threads, into
# $ns; builtins only, so that sampling forks nothing.
cpu_ns() {
  local f s
  ns=0
  for f in /proc/"$1"/task/*/schedstat; do
    read -r s _ <"$f" 2>/dev/null && ns=$((ns + s))
  done
}

# sample SECONDS FILE PROGRAM_PID SERVER_PID: every 50 ms for SECONDS, one
# line "time program-ns server-ns" into FILE.
sample() {
  local t us until mine out
  t=$EPOCHREALTIME
  until=$(((${t%.*} + $1) * 1000000 + 10#${t#*.}))
  exec {out}>"$2"
  while :; do
    t=$EPOCHREALTIME
    us=$((${t%.*} * 1000000 + 10#${t#*.}))
    [ "$us" -ge "$until" ] && break
    cpu_ns "$3"
    mine=$ns
    cpu_ns "$4"
    echo "$t $mine $ns" >&"$out"
    pause 0.05
  done
  exec {out}>&-
}

# phase_cpu TRACE SAMPLES [TRACE SAMPLES...]
#   Reads the traced saver's tick lines and the CPU samples taken beside them
#   in pairs, and prints per phase (walk, drop, other) the wall time (µs), the
#   program's CPU and the server's or compositor's CPU (ns), each sample's CPU
#   shared among the phases in proportion to the time it spent in each.
phase_cpu() {
  awk '
    function us(s,   p) { p = index(s, "."); return substr(s, 1, p - 1) * 1000000 + substr(s, p + 1) }
    function share(t0, t1, da, db,   k, s, e, f) {
      for (k = 1; k <= n; k++) {
        s = pt[k] > t0 ? pt[k] : t0
        e = (k < n ? pt[k + 1] : last) < t1 ? (k < n ? pt[k + 1] : last) : t1
        if (e <= s) continue
        f = (e - s) / (t1 - t0)
        T[pp[k]] += e - s; A[pp[k]] += da * f; B[pp[k]] += db * f
      }
    }
    FNR == 1 { file++; have = 0; if (file % 2 == 1) n = 0 }
    file % 2 == 1 && $1 == "tick" {
      ph = $5 == 1 ? "walk" : ($6 == 1 && $7 == 10 ? "drop" : "other")
      if (n == 0 || pp[n] != ph) { n++; pt[n] = $2; pp[n] = ph }
      last = $2
      next
    }
    file % 2 == 0 && NF == 3 {
      t = us($1)
      if (have && t > t0) share(t0, t, $2 - a0, $3 - b0)
      t0 = t; a0 = $2; b0 = $3; have = 1
    }
    END { for (p in T) printf "%s %.0f %.0f %.0f\n", p, T[p], A[p], B[p] }
  ' "$@"
}
