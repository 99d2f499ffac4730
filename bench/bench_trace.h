// Benchmark instrumentation, linked into the saver only with the CMake option
// TRENCHWALK_BENCH_TRACE (off by default), as the driver's TickObserver: the
// shipped program reads no command line, settings or environment, so the
// trace is a separate build, never a switch. It writes one line per timer tick
// and one for the first picture on the screen to stderr, for
// bench/x11_cost.sh and bench/wayland_cost.sh:
//
//   first-frame <realtime µs>
//   tick <realtime µs> <timer> <late µs> <walk running> <fall running> <fall interval> <due ms>
//
// Realtime microseconds, so that a script can line the lines up with its own
// samples of /proc (bash's $EPOCHREALTIME). Lateness and the due time are on
// the driver's clock (the window's milliseconds). The timer states are read
// after the tick, so a tick that leaves the fall timer at 10 ms starts (or
// continues) the fall's drop.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/driver/tick_observer.h"
#include "shell/scheduler.h"

namespace tw::bench {

class BenchTrace : public platform::TickObserver {
 public:
  BenchTrace();
  ~BenchTrace() override;
  BenchTrace(const BenchTrace&) = delete;
  BenchTrace& operator=(const BenchTrace&) = delete;

  // Before the clock event: which timers are due at `nowNs` (the driver's
  // clock), and how late each is.
  void beforeTick(const Timers& timers, int64_t nowNs) override;
  // After it: one line per timer that ticked.
  void afterTick(const Timers& timers) override;
  void firstFrame() override;

 private:
  void flush();
  void append(std::string_view text);
  void append(int64_t number);
  int64_t realtimeUs() const;

  std::array<bool, kTimerIds.size()> due_{};
  std::array<int64_t, kTimerIds.size()> dueMs_{};
  std::array<int64_t, kTimerIds.size()> lateUs_{};
  std::string buffer_;
  int64_t bufferedSinceUs_ = 0;
};

}  // namespace tw::bench
