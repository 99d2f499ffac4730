// The session's idle time from GNOME's compositor, mutter, over D-Bus
// (org.gnome.Mutter.IdleMonitor), where no Wayland idle protocol is offered.
// A watch fires at the delay and another at the next input; nothing is
// polled: the launcher's session bus brings the watches' signals, from
// the monitor's owner only. mutter itself holds idle watches back while the
// session inhibits idle.
#pragma once

#include <cstdint>
#include <optional>

#include "idle/bus/name_watch.h"
#include "idle/decide/idle_events.h"
#include "idle/loop/idle_source.h"

namespace tw::idle {

class GnomeIdleSource : public IdleSource {
 public:
  GnomeIdleSource(Bus& user, std::uint32_t delayMs, IdleEvents& events);
  ~GnomeIdleSource() override;

  std::optional<std::int64_t> idleMs() override;
  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;
  // mutter times an idle watch from the last input, so a new one for the
  // delay would fire at once after a long absence. A watch for the idle time
  // now plus the delay counts from now instead; until it or the next input
  // comes, the plain watch is not heard.
  void restartIdlePeriod() override;

 private:
  // The standing idle watch holds the delay: a new one at the new delay, the
  // old one removed.
  void watchDelay() override;
  void watchFired(std::uint32_t id);
  // 0 when mutter refused it: the next idle period asks again.
  void activeWatchAdded(std::uint32_t id) {
    activeWatch_ = id;
    activeAsked_ = id != 0;
  }
  void removeWatch(std::uint32_t id);
  void addActiveWatch();
  void dropRestartWatch();

  Bus& bus_;
  NameWatch monitor_;
  BusSlot fired_;
  BusSlot activeAdded_;
  std::uint32_t idleWatch_ = 0;
  std::uint32_t activeWatch_ = 0;
  std::uint32_t restartWatch_ = 0;
  bool activeAsked_ = false;
  bool idleReported_ = false;
  bool monitorGone_ = false;
};

}  // namespace tw::idle
