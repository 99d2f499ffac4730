# Sourced by the benchmark scripts: what they share.

# pause SECONDS: sleeps without a child process, by a read that times out on
# the FIFO the script holds open as $never.
pause() { read -r -t "$1" -u "$never" _; }

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
