#include "app/core.h"

#include <utility>

#include "shell/text.h"

namespace tw {

Core::Core(Services& services, Clock& clock)
    : services_(services),
      clock_(clock),
      scene_(services),
      timers_(clock),
      scheduler_(clock, timers_),
      motion_(timers_.walkTimer, timers_.fallTimer, timers_.waveTimer),
      course_(services, scene_, motion_, random_),
      fall_(services, scene_, motion_, random_, course_),
      wave_(scene_, timers_.messageTimeout, motion_, course_),
      log_(services, scene_, run_),
      commands_(services, scene_, course_, wave_, log_) {}

template <class Handler>
void Core::dispatch(Handler&& handler) {
  if (run_.ended() || handlerRunning_) return;
  handlerRunning_ = true;
  try {
    std::forward<Handler>(handler)();
  } catch (const RunTimeError& error) {
    // No handler traps its own errors: the error is shown and the run ends.
    handlerRunning_ = false;
    run_.end(ExitStatus::AfterRunTimeError);
    services_.runTimeErrorBox(error);
    return;
  }
  handlerRunning_ = false;
  if (endPending_) {
    endPending_ = false;
    endRequested();
  }
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
  scene_.width = scene_.screenWidth();
  scene_.height = scene_.screenHeight();
  wave_.showMessage("Press F1 for Help");
  wave_.startTimeOut();
  course_.setUpCourse();
}

void Core::keyUp(int keyCode) {
  dispatch([this, keyCode] { commands_.onKeyUp(keyCode); });
}

void Core::clickAt(float x, float y) {
  if (scene_.elementAt(x, y)) return;
  dispatch([this] { commands_.onClick(); });
}

void Core::endRequested() {
  if (handlerRunning_) {
    endPending_ = true;
    return;
  }
  dispatch([this] { log_.saveLogAndQuit(); });
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
  if (run_.ended()) return std::nullopt;
  return scheduler_.nextDue();
}

void Core::advanceTo(int64_t ms) {
  if (handlerRunning_) return;
  scheduler_.advanceTo(ms, *this);
}

void Core::catchUp(int64_t ms) {
  if (handlerRunning_ || run_.ended()) return;
  scheduler_.catchUp(ms, *this);
}

}  // namespace tw
