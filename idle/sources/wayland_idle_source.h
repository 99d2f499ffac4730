// The session's idle time from a Wayland compositor: ext-idle-notify-v1 where
// it is offered, else KDE's org_kde_kwin_idle. Both already honour the
// desktop's idle inhibitors (a film, a view with inhibit_idle), so nothing is
// reported while one is active.
#pragma once

#include <cstdint>

#include "idle/decide/idle_events.h"
#include "idle/loop/idle_source.h"
#include "idle/sources/wayland_connection.h"

struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;

namespace tw::idle {

class WaylandIdleSource : public IdleSource {
 public:
  // Connects to WAYLAND_DISPLAY and asks for one notification after delayMs
  // of idle; failure() says why when that is not possible.
  WaylandIdleSource(std::uint32_t delayMs, IdleEvents& events);
  ~WaylandIdleSource() override;

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;
  // A new notification in place of the old, for the delay now: the
  // compositor counts its timeout from the new one's creation.
  void restartIdlePeriod() override;

  // What the compositor announced; public for the registry's callbacks.
  struct Globals {
    std::uint32_t extNotifier = 0;
    std::uint32_t kdeIdle = 0;
    std::uint32_t seat = 0;
  };
  Globals& globals() { return globals_; }
  IdleEvents& events() { return events_; }

 private:
  void askForNotification();

  Globals globals_;
  WaylandConnection wayland_;
  wl_seat* seat_ = nullptr;
  ext_idle_notifier_v1* extNotifier_ = nullptr;
  ext_idle_notification_v1* extNotification_ = nullptr;
  org_kde_kwin_idle* kdeIdle_ = nullptr;
  org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
};

}  // namespace tw::idle
