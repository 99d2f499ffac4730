#include "idle/sources/wayland_idle_source.h"

#include <wayland-client.h>

#include <cstring>

#include "ext-idle-notify-v1-client-protocol.h"
#include "org-kde-kwin-idle-client-protocol.h"

namespace tw::idle {
namespace {

WaylandIdleSource& sourceOf(void* data) { return *static_cast<WaylandIdleSource*>(data); }

void announced(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t) {
  WaylandIdleSource::Globals& globals = sourceOf(data).globals();
  if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0)
    globals.extNotifier = name;
  else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0)
    globals.kdeIdle = name;
  else if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals.seat == 0)
    globals.seat = name;
}

void withdrawn(void*, wl_registry*, std::uint32_t) {}

void becameIdle(void* data, ext_idle_notification_v1*) { sourceOf(data).events().sessionIdle(); }
void resumed(void* data, ext_idle_notification_v1*) { sourceOf(data).events().sessionActive(); }
void kdeBecameIdle(void* data, org_kde_kwin_idle_timeout*) {
  sourceOf(data).events().sessionIdle();
}
void kdeResumed(void* data, org_kde_kwin_idle_timeout*) { sourceOf(data).events().sessionActive(); }

// Listener tables must outlive the proxies they are set on; these are
// constants, shared by every source.
constexpr wl_registry_listener kRegistryListener{announced, withdrawn};
constexpr ext_idle_notification_v1_listener kExtListener{becameIdle, resumed};
constexpr org_kde_kwin_idle_timeout_listener kKdeListener{kdeBecameIdle, kdeResumed};

}  // namespace

WaylandIdleSource::WaylandIdleSource(std::uint32_t delayMs, IdleEvents& events)
    : IdleSource(delayMs, events), wayland_(kRegistryListener, this) {
  if (!wayland_) {
    failure_ = wayland_.failure();
    return;
  }
  wl_display* display = wayland_.display();
  const std::string at = "the Wayland compositor at " + wayland_.displayName();
  if (wl_display_roundtrip(display) < 0) {
    failure_ = at + " closed the connection";
    return;
  }
  if (globals_.extNotifier == 0 && globals_.kdeIdle == 0) {
    failure_ = at + " offers neither ext-idle-notify-v1 nor org_kde_kwin_idle";
    return;
  }
  if (globals_.seat == 0) {
    failure_ = at + " has no seat";
    return;
  }
  seat_ = wayland_.bind<wl_seat>(globals_.seat, wl_seat_interface);
  if (globals_.extNotifier != 0)
    extNotifier_ =
        wayland_.bind<ext_idle_notifier_v1>(globals_.extNotifier, ext_idle_notifier_v1_interface);
  else
    kdeIdle_ = wayland_.bind<org_kde_kwin_idle>(globals_.kdeIdle, org_kde_kwin_idle_interface);
  description_ = std::string(extNotifier_ != nullptr ? "ext-idle-notify-v1" : "org_kde_kwin_idle") +
                 " (Wayland, " + wayland_.displayName() + ")";
  askForNotification();
  // The compositor checks the requests now rather than in the first poll.
  if (wl_display_roundtrip(display) < 0) failure_ = at + " refused the idle notification";
}

void WaylandIdleSource::askForNotification() {
  if (extNotifier_ != nullptr) {
    extNotification_ = ext_idle_notifier_v1_get_idle_notification(extNotifier_, delayMs_, seat_);
    ext_idle_notification_v1_add_listener(extNotification_, &kExtListener, this);
  } else {
    kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(kdeIdle_, seat_, delayMs_);
    org_kde_kwin_idle_timeout_add_listener(kdeTimeout_, &kKdeListener, this);
  }
}

void WaylandIdleSource::restartIdlePeriod() {
  if (seat_ == nullptr) return;
  if (extNotification_ != nullptr) ext_idle_notification_v1_destroy(extNotification_);
  if (kdeTimeout_ != nullptr) org_kde_kwin_idle_timeout_release(kdeTimeout_);
  extNotification_ = nullptr;
  kdeTimeout_ = nullptr;
  askForNotification();
  // Sent with the next poll's flush.
}

WaylandIdleSource::~WaylandIdleSource() {
  if (extNotification_ != nullptr) ext_idle_notification_v1_destroy(extNotification_);
  if (extNotifier_ != nullptr) ext_idle_notifier_v1_destroy(extNotifier_);
  if (kdeTimeout_ != nullptr) org_kde_kwin_idle_timeout_release(kdeTimeout_);
  if (kdeIdle_ != nullptr) org_kde_kwin_idle_destroy(kdeIdle_);
  if (seat_ != nullptr) wl_seat_destroy(seat_);
}

bool WaylandIdleSource::prepare(PollRequest& request) { return wayland_.prepare(request); }

bool WaylandIdleSource::dispatch(short revents) { return wayland_.dispatch(revents); }

}  // namespace tw::idle
