// The saver's core: the scene, the timers and the subsystems that own the
// rest of the state, wired together once. It does nothing but deliver events:
// start-up, key releases, clicks and timer ticks each run one handler to its
// end. A run-time error that a handler does not trap is shown and ends the
// run; nothing is delivered once the run has ended, and no event runs inside
// another (a modal box inside a handler included).
#pragma once

#include <cstdint>
#include <optional>

#include "input/commands.h"
#include "log/log_store.h"
#include "shell/clock.h"
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
  // `clock` is the saver's own time, which the core moves.
  Core(Services& services, Clock& clock);
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  void start();
  void keyUp(int keyCode);
  // A click at a point of the window, in twips: a click on a visible caption's
  // box or on the walker's picture belongs to that element and does nothing.
  void clickAt(float x, float y);
  // An end asked from outside the window (the session or its unit stops, a
  // terminal is closed or interrupted): the run ends as a key ends it, with
  // its record. Asked while a handler runs (waiting on a message box), the
  // end comes as soon as that handler has returned; once the run has ended,
  // it does nothing.
  void endRequested();

  // Virtual time: runs every tick due up to `ms`, each exactly at its due time.
  void advanceTo(int64_t ms);
  void advanceBy(int64_t ms) { advanceTo(clock_.now() + ms); }
  // Real time: each overdue timer ticks once, however far behind the clock is.
  void catchUp(int64_t ms);
  // The next due time of any running timer; none once the run has ended.
  std::optional<int64_t> nextDue() const;
  int64_t now() const { return clock_.now(); }

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

  template <class Handler>
  void dispatch(Handler&& handler);
  void tick(TimerId id) override;
  void onStart();

  Services& services_;
  Clock& clock_;
  Scene scene_;
  Timers timers_;
  Scheduler scheduler_;
  Random random_;
  RunState run_;
  Motion motion_;
  Course course_;
  Fall fall_;
  Wave wave_;
  LogStore log_;
  Commands commands_;
  bool handlerRunning_ = false;
  // An end asked while a handler ran, still to come.
  bool endPending_ = false;
};

}  // namespace tw
