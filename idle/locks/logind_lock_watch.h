// Whether logind says the session is locked: the LockedHint of this
// session, which GNOME Shell, KDE's locker and others set while they lock.
// On the system bus, read once and then heard through PropertiesChanged from
// logind itself; nothing is polled. The session is the one logindSession()
// finds.
#pragma once

#include <optional>
#include <string>

#include "idle/bus/name_watch.h"
#include "idle/decide/launcher.h"

namespace tw::idle {

class LogindLockWatch {
 public:
  LogindLockWatch(Bus& system, Launcher& launcher);

 private:
  void lockedIs(bool locked) { launcher_.lockChanged(LockSignal::LogindLockedHint, locked); }
  void ask();

  Bus& bus_;
  Launcher& launcher_;
  std::optional<std::string> session_;
  NameWatch logind_;
  BusSlot changed_;
  BusSlot asked_;
};

}  // namespace tw::idle
