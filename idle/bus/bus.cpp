#include "idle/bus/bus.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace tw::idle {
namespace {

constexpr BusObject kDaemon{"org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus"};

int onMessage(sd_bus_message* message, void* data, sd_bus_error*) {
  (*static_cast<Bus::Handler*>(data))(message);
  return 0;
}

// A rule the bus daemon refused only goes unheard; sd-bus's default would
// close the whole connection, and with it every part's.
int onMatchInstalled(sd_bus_message*, void*, sd_bus_error*) { return 0; }

void dropHandler(void* data) { delete static_cast<Bus::Handler*>(data); }

// The handler lives as long as the slot: sd-bus drops it with the slot.
BusSlot keepHandler(sd_bus_slot* slot, Bus::Handler* handler) {
  if (slot == nullptr) {
    delete handler;
    return {};
  }
  sd_bus_slot_set_destroy_callback(slot, dropHandler);
  return BusSlot(slot);
}

// The reply of Properties.Get, entered into its variant of `type`.
BusMessage propertyReply(Bus& bus, const BusObject& at, const char* property, const char* type) {
  const BusObject properties{at.name, at.path, "org.freedesktop.DBus.Properties"};
  BusMessage reply = bus.call(properties, "Get", "ss", at.interface, property);
  if (reply && sd_bus_message_enter_container(reply.get(), 'v', type) < 0) return {};
  return reply;
}

std::optional<std::string> pathIn(BusMessage reply) {
  const char* path = nullptr;
  if (!reply || sd_bus_message_read(reply.get(), "o", &path) < 0 || path == nullptr)
    return std::nullopt;
  return std::string(path);
}

}  // namespace

Bus::Bus(BusKind kind) {
  const int r = kind == BusKind::User ? sd_bus_open_user(&bus_) : sd_bus_open_system(&bus_);
  if (r < 0) {
    bus_ = nullptr;
    return;
  }
  sd_bus_set_method_call_timeout(bus_, kCallTimeoutUs);
}

Bus::~Bus() { sd_bus_flush_close_unref(bus_); }

BusMessage Bus::newCall(const BusObject& to, const char* member, bool autoStart) {
  BusMessage message;
  if (!connected() ||
      sd_bus_message_new_method_call(bus_, message.out(), to.name, to.path, to.interface,
                                     member) < 0 ||
      sd_bus_message_set_auto_start(message.get(), autoStart ? 1 : 0) < 0)
    return {};
  return message;
}

BusMessage Bus::call(BusMessage& message, std::string* why) {
  BusError error;
  BusMessage reply;
  if (!message || !connected() ||
      sd_bus_call(bus_, message.get(), kCallTimeoutUs, &error.error, reply.out()) < 0) {
    if (why != nullptr)
      *why = error.error.message != nullptr ? error.error.message : "no answer";
    return {};
  }
  return reply;
}

BusSlot Bus::callAsync(BusMessage& message, std::uint64_t timeoutUs, Handler handler) {
  auto* kept = new Handler(std::move(handler));
  sd_bus_slot* slot = nullptr;
  if (!message || !connected() ||
      sd_bus_call_async(bus_, &slot, message.get(), onMessage, kept, timeoutUs) < 0)
    slot = nullptr;
  return keepHandler(slot, kept);
}

bool Bus::hasOwner(const char* name) {
  BusMessage reply = call(kDaemon, "NameHasOwner", "s", name);
  int present = 0;
  return reply && sd_bus_message_read(reply.get(), "b", &present) >= 0 && present != 0;
}

std::optional<bool> Bus::boolProperty(const BusObject& at, const char* property) {
  BusMessage reply = propertyReply(*this, at, property, "b");
  int value = 0;
  if (!reply || sd_bus_message_read(reply.get(), "b", &value) < 0) return std::nullopt;
  return value != 0;
}

std::optional<std::string> Bus::stringProperty(const BusObject& at, const char* property) {
  BusMessage reply = propertyReply(*this, at, property, "s");
  const char* value = nullptr;
  if (!reply || sd_bus_message_read(reply.get(), "s", &value) < 0 || value == nullptr)
    return std::nullopt;
  return std::string(value);
}

BusSlot Bus::match(const std::string& rule, Handler handler) {
  auto* kept = new Handler(std::move(handler));
  sd_bus_slot* slot = nullptr;
  // Asynchronous: nothing waits for the bus daemon to take the rule.
  if (!connected() ||
      sd_bus_add_match_async(bus_, &slot, rule.c_str(), onMessage, onMatchInstalled, kept) < 0)
    slot = nullptr;
  return keepHandler(slot, kept);
}

BusSlot Bus::whenClosed(std::function<void()> closed) {
  return match(
      "type='signal',sender='org.freedesktop.DBus.Local',interface='org.freedesktop.DBus.Local',"
      "member='Disconnected'",
      [closed = std::move(closed)](sd_bus_message*) { closed(); });
}

bool Bus::processQueued() {
  if (bus_ == nullptr || closed_) return false;
  for (;;) {
    const int r = sd_bus_process(bus_, nullptr);
    if (r == 0) return true;
    if (r > 0) continue;
    closed_ = true;
    return false;
  }
}

bool Bus::prepare(PollRequest& request) {
  if (!processQueued()) return false;
  request.fd = sd_bus_get_fd(bus_);
  const int events = sd_bus_get_events(bus_);
  if (request.fd < 0 || events < 0) return false;
  request.events = static_cast<short>(events);
  std::uint64_t deadline = 0;
  if (sd_bus_get_timeout(bus_, &deadline) >= 0) request.deadlineUs = deadline;
  return true;
}

bool Bus::dispatch(short) { return processQueued(); }

std::optional<std::string> logindSession(Bus& system) {
  if (!system.hasOwner(kLogind)) return std::nullopt;
  if (const char* id = std::getenv("XDG_SESSION_ID"); id != nullptr && id[0] != '\0')
    if (auto path = pathIn(system.call(kLogindManager, "GetSession", "s", id))) return path;
  if (auto path = pathIn(system.call(kLogindManager, "GetSessionByPID", "u",
                                     static_cast<std::uint32_t>(::getpid()))))
    return path;
  // The user's own graphical session: the Display property of the user.
  const BusObject user{kLogind, "/org/freedesktop/login1/user/self",
                       "org.freedesktop.login1.User"};
  const BusObject properties{user.name, user.path, "org.freedesktop.DBus.Properties"};
  BusMessage reply = system.call(properties, "Get", "ss", user.interface, "Display");
  const char* id = nullptr;
  const char* path = nullptr;
  if (reply && sd_bus_message_read(reply.get(), "v", "(so)", &id, &path) >= 0 &&
      path != nullptr && std::strcmp(path, "/") != 0)
    return std::string(path);
  return std::nullopt;
}

}  // namespace tw::idle
