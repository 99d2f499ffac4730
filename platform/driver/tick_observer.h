// What a benchmark build watches the driver do. The program as shipped reads
// no command line, settings or environment, so tracing is a build of its own
// and never a switch: that build links an observer, the shipped one none.
#pragma once

#include <cstdint>
#include <memory>

#include "shell/scheduler.h"

namespace tw::platform {

// Told of every clock event the driver hands the core and of the first
// picture on the screen. It only watches: it never changes the run.
class TickObserver {
 public:
  virtual ~TickObserver() = default;
  // Before the clock event, at `nowNs` on the driver's clock (the core is
  // moved to the whole milliseconds of it).
  virtual void beforeTick(const Timers& timers, int64_t nowNs) = 0;
  // After it, with the timers as the tick left them.
  virtual void afterTick(const Timers& timers) = 0;
  // Once the scene window's first picture has been sent.
  virtual void firstFrame() = 0;
};

// The observer this build of the program gives the driver: none as shipped
// (start/no_tick_observer.cpp); a benchmark build links bench/bench_trace.cpp
// in its place.
std::unique_ptr<TickObserver> makeTickObserver();

}  // namespace tw::platform
