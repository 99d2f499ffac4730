// The launcher's way to its buses: one connection to the user's session bus
// and one to the system bus for the whole launcher, each polled once by the
// event loop. Every synchronous call waits at most kCallTimeoutUs, so that a
// service that hangs never holds a handler for long; a handler is a
// std::function kept as long as its slot.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "common/no_copy.h"
#include "idle/loop/watched.h"

namespace tw::idle {

// One sd-bus reference (a message, a slot, a tracker), dropped at the end.
template <typename T, T* (*kUnref)(T*)>
class BusHeld {
 public:
  BusHeld() = default;
  explicit BusHeld(T* taken) : held_(taken) {}
  ~BusHeld() { kUnref(held_); }
  BusHeld(BusHeld&& other) noexcept : held_(std::exchange(other.held_, nullptr)) {}
  BusHeld& operator=(BusHeld&& other) noexcept {
    std::swap(held_, other.held_);
    return *this;
  }
  T* get() const { return held_; }
  // Where sd-bus writes a new reference; the old one is dropped first.
  T** out() {
    held_ = kUnref(held_);
    return &held_;
  }
  explicit operator bool() const { return held_ != nullptr; }

 private:
  T* held_ = nullptr;
};

using BusMessage = BusHeld<sd_bus_message, sd_bus_message_unref>;
using BusSlot = BusHeld<sd_bus_slot, sd_bus_slot_unref>;
using BusTrack = BusHeld<sd_bus_track, sd_bus_track_unref>;

struct BusError : private common::NoCopy {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  BusError() = default;
  ~BusError() { sd_bus_error_free(&error); }
};

// An object of a service: its name, its path and one of its interfaces.
struct BusObject {
  const char* name;
  const char* path;
  const char* interface;
};

enum class BusKind { User, System };

class Bus : public Watched, private common::NoCopy {
 public:
  // One that hangs must not hold a handler: the services asked answer at once.
  static constexpr std::uint64_t kCallTimeoutUs = 2'000'000;
  using Handler = std::function<void(sd_bus_message*)>;

  // Connects to the user's bus (DBUS_SESSION_BUS_ADDRESS, else
  // XDG_RUNTIME_DIR/bus) or the system bus (DBUS_SYSTEM_BUS_ADDRESS, else
  // the machine's); connected() is false when there is none.
  explicit Bus(BusKind kind);
  ~Bus() override;

  bool connected() const { return bus_ != nullptr && !closed_; }
  sd_bus* get() const { return bus_; }
  // Called once when the connection closes (the bus went away), for as
  // long as the slot is held: sd-bus says so with a local Disconnected.
  BusSlot whenClosed(std::function<void()> closed);

  // A method call made ready to send; autoStart false never has the bus
  // start the service for it.
  BusMessage newCall(const BusObject& to, const char* member, bool autoStart = true);
  // Sends it and waits at most kCallTimeoutUs; the reply, or an empty one
  // with why in `why` when given.
  BusMessage call(BusMessage& message, std::string* why = nullptr);
  template <typename... Args>
  BusMessage call(const BusObject& to, const char* member, const char* types, Args... args) {
    BusMessage message = newCall(to, member);
    if (!message || sd_bus_message_append(message.get(), types, args...) < 0) return {};
    return call(message);
  }
  // Sends it without waiting; the handler gets the reply or the error, or
  // a timeout's error after timeoutUs. Dropping the slot drops the handler.
  BusSlot callAsync(BusMessage& message, std::uint64_t timeoutUs, Handler handler);

  bool hasOwner(const char* name);
  // A property of type 'b' or 's', where the object says.
  std::optional<bool> boolProperty(const BusObject& at, const char* property);
  std::optional<std::string> stringProperty(const BusObject& at, const char* property);
  // Every message that matches the rule, for as long as the slot is held.
  BusSlot match(const std::string& rule, Handler handler);

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

 private:
  bool processQueued();

  sd_bus* bus_ = nullptr;
  bool closed_ = false;
};

// The two connections, made first and handed to every part that needs one.
struct Buses {
  Bus user{BusKind::User};
  Bus system{BusKind::System};
};

// The session logind keeps for this launcher: XDG_SESSION_ID's, else the one
// this process belongs to, else the user's graphical session (a launcher
// started by the user's systemd belongs to no session itself). Its object
// path, or empty when logind is not there or knows none.
std::optional<std::string> logindSession(Bus& system);
inline constexpr const char* kLogind = "org.freedesktop.login1";
inline constexpr BusObject kLogindManager{kLogind, "/org/freedesktop/login1",
                                          "org.freedesktop.login1.Manager"};
inline constexpr const char* kLogindSession = "org.freedesktop.login1.Session";

}  // namespace tw::idle
