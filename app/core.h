// The saver's core: the scene, the timers and the subsystems that own the
// rest of the state, wired together once. It does nothing but deliver events:
// start-up, key releases, clicks and timer ticks each run one handler to its
// end. What a handler shows, opens or says it queues, and the platform takes
// it once the handler has returned. A box is modal: while one waits for its
// answer, no event reaches a handler and no time passes; what the handler
// left for after it runs once it is answered. A run-time error that a
// handler does not trap is shown and ends the run; nothing is delivered once
// the run has ended.
#pragma once

#include <cstdint>
#include <optional>

#include "input/commands.h"
#include "log/log_disk.h"
#include "log/log_store.h"
#include "shell/virtual_time.h"
#include "shell/outbox.h"
#include "shell/random.h"
#include "shell/run_state.h"
#include "shell/scene.h"
#include "shell/scheduler.h"
#include "shell/services.h"
#include "walk/course.h"
#include "walk/fall.h"
#include "walk/motion.h"
#include "walk/wave.h"

namespace tw {
namespace test {
class Stage;
}  // namespace test

class Core : private TickHandler {
 public:
  // `disk` is the way to the log's files; `time` is the saver's own, which
  // the core moves.
  Core(Services& services, LogDisk& disk, VirtualTime& time);
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  void start();
  void keyUp(int keyCode);
  // A click at a point of the window, in twips: a click on a visible caption's
  // box or on the walker's picture belongs to that element and does nothing.
  void clickAt(float x, float y);
  // A click outside the scene window (on a cover): no element is there.
  void clickOutside();
  // An end asked from outside the window (the session or its unit stops, a
  // terminal is closed or interrupted): the run ends as a key ends it, with
  // its record. A box waiting for its answer counts as answered first (the
  // platform closes it); once the run has ended, it does nothing.
  void endRequested();

  // What the platform is to do next, in the order the handlers asked; none
  // while a box taken earlier waits for its answer.
  std::optional<Request> takeRequest() { return outbox_.take(); }
  // The box taken last has been closed: what its handler left for after it
  // runs.
  void boxAnswered();

  // Virtual time: runs every tick due up to `ms`, each exactly at its due time.
  void advanceTo(int64_t ms);
  void advanceBy(int64_t ms) { advanceTo(time_.now() + ms); }
  // Real time: each overdue timer ticks once, however far behind the time is.
  void catchUp(int64_t ms);
  // The next due time of any running timer; none once the run has ended or
  // while a box holds the time still.
  std::optional<int64_t> nextDue() const;
  int64_t now() const { return time_.now(); }

  bool ended() const override { return run_.ended(); }
  ExitStatus exitStatus() const { return run_.exitStatus(); }

  // What the platform paints from.
  const Scene& scene() const { return scene_; }
  // When each timer is due, for the benchmark trace.
  const Timers& timers() const { return timers_; }
  // Whether the walker walks, falls or waves.
  Mode mode() const { return motion_.mode(); }

 private:
  // The test harness stages scenarios in the parts and runs one handler at a
  // time through it; the program itself only delivers events.
  friend class test::Stage;

  // Runs a handler unless the run has ended; an error it does not trap ends
  // the run and queues its box.
  template <class Handler>
  void runHandler(Handler&& handler);
  // An event's handler, unless a box holds the events back.
  template <class Handler>
  void dispatch(Handler&& handler);
  void tick(TimerId id) override;
  void onStart();

  Services& services_;
  VirtualTime& time_;
  Scene scene_;
  Timers timers_;
  Scheduler scheduler_;
  Random random_;
  RunState run_;
  Outbox outbox_;
  Motion motion_;
  Course course_;
  Fall fall_;
  Wave wave_;
  LogStore log_;
  Commands commands_;
};

}  // namespace tw
