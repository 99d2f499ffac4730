// The saver's news for the launcher: its heartbeat, polled by the loop, and
// its end, reaped when the loop hears SIGCHLD. Built once both the saver and
// the launcher exist.
#pragma once

#include <cstdint>
#include <optional>

#include "idle/decide/launcher.h"
#include "idle/loop/event_loop.h"
#include "idle/loop/watched.h"
#include "idle/saver/saver_process.h"

namespace tw::idle {

class SaverWatch : public Watched, public Children {
 public:
  SaverWatch(SaverProcess& saver, Launcher& launcher) : saver_(saver), launcher_(launcher) {}

  bool prepare(PollRequest& request) override {
    saver_.pollHeartbeat(request);
    return true;
  }
  bool dispatch(short revents) override {
    if (const std::optional<std::int64_t> silentMs = saver_.heard(revents))
      launcher_.saverHung(*silentMs);
    return true;
  }
  void reapEnded() override {
    if (const std::optional<SaverEnd> end = saver_.reap()) launcher_.saverEnded(*end);
  }

 private:
  SaverProcess& saver_;
  Launcher& launcher_;
};

}  // namespace tw::idle
