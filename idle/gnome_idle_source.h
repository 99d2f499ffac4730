// The session's idle time from GNOME's compositor, mutter, over D-Bus
// (org.gnome.Mutter.IdleMonitor), where no Wayland idle protocol is offered.
// A watch fires at the delay and another at the next input; nothing is
// polled. mutter itself holds idle watches back while the session inhibits
// idle.
#pragma once

#include <cstdint>
#include <string>

#include "idle/idle_events.h"
#include "idle/idle_source.h"

struct sd_bus;
struct sd_bus_slot;

namespace tw::idle {

class GnomeIdleSource : public IdleSource {
 public:
  GnomeIdleSource(std::uint32_t delayMs, IdleEvents& events);
  ~GnomeIdleSource() override;
  GnomeIdleSource(const GnomeIdleSource&) = delete;
  GnomeIdleSource& operator=(const GnomeIdleSource&) = delete;

  // Empty when the source works.
  const std::string& failure() const { return failure_; }

  std::string description() const override;
  // A new idle watch in place of the old; mutter counts it from the last
  // input, so the desktop's own session manager is what holds idle back
  // there.
  void restartIdlePeriod() override;
  std::int64_t idleMs() override;
  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

  // For the bus's callbacks.
  void watchFired(std::uint32_t id);
  void activeWatchAdded(std::uint32_t id) { activeWatch_ = id; }
  void monitorGone() { monitorGone_ = true; }

 private:
  bool processQueued();

  IdleEvents& events_;
  std::string failure_;
  sd_bus* bus_ = nullptr;
  sd_bus_slot* firedSlot_ = nullptr;
  sd_bus_slot* ownerSlot_ = nullptr;
  std::uint32_t idleWatch_ = 0;
  std::uint32_t activeWatch_ = 0;
  bool monitorGone_ = false;
  std::uint32_t delayMs_ = 0;
};

}  // namespace tw::idle
