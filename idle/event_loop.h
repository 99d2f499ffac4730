// The launcher's one loop: poll() over the idle source's connection and a
// signalfd for the saver's end, SIGTERM, SIGINT and SIGHUP. It has no timer
// of its own: it sleeps until the desktop or a signal wakes it.
#pragma once

#include "idle/idle_source.h"
#include "idle/launcher.h"
#include "idle/saver_process.h"

namespace tw::idle {

class EventLoop {
 public:
  // signalFd reads the signals named above, which the caller has blocked.
  EventLoop(IdleSource& source, Launcher& launcher, SaverProcess& saver, int signalFd)
      : source_(source), launcher_(launcher), saver_(saver), signalFd_(signalFd) {}

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
};

}  // namespace tw::idle
