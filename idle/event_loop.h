// The launcher's one loop: poll() over the idle source's connection, the
// other watched connections and a signalfd for the saver's end, SIGTERM,
// SIGINT and SIGHUP. It has no timer of its own: it sleeps until the desktop,
// a signal or a deadline a watch asked for wakes it.
#pragma once

#include <vector>

#include "idle/idle_source.h"
#include "idle/launcher.h"
#include "idle/saver_process.h"

namespace tw::idle {

class EventLoop {
 public:
  // signalFd reads the signals named above, which the caller has blocked.
  EventLoop(IdleSource& source, Launcher& launcher, SaverProcess& saver, int signalFd)
      : source_(source), launcher_(launcher), saver_(saver), signalFd_(signalFd) {}

  // Polls this too, from the next round on, for as long as it is open; one
  // that closes is dropped, and the loop goes on without it. Safe to call
  // from inside a dispatch.
  void watch(Watched& watched) { added_.push_back(&watched); }

  // Runs until a signal asks it to stop or the connection closes; the
  // program's exit status.
  int run();

 private:
  // Reads every pending signal; false once one asked to stop.
  bool readSignals();

  IdleSource& source_;
  Launcher& launcher_;
  SaverProcess& saver_;
  int signalFd_;
  std::vector<Watched*> extras_;
  std::vector<Watched*> added_;
};

}  // namespace tw::idle
