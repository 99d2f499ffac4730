#include "idle/sources/gnome_idle_source.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>

namespace tw::idle {
namespace {

constexpr const char* kService = "org.gnome.Mutter.IdleMonitor";
constexpr const char* kPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr const char* kInterface = "org.gnome.Mutter.IdleMonitor";
// Calls to mutter answer at once; a compositor that hangs must not hang the
// launcher for D-Bus's default 25 s.
constexpr std::uint64_t kCallTimeoutUs = 2'000'000;
// Only the monitor's own name: other names coming and going wake nothing.
constexpr const char* kOwnerRule =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0='org.gnome.Mutter.IdleMonitor'";

int onWatchFired(sd_bus_message* message, void* data, sd_bus_error*) {
  std::uint32_t id = 0;
  if (sd_bus_message_read(message, "u", &id) >= 0)
    static_cast<GnomeIdleSource*>(data)->watchFired(id);
  return 0;
}

int onOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*) {
  const char* name = nullptr;
  const char* oldOwner = nullptr;
  const char* newOwner = nullptr;
  if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) >= 0 &&
      std::strcmp(name, kService) == 0 && (newOwner == nullptr || newOwner[0] == '\0'))
    static_cast<GnomeIdleSource*>(data)->monitorGone();
  return 0;
}

int onActiveWatchAdded(sd_bus_message* reply, void* data, sd_bus_error*) {
  std::uint32_t id = 0;
  if (sd_bus_message_is_method_error(reply, nullptr) || sd_bus_message_read(reply, "u", &id) < 0)
    id = 0;
  static_cast<GnomeIdleSource*>(data)->activeWatchAdded(id);
  return 0;
}

}  // namespace

GnomeIdleSource::GnomeIdleSource(std::uint32_t delayMs, IdleEvents& events)
    : events_(events), delayMs_(delayMs) {
  if (sd_bus_open_user(&bus_) < 0) {
    bus_ = nullptr;
    failure_ = "no D-Bus session bus for GNOME's idle monitor";
    return;
  }
  sd_bus_set_method_call_timeout(bus_, kCallTimeoutUs);
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int hasOwner = 0;
  if (sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                         kService) < 0 ||
      sd_bus_message_read(reply, "b", &hasOwner) < 0 || hasOwner == 0) {
    failure_ = std::string(kService) + " is not on the session bus";
  }
  sd_bus_message_unref(reply);
  reply = nullptr;
  sd_bus_error_free(&error);
  if (!failure_.empty()) return;

  if (sd_bus_match_signal(bus_, &firedSlot_, kService, kPath, kInterface, "WatchFired",
                          onWatchFired, this) < 0 ||
      sd_bus_add_match(bus_, &ownerSlot_, kOwnerRule, onOwnerChanged, this) < 0) {
    failure_ = "cannot subscribe to GNOME's idle monitor";
    return;
  }
  if (sd_bus_call_method(bus_, kService, kPath, kInterface, "AddIdleWatch", &error, &reply, "t",
                         static_cast<std::uint64_t>(delayMs)) < 0 ||
      sd_bus_message_read(reply, "u", &idleWatch_) < 0) {
    failure_ = std::string("GNOME's idle monitor refused a watch: ") +
               (error.message != nullptr ? error.message : "no answer");
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
}

GnomeIdleSource::~GnomeIdleSource() {
  sd_bus_slot_unref(firedSlot_);
  sd_bus_slot_unref(ownerSlot_);
  // mutter drops a client's watches when its connection closes.
  sd_bus_flush_close_unref(bus_);
}

void GnomeIdleSource::addActiveWatch() {
  if (activeAsked_) return;
  activeAsked_ = true;
  // A user-active watch fires once, at the next input, and is gone.
  sd_bus_call_method_async(bus_, nullptr, kService, kPath, kInterface, "AddUserActiveWatch",
                           onActiveWatchAdded, this, "");
}

void GnomeIdleSource::dropRestartWatch() {
  if (restartWatch_ == 0) return;
  sd_bus_call_method_async(bus_, nullptr, kService, kPath, kInterface, "RemoveWatch", nullptr,
                           nullptr, "u", restartWatch_);
  restartWatch_ = 0;
}

// The standing idle watch holds the delay: a new one at the new delay, the
// old one removed.
void GnomeIdleSource::setDelayMs(std::uint32_t delayMs) {
  if (bus_ == nullptr) return;
  delayMs_ = delayMs;
  if (idleWatch_ != 0)
    sd_bus_call_method_async(bus_, nullptr, kService, kPath, kInterface, "RemoveWatch", nullptr,
                             nullptr, "u", idleWatch_);
  idleWatch_ = 0;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  if (sd_bus_call_method(bus_, kService, kPath, kInterface, "AddIdleWatch", &error, &reply, "t",
                         delayMs_) >= 0)
    sd_bus_message_read(reply, "u", &idleWatch_);
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  restartIdlePeriod();
}

void GnomeIdleSource::restartIdlePeriod() {
  if (bus_ == nullptr) return;
  dropRestartWatch();
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  std::uint64_t idleMs = 0;
  std::uint32_t watch = 0;
  if (sd_bus_call_method(bus_, kService, kPath, kInterface, "GetIdletime", &error, &reply, "") >=
          0 &&
      sd_bus_message_read(reply, "t", &idleMs) >= 0) {
    reply = sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (sd_bus_call_method(bus_, kService, kPath, kInterface, "AddIdleWatch", &error, &reply, "t",
                           idleMs + delayMs_) >= 0 &&
        sd_bus_message_read(reply, "u", &watch) >= 0)
      restartWatch_ = watch;
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
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
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  std::uint64_t idle = 0;
  const bool known = sd_bus_call_method(bus_, kService, kPath, kInterface, "GetIdletime", &error,
                                        &reply, "") >= 0 &&
                     sd_bus_message_read(reply, "t", &idle) >= 0;
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  if (!known) return std::nullopt;
  return static_cast<std::int64_t>(idle);
}

std::string GnomeIdleSource::description() const { return "GNOME's idle monitor (D-Bus)"; }

bool GnomeIdleSource::processQueued() {
  for (;;) {
    const int r = sd_bus_process(bus_, nullptr);
    if (r < 0 || monitorGone_) return false;
    if (r == 0) return true;
  }
}

bool GnomeIdleSource::prepare(PollRequest& request) {
  if (!processQueued()) return false;
  request.fd = sd_bus_get_fd(bus_);
  const int events = sd_bus_get_events(bus_);
  if (request.fd < 0 || events < 0) return false;
  request.events = static_cast<short>(events);
  std::uint64_t deadline = 0;
  // 0: no timeout, and UINT64_MAX in `deadline`.
  if (sd_bus_get_timeout(bus_, &deadline) > 0) request.deadlineUs = deadline;
  return true;
}

bool GnomeIdleSource::dispatch(short) { return processQueued(); }

}  // namespace tw::idle
