// What the launcher's decisions do on a real machine: ask everyone who keeps
// a record of inhibitors and an X11 locker about the keyboard, close GNOME
// Shell's overview and start the saver, end it, restart the idle source's
// count, ask for the lock, write lines to stderr.
#pragma once

#include <string>

#include "idle/act/gnome_overview.h"
#include "idle/loop/idle_source.h"
#include "idle/decide/launcher.h"
#include "idle/locks/lock_request.h"
#include "idle/saver/saver_process.h"
#include "idle/inhibit/screensaver_service.h"
#include "idle/inhibit/session_inhibition.h"
#include "idle/locks/x11_lock_watch.h"

namespace tw::idle {

class SystemEffects : public LauncherEffects {
 public:
  SystemEffects(SaverProcess& saver, Buses& buses)
      : saver_(saver), inhibition_(buses), overview_(buses.user) {}

  // The source and the X11 watch in use, or none (between a source going
  // away and its return).
  void use(IdleSource* source, X11LockWatch* x11) {
    source_ = source;
    x11_ = x11;
  }
  // The launcher's own org.freedesktop.ScreenSaver, where it answers for it,
  // and the lock --lock-after asks for; each may stay unset.
  void setService(const ScreenSaverService* service) { service_ = service; }
  void setLockRequest(LockRequest* request) { lockRequest_ = request; }

  bool idleInhibited() override;
  bool keyboardHeld() override { return x11_ != nullptr && x11_->keyboardHeld(); }
  StartResult startSaver() override;
  void endSaver() override { saver_.end(); }
  void restartIdlePeriod() override {
    if (source_ != nullptr) source_->restartIdlePeriod();
  }
  void requestLock() override {
    if (lockRequest_ != nullptr) lockRequest_->start();
  }
  void report(const std::string& line) override;

 private:
  SaverProcess& saver_;
  SessionInhibition inhibition_;
  GnomeOverview overview_;
  IdleSource* source_ = nullptr;
  X11LockWatch* x11_ = nullptr;
  const ScreenSaverService* service_ = nullptr;
  LockRequest* lockRequest_ = nullptr;
};

}  // namespace tw::idle
