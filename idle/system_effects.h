// What the launcher's decisions do on a real machine: ask GNOME's session
// manager about inhibitors and an X11 locker about the keyboard, close GNOME
// Shell's overview and start the saver, end it, restart the idle source's
// count, write lines to stderr.
#pragma once

#include <string>

#include "idle/gnome_overview.h"
#include "idle/idle_source.h"
#include "idle/launcher.h"
#include "idle/saver_process.h"
#include "idle/session_inhibition.h"
#include "idle/x11_lock_watch.h"

namespace tw::idle {

class SystemEffects : public LauncherEffects {
 public:
  explicit SystemEffects(SaverProcess& saver) : saver_(saver) {}

  // The source and the X11 watch in use, or none (between a source going
  // away and its return).
  void use(IdleSource* source, X11LockWatch* x11) {
    source_ = source;
    x11_ = x11;
  }

  bool idleInhibited() override { return inhibition_.idleInhibited(); }
  bool keyboardHeld() override { return x11_ != nullptr && x11_->keyboardHeld(); }
  StartResult startSaver() override;
  void endSaver() override { saver_.end(); }
  void restartIdlePeriod() override {
    if (source_ != nullptr) source_->restartIdlePeriod();
  }
  void report(const std::string& line) override;

 private:
  SaverProcess& saver_;
  SessionInhibition inhibition_;
  GnomeOverview overview_;
  IdleSource* source_ = nullptr;
  X11LockWatch* x11_ = nullptr;
};

}  // namespace tw::idle
