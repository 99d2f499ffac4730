#include "idle/inhibit/screensaver_service.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "idle/decide/launcher.h"

namespace tw::idle {
namespace {

constexpr const char* kName = "org.freedesktop.ScreenSaver";
constexpr const char* kInterface = "org.freedesktop.ScreenSaver";
// Applications call either: KDE's own path and the older short one.
constexpr const char* kPaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"};
constexpr const char* kRefusedError = "org.freedesktop.DBus.Error.LimitsExceeded";
constexpr const char* kUnknownCookieError = "org.freedesktop.DBus.Error.InvalidArgs";

ScreenSaverService& serviceOf(void* data) { return *static_cast<ScreenSaverService*>(data); }

int onInhibit(sd_bus_message* call, void* data, sd_bus_error* error) {
  return serviceOf(data).inhibit(call, error);
}
int onUnInhibit(sd_bus_message* call, void* data, sd_bus_error* error) {
  return serviceOf(data).uninhibit(call, error);
}

int onList(sd_bus_message* call, void* data, sd_bus_error* error) {
  return serviceOf(data).list(call, error);
}

int onOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*) {
  const char* name = nullptr;
  const char* oldOwner = nullptr;
  const char* newOwner = nullptr;
  if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) >= 0 &&
      (newOwner == nullptr || newOwner[0] == '\0'))
    serviceOf(data).clientLeft(name);
  return 0;
}

// The vtable is a constant table shared by both paths; sd-bus answers any
// other method, property or path with the standard D-Bus errors.
const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ss", "u", onInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("UnInhibit", "u", "", onUnInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};
const sd_bus_vtable kOwnVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibitors", "", "a(sss)", onList, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}  // namespace

ScreenSaverService::~ScreenSaverService() {
  for (auto& [client, slot] : departures_) sd_bus_slot_unref(slot);
  for (sd_bus_slot* slot : objects_) sd_bus_slot_unref(slot);
  if (bus_ == nullptr) return;
  if (owned_) sd_bus_release_name(bus_, kName);
  sd_bus_flush_close_unref(bus_);
}

ScreenSaverService::Outcome ScreenSaverService::start() {
  if (sd_bus_open_user(&bus_) < 0) {
    bus_ = nullptr;
    why_ = "no D-Bus session bus";
    return Outcome::NoBus;
  }
  for (std::size_t i = 0; i < std::size(kPaths); ++i) {
    if (sd_bus_add_object_vtable(bus_, &objects_[i], kPaths[i], kInterface, kVtable, this) < 0) {
      why_ = "cannot offer org.freedesktop.ScreenSaver";
      return Outcome::NoBus;
    }
  }
  if (sd_bus_add_object_vtable(bus_, &objects_[2], kPaths[0], kOwnInterface, kOwnVtable, this) <
      0) {
    why_ = "cannot offer org.freedesktop.ScreenSaver";
    return Outcome::NoBus;
  }
  // Flags 0: never replace an owner, never queue behind one, never let
  // another take it over later.
  const int r = sd_bus_request_name(bus_, kName, 0);
  if (r == -EEXIST || r == -EALREADY || r == 0) {
    why_ = "the desktop answers org.freedesktop.ScreenSaver";
    return Outcome::DesktopOwnsIt;
  }
  if (r < 0) {
    why_ = std::string("cannot own org.freedesktop.ScreenSaver: ") + std::strerror(-r);
    return Outcome::NoBus;
  }
  owned_ = true;
  return Outcome::Owned;
}

void ScreenSaverService::watchClient(const std::string& client) {
  if (departures_.count(client) != 0) return;
  const std::string rule =
      "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
      "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" +
      client + "'";
  sd_bus_slot* slot = nullptr;
  // Asynchronous: the handler must not wait for the bus daemon.
  if (sd_bus_add_match_async(bus_, &slot, rule.c_str(), onOwnerChanged, nullptr, this) >= 0)
    departures_[client] = slot;
}

void ScreenSaverService::forgetClient(const std::string& client) {
  const auto found = departures_.find(client);
  if (found == departures_.end()) return;
  sd_bus_slot_unref(found->second);
  departures_.erase(found);
}

int ScreenSaverService::inhibit(sd_bus_message* call, sd_bus_error* error) {
  const char* application = nullptr;
  const char* reason = nullptr;
  const int r = sd_bus_message_read(call, "ss", &application, &reason);
  if (r < 0) return r;
  const char* sender = sd_bus_message_get_sender(call);
  if (sender == nullptr) return sd_bus_error_set(error, kRefusedError, "no sender");
  const std::uint32_t cookie = registry_.add(sender, application, reason);
  if (cookie == 0)
    return sd_bus_error_set(error, kRefusedError, "too many inhibitors held already");
  watchClient(sender);
  return sd_bus_reply_method_return(call, "u", cookie);
}

int ScreenSaverService::uninhibit(sd_bus_message* call, sd_bus_error* error) {
  std::uint32_t cookie = 0;
  const int r = sd_bus_message_read(call, "u", &cookie);
  if (r < 0) return r;
  const char* sender = sd_bus_message_get_sender(call);
  if (sender == nullptr || !registry_.remove(sender, cookie))
    return sd_bus_error_set(error, kUnknownCookieError, "no such inhibitor of yours");
  if (registry_.heldBy(sender) == 0) forgetClient(sender);
  if (registry_.empty()) launcher_.inhibitionEnded();
  return sd_bus_reply_method_return(call, "");
}

int ScreenSaverService::list(sd_bus_message* call, sd_bus_error*) {
  sd_bus_message* reply = nullptr;
  int r = sd_bus_message_new_method_return(call, &reply);
  if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "(sss)");
  for (const Inhibitor& i : registry_.inhibitors()) {
    if (r < 0) break;
    r = sd_bus_message_append(reply, "(sss)", i.client.c_str(), i.application.c_str(),
                              i.reason.c_str());
  }
  if (r >= 0) r = sd_bus_message_close_container(reply);
  if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  return r;
}

std::string heldThroughLauncher() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) return {};
  constexpr std::uint64_t kCallTimeoutUs = 1'000'000;
  sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  std::string held;
  if (sd_bus_call_method(bus, kName, kPaths[0], kOwnInterface, "Inhibitors", &error, &reply, "") >=
          0 &&
      sd_bus_message_enter_container(reply, 'a', "(sss)") >= 0) {
    const char* client = nullptr;
    const char* application = nullptr;
    const char* reason = nullptr;
    while (sd_bus_message_read(reply, "(sss)", &client, &application, &reason) > 0)
      held += std::string(held.empty() ? "" : ", ") + oneLineText(application) + ": " +
              oneLineText(reason) + " (org.freedesktop.ScreenSaver, " + oneLineText(client) + ")";
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  sd_bus_flush_close_unref(bus);
  return held;
}

void ScreenSaverService::clientLeft(const std::string& client) {
  const bool held = registry_.dropClient(client) > 0;
  forgetClient(client);
  if (held && registry_.empty()) launcher_.inhibitionEnded();
}

bool ScreenSaverService::processQueued() {
  for (;;) {
    const int r = sd_bus_process(bus_, nullptr);
    if (r < 0) {
      busClosed();
      return false;
    }
    if (r == 0) return true;
  }
}

void ScreenSaverService::busClosed() {
  // With the bus gone no application can end its inhibitor any more, nor be
  // seen to leave: they all end here, or the saver would never start again.
  const bool held = !registry_.empty();
  while (!registry_.empty()) registry_.dropClient(registry_.inhibitors().front().client);
  for (auto& [client, slot] : departures_) sd_bus_slot_unref(slot);
  departures_.clear();
  if (held) launcher_.inhibitionEnded();
}

bool ScreenSaverService::prepare(PollRequest& request) {
  if (bus_ == nullptr || !processQueued()) return false;
  request.fd = sd_bus_get_fd(bus_);
  const int events = sd_bus_get_events(bus_);
  if (request.fd < 0 || events < 0) return false;
  request.events = static_cast<short>(events);
  std::uint64_t deadline = 0;
  // 0: no timeout, and UINT64_MAX in `deadline`.
  if (sd_bus_get_timeout(bus_, &deadline) > 0) request.deadlineUs = deadline;
  return true;
}

bool ScreenSaverService::dispatch(short) { return processQueued(); }

}  // namespace tw::idle
