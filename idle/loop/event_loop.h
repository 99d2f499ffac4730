// The launcher's one loop: poll() over the idle source's connection, the
// other watched connections and a signalfd for the saver's end, SIGTERM,
// SIGINT and SIGHUP. It has no timer of its own: it sleeps until the desktop,
// a signal or a deadline a watch asked for wakes it. When the idle source's
// connection closes it looks for one again as the launcher decides, and
// leaves once the launcher gives up.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "idle/loop/idle_source.h"
#include "idle/decide/launcher.h"

namespace tw::idle {

// Finds the session's idle source, at the start and after it went away.
class SourcePicker {
 public:
  virtual ~SourcePicker() = default;
  // The source, reporting to the launcher, or null with why in `missing`.
  virtual std::unique_ptr<IdleSource> pick(Launcher& launcher, std::string& missing) = 0;
  // The source picked last is about to go; so must what was tied to it.
  virtual void lost() = 0;
};

// The launcher's children: collected when the loop hears SIGCHLD.
class Children {
 public:
  virtual ~Children() = default;
  // Collects every child that has ended, without waiting, and tells whoever
  // waits for it.
  virtual void reapEnded() = 0;
};

class EventLoop {
 public:
  // signalFd reads the signals named above, which the caller has blocked.
  EventLoop(SourcePicker& picker, std::unique_ptr<IdleSource> source, Launcher& launcher,
            Children& children, int signalFd)
      : picker_(picker),
        source_(std::move(source)),
        launcher_(launcher),
        children_(children),
        signalFd_(signalFd) {}

  // Polls this too, from the next round on, for as long as it is open; one
  // that closes is dropped, and the loop goes on without it. Safe to call
  // from inside a dispatch.
  void watch(Watched& watched) { added_.push_back(&watched); }

  // Runs until a signal asks it to stop or the idle source is gone for
  // good; the program's exit status.
  int run();

 private:
  // Reads every pending signal; false once one asked to stop.
  bool readSignals();
  // The source went or a look found none: false when the launcher gives up.
  bool sourceLost(const std::string& what);

  SourcePicker& picker_;
  std::unique_ptr<IdleSource> source_;
  Launcher& launcher_;
  Children& children_;
  int signalFd_;
  std::vector<Watched*> extras_;
  std::vector<Watched*> added_;
  // When to look for a source again (CLOCK_MONOTONIC, microseconds), while
  // none is found.
  std::optional<std::uint64_t> lookAtUs_;
};

}  // namespace tw::idle
