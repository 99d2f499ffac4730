#include "idle/inhibit/screensaver_service.h"

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
constexpr const char* kGoneError = "org.freedesktop.DBus.Error.NameHasNoOwner";
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

int onTrackerEmptied(sd_bus_track* track, void* data) {
  serviceOf(data).trackerEmptied(track);
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

ScreenSaverService::ScreenSaverService(Bus& user, Launcher& launcher)
    : bus_(user),
      launcher_(launcher),
      outcome_(offer()),
      closed_(bus_.whenClosed([this] { busClosed(); })) {}

ScreenSaverService::~ScreenSaverService() {
  if (outcome_ == Outcome::Owned && bus_.connected()) sd_bus_release_name(bus_.get(), kName);
}

ScreenSaverService::Outcome ScreenSaverService::offer() {
  if (!bus_.connected()) {
    why_ = "no D-Bus session bus";
    return Outcome::NoBus;
  }
  for (std::size_t i = 0; i < std::size(kPaths); ++i) {
    if (sd_bus_add_object_vtable(bus_.get(), objects_[i].out(), kPaths[i], kInterface, kVtable,
                                 this) < 0) {
      why_ = "cannot offer org.freedesktop.ScreenSaver";
      return Outcome::NoBus;
    }
  }
  if (sd_bus_add_object_vtable(bus_.get(), objects_[2].out(), kPaths[0], kOwnInterface,
                               kOwnVtable, this) < 0) {
    why_ = "cannot offer org.freedesktop.ScreenSaver";
    return Outcome::NoBus;
  }
  // Flags 0: never replace an owner, never queue behind one, never let
  // another take it over later.
  const int r = sd_bus_request_name(bus_.get(), kName, 0);
  if (r == -EEXIST || r == -EALREADY || r == 0) {
    why_ = "the desktop answers org.freedesktop.ScreenSaver";
    for (BusSlot& object : objects_) object = BusSlot();
    return Outcome::DesktopOwnsIt;
  }
  if (r < 0) {
    why_ = std::string("cannot own org.freedesktop.ScreenSaver: ") + std::strerror(-r);
    return Outcome::NoBus;
  }
  return Outcome::Owned;
}

bool ScreenSaverService::follow(sd_bus_message* call) {
  const char* sender = sd_bus_message_get_sender(call);
  if (clients_.count(sender) != 0) return true;
  BusTrack track;
  // The tracker subscribes to the client's departure, then asks the bus
  // whether it is still there: a client gone before either is refused.
  if (sd_bus_track_new(bus_.get(), track.out(), onTrackerEmptied, this) < 0 ||
      sd_bus_track_add_sender(track.get(), call) < 0)
    return false;
  clients_.emplace(sender, std::move(track));
  return true;
}

void ScreenSaverService::trackerEmptied(sd_bus_track* track) {
  for (const auto& [client, held] : clients_) {
    if (held.get() != track) continue;
    const std::string gone = client;  // the key itself goes with it
    clientLeft(gone);
    return;
  }
}

int ScreenSaverService::inhibit(sd_bus_message* call, sd_bus_error* error) {
  const char* application = nullptr;
  const char* reason = nullptr;
  const int r = sd_bus_message_read(call, "ss", &application, &reason);
  if (r < 0) return r;
  const char* sender = sd_bus_message_get_sender(call);
  if (sender == nullptr) return sd_bus_error_set(error, kRefusedError, "no sender");
  if (!follow(call)) return sd_bus_error_set(error, kGoneError, "the client has left the bus");
  const std::uint32_t cookie = registry_.add(sender, application, reason);
  if (cookie == 0) {
    if (registry_.heldBy(sender) == 0) clients_.erase(sender);
    return sd_bus_error_set(error, kRefusedError, "too many inhibitors held already");
  }
  return sd_bus_reply_method_return(call, "u", cookie);
}

int ScreenSaverService::uninhibit(sd_bus_message* call, sd_bus_error* error) {
  std::uint32_t cookie = 0;
  const int r = sd_bus_message_read(call, "u", &cookie);
  if (r < 0) return r;
  const char* sender = sd_bus_message_get_sender(call);
  if (sender == nullptr || !registry_.remove(sender, cookie))
    return sd_bus_error_set(error, kUnknownCookieError, "no such inhibitor of yours");
  if (registry_.heldBy(sender) == 0) clients_.erase(sender);
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

std::string heldThroughLauncher(Bus& user) {
  BusMessage reply = user.call({kName, kPaths[0], kOwnInterface}, "Inhibitors", "");
  std::string held;
  if (!reply || sd_bus_message_enter_container(reply.get(), 'a', "(sss)") < 0) return held;
  const char* client = nullptr;
  const char* application = nullptr;
  const char* reason = nullptr;
  while (sd_bus_message_read(reply.get(), "(sss)", &client, &application, &reason) > 0)
    held += std::string(held.empty() ? "" : ", ") + oneLineText(application) + ": " +
            oneLineText(reason) + " (org.freedesktop.ScreenSaver, " + oneLineText(client) + ")";
  return held;
}

void ScreenSaverService::clientLeft(const std::string& client) {
  const bool held = registry_.dropClient(client) > 0;
  clients_.erase(client);
  if (held && registry_.empty()) launcher_.inhibitionEnded();
}

void ScreenSaverService::busClosed() {
  // With the bus gone no application can end its inhibitor any more, nor be
  // seen to leave: they all end here, or the saver would never start again.
  const bool held = !registry_.empty();
  while (!registry_.empty()) registry_.dropClient(registry_.inhibitors().front().client);
  clients_.clear();
  if (held) launcher_.inhibitionEnded();
}

}  // namespace tw::idle
