// The session's idle source and what is tied to it: on X11 the watch for a
// locker holding the keyboard, and on bare X11 the X server's screen saver
// and DPMS; on Wayland the outputs' power. At the start the first
// source the session offers, in order of preference; once that went away,
// only one of the same kind (GNOME Shell restarting on X11 leaves the X
// server's idle time there, which knows nothing of GNOME's inhibitors).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "idle/bus/bus.h"
#include "idle/dark/wayland_dark_watch.h"
#include "idle/dark/x11_dark_watch.h"
#include "idle/decide/idle_events.h"
#include "idle/decide/launcher.h"
#include "idle/locks/x11_lock_watch.h"
#include "idle/loop/event_loop.h"
#include "idle/loop/idle_source.h"
#include "idle/loop/watched.h"
#include "idle/saver/saver_process.h"

namespace tw::idle {

enum class SourceKind { Wayland, Gnome, X11 };

struct FoundSource {
  std::unique_ptr<IdleSource> source;
  SourceKind kind;
};

// The first idle source that works, in order of preference: the Wayland
// protocols, GNOME's idle monitor, the X server's idle time; of the kind
// `only` alone when one is given. None, with why each failed in `missing`,
// when none works.
std::optional<FoundSource> findIdleSource(Bus& user, std::uint32_t delayMs, IdleEvents& events,
                                          std::optional<SourceKind> only, std::string& missing);

// A watch made with the source and gone with it, in a place the loop polls
// for the launcher's whole life: it asks for nothing while there is none, or
// once its connection has closed.
class TiedWatch : public Watched {
 public:
  void hold(std::unique_ptr<Watched> watch) {
    watch_ = std::move(watch);
    open_ = watch_ != nullptr;
  }
  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

 private:
  std::unique_ptr<Watched> watch_;
  bool open_ = false;
};

// Picks the source for the loop, and makes the watches tied to it.
class Desktop : public SourcePicker {
 public:
  Desktop(Bus& user, std::uint32_t delayMs, const SaverProcess& saver)
      : user_(user), delayMs_(delayMs), saver_(saver) {}

  std::unique_ptr<IdleSource> pick(Launcher& launcher, std::string& missing) override;
  void lost() override;

  // The source in use, and its X11 lock watch; null between a source going
  // away and its return, and the watch off X11.
  IdleSource* source() const { return source_; }
  X11LockWatch* x11LockWatch() const { return x11_; }
  // The delay of a source found from now on (the settings file's).
  void setDelayMs(std::uint32_t delayMs) { delayMs_ = delayMs; }

  // What the loop polls for the watches tied to the source.
  TiedWatch& x11Lock() { return x11Lock_; }
  TiedWatch& x11Dark() { return x11Dark_; }
  TiedWatch& waylandDark() { return waylandDark_; }

 private:
  Bus& user_;
  std::uint32_t delayMs_;
  const SaverProcess& saver_;
  std::optional<SourceKind> kind_;
  IdleSource* source_ = nullptr;
  X11LockWatch* x11_ = nullptr;
  X11DarkWatch* x11DarkNow_ = nullptr;
  WaylandDarkWatch* waylandDarkNow_ = nullptr;
  TiedWatch x11Lock_;
  TiedWatch x11Dark_;
  TiedWatch waylandDark_;
};

}  // namespace tw::idle
