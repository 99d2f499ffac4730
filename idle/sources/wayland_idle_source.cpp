#include "idle/sources/wayland_idle_source.h"

#include <wayland-client.h>

#include <cstdlib>
#include <cstring>

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle/sources/wayland_poll.h"
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
    : events_(events), delayMs_(delayMs) {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (name == nullptr || name[0] == '\0') {
    failure_ = "WAYLAND_DISPLAY is not set";
    return;
  }
  displayName_ = name;
  display_ = wl_display_connect(nullptr);
  if (display_ == nullptr) {
    failure_ = "no Wayland compositor answers at WAYLAND_DISPLAY=" + displayName_;
    return;
  }
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  if (wl_display_roundtrip(display_) < 0) {
    failure_ = "the Wayland compositor at " + displayName_ + " closed the connection";
    return;
  }
  if (globals_.extNotifier == 0 && globals_.kdeIdle == 0) {
    failure_ = "the Wayland compositor at " + displayName_ +
               " offers neither ext-idle-notify-v1 nor org_kde_kwin_idle";
    return;
  }
  if (globals_.seat == 0) {
    failure_ = "the Wayland compositor at " + displayName_ + " has no seat";
    return;
  }
  seat_ = static_cast<wl_seat*>(wl_registry_bind(registry_, globals_.seat, &wl_seat_interface, 1));
  if (globals_.extNotifier != 0)
    extNotifier_ = static_cast<ext_idle_notifier_v1*>(
        wl_registry_bind(registry_, globals_.extNotifier, &ext_idle_notifier_v1_interface, 1));
  else
    kdeIdle_ = static_cast<org_kde_kwin_idle*>(
        wl_registry_bind(registry_, globals_.kdeIdle, &org_kde_kwin_idle_interface, 1));
  askForNotification();
  // The compositor checks the requests now rather than in the first poll.
  if (wl_display_roundtrip(display_) < 0)
    failure_ = "the Wayland compositor at " + displayName_ + " refused the idle notification";
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
  if (display_ == nullptr || seat_ == nullptr) return;
  if (extNotification_ != nullptr) ext_idle_notification_v1_destroy(extNotification_);
  if (kdeTimeout_ != nullptr) org_kde_kwin_idle_timeout_release(kdeTimeout_);
  extNotification_ = nullptr;
  kdeTimeout_ = nullptr;
  askForNotification();
  // Sent with the next poll's flush.
}

// The notification holds its delay: a new one with the new delay.
void WaylandIdleSource::setDelayMs(std::uint32_t delayMs) {
  delayMs_ = delayMs;
  restartIdlePeriod();
}

WaylandIdleSource::~WaylandIdleSource() {
  if (display_ == nullptr) return;
  if (readPrepared_) wl_display_cancel_read(display_);
  if (extNotification_ != nullptr) ext_idle_notification_v1_destroy(extNotification_);
  if (extNotifier_ != nullptr) ext_idle_notifier_v1_destroy(extNotifier_);
  if (kdeTimeout_ != nullptr) org_kde_kwin_idle_timeout_release(kdeTimeout_);
  if (kdeIdle_ != nullptr) org_kde_kwin_idle_destroy(kdeIdle_);
  if (seat_ != nullptr) wl_seat_destroy(seat_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  wl_display_flush(display_);
  wl_display_disconnect(display_);
}

std::string WaylandIdleSource::description() const {
  return std::string(extNotifier_ != nullptr ? "ext-idle-notify-v1" : "org_kde_kwin_idle") +
         " (Wayland, " + displayName_ + ")";
}

bool WaylandIdleSource::prepare(PollRequest& request) {
  return prepareWaylandPoll(display_, readPrepared_, request);
}

bool WaylandIdleSource::dispatch(short revents) {
  return dispatchWaylandPoll(display_, readPrepared_, revents);
}

}  // namespace tw::idle
