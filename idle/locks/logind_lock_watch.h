// Whether logind says the session is locked: the LockedHint of this
// session, which GNOME Shell, KDE's locker and others set while they lock.
// On the system bus (DBUS_SYSTEM_BUS_ADDRESS, where one is given), read once
// and then heard through PropertiesChanged; nothing is polled. The session is
// XDG_SESSION_ID's, else the one this process belongs to, else the user's
// graphical session (a launcher started by the user's systemd belongs to no
// session itself).
#pragma once

#include <string>

#include "idle/loop/watched.h"
#include "idle/decide/launcher.h"

struct sd_bus;
struct sd_bus_slot;

namespace tw::idle {

class LogindLockWatch : public Watched {
 public:
  explicit LogindLockWatch(Launcher& launcher);
  ~LogindLockWatch() override;
  LogindLockWatch(const LogindLockWatch&) = delete;
  LogindLockWatch& operator=(const LogindLockWatch&) = delete;

  // False without a system bus, logind or a session of ours.
  bool connected() const { return bus_ != nullptr; }
  const std::string& sessionPath() const { return session_; }

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

  // For the bus's callbacks.
  void lockedIs(bool locked) { launcher_.lockChanged(LockSignal::LogindLockedHint, locked); }
  void ask();

 private:
  bool findSession();

  Launcher& launcher_;
  sd_bus* bus_ = nullptr;
  sd_bus_slot* changedSlot_ = nullptr;
  sd_bus_slot* ownerSlot_ = nullptr;
  std::string session_;
};

}  // namespace tw::idle
