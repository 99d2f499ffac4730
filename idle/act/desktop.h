// The session's idle source and what is tied to it: on X11 the watch for a
// locker holding the keyboard, on the same server. At the start the first
// source the session offers, in order of preference; once that went away,
// only one of the same kind (GNOME Shell restarting on X11 leaves the X
// server's idle time there, which knows nothing of GNOME's inhibitors).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "idle/bus/bus.h"
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

// Picks the source for the loop and polls the X11 lock watch made with it,
// for as long as that watch's connection is open.
class Desktop : public SourcePicker, public Watched {
 public:
  Desktop(Bus& user, std::uint32_t delayMs, const SaverProcess& saver)
      : user_(user), delayMs_(delayMs), saver_(saver) {}

  std::unique_ptr<IdleSource> pick(Launcher& launcher, std::string& missing) override;
  // The delay of a source found from now on (the settings file's).
  void setDelayMs(std::uint32_t delayMs) { delayMs_ = delayMs; }
  void lost() override;

  // The source in use, and its X11 lock watch; null between a source going
  // away and its return, and the watch off X11.
  IdleSource* source() const { return source_; }
  X11LockWatch* x11LockWatch() const { return x11_.get(); }

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

 private:
  Bus& user_;
  std::uint32_t delayMs_;
  const SaverProcess& saver_;
  std::optional<SourceKind> kind_;
  IdleSource* source_ = nullptr;
  std::unique_ptr<X11LockWatch> x11_;
  bool x11Open_ = false;
};

}  // namespace tw::idle
