#include "idle/locks/logind_lock_watch.h"

namespace tw::idle {
namespace {

constexpr const char* kProperty = "LockedHint";

}  // namespace

LogindLockWatch::LogindLockWatch(Bus& system, Launcher& launcher)
    : bus_(system),
      launcher_(launcher),
      session_(logindSession(system)),
      // logind restarted keeps its sessions: ask the new one.
      logind_(system, kLogind, [this](bool owned) {
        if (owned)
          ask();
        else
          lockedIs(false);
      }) {
  if (!session_) return;
  changed_ = logind_.onProperty(session_->c_str(), kLogindSession, kProperty,
                                [this](sd_bus_message* value) {
                                  int locked = 0;
                                  if (value == nullptr)
                                    ask();
                                  else if (sd_bus_message_read(value, "v", "b", &locked) >= 0)
                                    lockedIs(locked != 0);
                                });
  ask();
}

void LogindLockWatch::ask() {
  if (!session_) return;
  const BusObject properties{kLogind, session_->c_str(), "org.freedesktop.DBus.Properties"};
  BusMessage call = bus_.newCall(properties, "Get");
  if (!call || sd_bus_message_append(call.get(), "ss", kLogindSession, kProperty) < 0) return;
  asked_ = bus_.callAsync(call, Bus::kCallTimeoutUs, [this](sd_bus_message* reply) {
    int locked = 0;
    if (sd_bus_message_is_method_error(reply, nullptr) ||
        sd_bus_message_read(reply, "v", "b", &locked) < 0)
      locked = 0;
    lockedIs(locked != 0);
  });
}

}  // namespace tw::idle
