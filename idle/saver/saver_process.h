// The saver as a child process: started with posix_spawn from its path, with
// the write end of a heartbeat pipe as its descriptor 3
// (TRENCHWALK_HEARTBEAT_FD=3 in its environment), and reaped when the loop
// learns that a child ended. While it runs, the loop polls the pipe's read
// end; a saver that falls silent is reported hung, and one asked to end that
// does not is killed. With no saver running it asks the loop for nothing.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "idle/loop/watched.h"
#include "idle/decide/launcher.h"
#include "idle/decide/monotonic_clock.h"
#include "idle/decide/saver_liveness.h"
#include "idle/loop/event_loop.h"

namespace tw::idle {

// The saver's descriptor for the heartbeat pipe, and the variable naming it.
inline constexpr int kHeartbeatFd = 3;
inline constexpr const char* kHeartbeatVariable = "TRENCHWALK_HEARTBEAT_FD";

class SaverProcess : public Watched, public Children {
 public:
  SaverProcess(std::string path, MonotonicClock& clock) : path_(std::move(path)), clock_(clock) {}
  ~SaverProcess() override;
  SaverProcess(const SaverProcess&) = delete;
  SaverProcess& operator=(const SaverProcess&) = delete;

  // Where a saver that falls silent is reported.
  void reportHungTo(Launcher& launcher) { launcher_ = &launcher; }

  const std::string& path() const { return path_; }
  bool running() const { return pid_ > 0; }
  StartResult start();
  // SIGTERM, which the saver takes as a key, and SIGCONT so that a stopped
  // one can act on it; SIGKILL kKillAfterMs later if it has not ended.
  void end();
  // Collects the saver if it has ended, without waiting; true, with how it
  // ended, when it had.
  bool reap(SaverEnd& end);
  // Reaps the saver if it has ended and tells the launcher how.
  void reapEnded() override {
    SaverEnd end;
    if (reap(end) && launcher_ != nullptr) launcher_->saverEnded(end);
  }

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

 private:
  void closeHeartbeat();

  std::string path_;
  MonotonicClock& clock_;
  Launcher* launcher_ = nullptr;
  pid_t pid_ = -1;
  int heartbeat_ = -1;
  SaverLiveness liveness_;
};

}  // namespace tw::idle
