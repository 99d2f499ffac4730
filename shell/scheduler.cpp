#include "shell/scheduler.h"

#include <algorithm>

namespace tw {

// Only the walk runs from the start.
Timers::Timers(const VirtualTime& time)
    : walkTimer(time, true, kWalkInterval),
      messageTimeout(time, false, kMessageTimeout),
      fallTimer(time, false, kFirstFallInterval),
      waveTimer(time, false, kWaveIntervalUnset) {}

std::optional<int64_t> Scheduler::nextDue() const {
  std::optional<int64_t> next;
  for (TimerId id : kTimerIds) {
    const Timer& t = timers_[id];
    if (t.running() && (!next || t.due() < *next)) next = t.due();
  }
  return next;
}

void Scheduler::advanceTo(int64_t ms, TickHandler& handler) {
  runDue(ms, Drive::Virtual, handler);
  time_.set(std::max(time_.now(), ms));
}

void Scheduler::catchUp(int64_t ms, TickHandler& handler) {
  time_.set(std::max(time_.now(), ms));
  runDue(time_.now(), Drive::RealTime, handler);
}

void Scheduler::runDue(int64_t limit, Drive drive, TickHandler& handler) {
  std::array<bool, kTimerIds.size()> ticked{};
  while (!handler.ended()) {
    std::optional<TimerId> first;
    for (TimerId id : kTimerIds) {
      const Timer& t = timers_[id];
      if (ticked[static_cast<size_t>(id)] || !t.running() || t.due() > limit) continue;
      if (!first || t.due() < timers_[*first].due()) first = id;
    }
    if (!first) break;
    Timer& t = timers_[*first];
    const int64_t due = t.due();
    if (drive == Drive::Virtual) {
      time_.set(due);
    } else {
      ticked[static_cast<size_t>(*first)] = true;
    }
    handler.tick(*first);
    // A handler that restarted its own count has set its next due time itself.
    if (t.due() != due) continue;
    int64_t next = due + t.interval();
    // In real time the phase is kept, so a minute holds its 600 walk ticks;
    // after a stall the missed ticks are dropped rather than run in a burst.
    if (drive == Drive::RealTime && next <= time_.now()) next = time_.now() + t.interval();
    t.setDue(next);
  }
}

}  // namespace tw
