#include "app/core.h"

#include <utility>

#include "shell/text.h"

namespace tw {

Core::Core(Services& services, LogDisk& disk, VirtualTime& time)
    : services_(services),
      time_(time),
      scene_(services),
      timers_(time),
      scheduler_(time, timers_),
      motion_(timers_.walkTimer, timers_.fallTimer, timers_.waveTimer),
      course_(services, scene_, motion_, random_),
      fall_(services, scene_, motion_, random_, course_),
      wave_(scene_, timers_.messageTimeout, motion_, course_),
      log_(services, outbox_, disk, scene_, run_),
      commands_(outbox_, scene_, course_, wave_, log_) {}

template <class Handler>
void Core::runHandler(Handler&& handler) {
  if (run_.ended()) return;
  try {
    std::forward<Handler>(handler)();
  } catch (const RunTimeError& error) {
    // No handler traps its own errors: the run ends and the error is shown.
    run_.end(ExitStatus::AfterRunTimeError);
    outbox_.push(RunTimeErrorBox{error.number(), error.what()});
  }
}

template <class Handler>
void Core::dispatch(Handler&& handler) {
  if (outbox_.holdsBox()) return;
  runHandler(std::forward<Handler>(handler));
}

void Core::boxAnswered() {
  for (const std::function<void()>& next : outbox_.answered()) runHandler(next);
}

void Core::start() {
  dispatch([this] { onStart(); });
}

void Core::onStart() {
  log_.prepareLog();
  course_.enableFalls();
  random_.reseed(secondsSinceMidnight(services_.localTime()));
  scene_.walker.visible = true;
  scene_.clock.setAutoSize(true);
  wave_.showMessage("Press F1 for Help");
  wave_.startTimeOut();
  // The window takes the screen's size as the first course is laid.
  course_.setUpCourse();
}

void Core::keyUp(int keyCode) {
  dispatch([this, keyCode] { commands_.onKeyUp(keyCode); });
}

void Core::clickAt(float x, float y) {
  if (scene_.elementAt(x, y)) return;
  dispatch([this] { commands_.onClick(); });
}

void Core::clickOutside() {
  dispatch([this] { commands_.onClick(); });
}

void Core::endRequested() {
  boxAnswered();
  runHandler([this] { log_.saveLogAndQuit(); });
}

void Core::tick(TimerId id) {
  switch (id) {
    case TimerId::Walk: dispatch([this] { course_.walkTick(); }); break;
    case TimerId::MessageTimeout: dispatch([this] { wave_.messageTimedOut(); }); break;
    case TimerId::Fall: dispatch([this] { fall_.fallTick(); }); break;
    case TimerId::Wave: dispatch([this] { wave_.waveTick(); }); break;
  }
}

std::optional<int64_t> Core::nextDue() const {
  if (run_.ended() || outbox_.holdsBox()) return std::nullopt;
  return scheduler_.nextDue();
}

void Core::advanceTo(int64_t ms) {
  if (outbox_.holdsBox()) return;
  scheduler_.advanceTo(ms, *this);
}

void Core::catchUp(int64_t ms) {
  if (run_.ended() || outbox_.holdsBox()) return;
  scheduler_.catchUp(ms, *this);
}

}  // namespace tw
