#include "idle/sources/gnome_idle_source.h"

namespace tw::idle {
namespace {

constexpr BusObject kMonitor{"org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                             "org.gnome.Mutter.IdleMonitor"};

std::uint32_t watchIn(const BusMessage& reply) {
  std::uint32_t id = 0;
  if (!reply || sd_bus_message_read(reply.get(), "u", &id) < 0) return 0;
  return id;
}

}  // namespace

GnomeIdleSource::GnomeIdleSource(Bus& user, std::uint32_t delayMs, IdleEvents& events)
    : IdleSource(delayMs, events),
      bus_(user),
      monitor_(user, kMonitor.name, [this](bool owned) { monitorGone_ = !owned; }) {
  description_ = "GNOME's idle monitor (D-Bus)";
  if (!bus_.connected()) {
    failure_ = "no D-Bus session bus for GNOME's idle monitor";
    return;
  }
  if (!monitor_.owned()) {
    failure_ = std::string(kMonitor.name) + " is not on the session bus";
    return;
  }
  fired_ = monitor_.onSignal(kMonitor.path, kMonitor.interface, "WatchFired",
                             [this](sd_bus_message* message) {
                               std::uint32_t id = 0;
                               if (sd_bus_message_read(message, "u", &id) >= 0) watchFired(id);
                             });
  if (!fired_) {
    failure_ = "cannot subscribe to GNOME's idle monitor";
    return;
  }
  std::string why;
  BusMessage call = bus_.newCall(kMonitor, "AddIdleWatch");
  if (call) sd_bus_message_append(call.get(), "t", static_cast<std::uint64_t>(delayMs));
  idleWatch_ = watchIn(bus_.call(call, &why));
  if (idleWatch_ == 0) failure_ = "GNOME's idle monitor refused a watch: " + why;
}

GnomeIdleSource::~GnomeIdleSource() {
  // The connection stays, and so would the watches.
  for (const std::uint32_t id : {idleWatch_, activeWatch_, restartWatch_}) removeWatch(id);
}

void GnomeIdleSource::removeWatch(std::uint32_t id) {
  if (id == 0 || !monitor_.owned()) return;
  sd_bus_call_method_async(bus_.get(), nullptr, kMonitor.name, kMonitor.path, kMonitor.interface,
                           "RemoveWatch", nullptr, nullptr, "u", id);
}

void GnomeIdleSource::addActiveWatch() {
  if (activeAsked_) return;
  activeAsked_ = true;
  // A user-active watch fires once, at the next input, and is gone.
  BusMessage call = bus_.newCall(kMonitor, "AddUserActiveWatch");
  activeAdded_ = bus_.callAsync(call, Bus::kCallTimeoutUs, [this](sd_bus_message* reply) {
    activeWatchAdded(sd_bus_message_is_method_error(reply, nullptr)
                         ? 0
                         : watchIn(BusMessage(sd_bus_message_ref(reply))));
  });
}

void GnomeIdleSource::dropRestartWatch() {
  removeWatch(restartWatch_);
  restartWatch_ = 0;
}

void GnomeIdleSource::watchDelay() {
  if (!failure_.empty()) return;
  removeWatch(idleWatch_);
  idleWatch_ = watchIn(bus_.call(kMonitor, "AddIdleWatch", "t", static_cast<std::uint64_t>(delayMs_)));
}

void GnomeIdleSource::restartIdlePeriod() {
  if (!failure_.empty()) return;
  dropRestartWatch();
  if (const std::optional<std::int64_t> idle = idleMs())
    restartWatch_ = watchIn(bus_.call(kMonitor, "AddIdleWatch", "t",
                                      static_cast<std::uint64_t>(*idle) + delayMs_));
  // The input that ends the restart's wait.
  if (restartWatch_ != 0) addActiveWatch();
}

void GnomeIdleSource::watchFired(std::uint32_t id) {
  if (id == 0) return;
  if (id == idleWatch_) {
    // Heard only without a restart waiting: that one's watch says when.
    if (restartWatch_ != 0) return;
    idleReported_ = true;
    events_.sessionIdle();
    addActiveWatch();
  } else if (id == restartWatch_) {
    dropRestartWatch();
    idleReported_ = true;
    events_.sessionIdle();
    addActiveWatch();
  } else if (id == activeWatch_) {
    activeWatch_ = 0;
    activeAsked_ = false;
    // Input: from here the plain watch counts the whole delay again.
    dropRestartWatch();
    if (idleReported_) {
      idleReported_ = false;
      events_.sessionActive();
    }
  }
}

std::optional<std::int64_t> GnomeIdleSource::idleMs() {
  BusMessage reply = bus_.call(kMonitor, "GetIdletime", "");
  std::uint64_t idle = 0;
  if (!reply || sd_bus_message_read(reply.get(), "t", &idle) < 0) return std::nullopt;
  return static_cast<std::int64_t>(idle);
}

// The bus itself is polled by the loop; here only whether the monitor is
// still there to hear.
bool GnomeIdleSource::prepare(PollRequest&) { return bus_.connected() && !monitorGone_; }

bool GnomeIdleSource::dispatch(short) { return bus_.connected() && !monitorGone_; }

}  // namespace tw::idle
