// What the launcher's decisions do on a real machine: ask everyone who keeps
// a record of inhibitors and an X11 locker about the keyboard, close GNOME
// Shell's overview and start the saver, end it, restart the idle source's
// count, write lines to stderr.
#pragma once

#include <string>

#include "idle/act/desktop.h"
#include "idle/act/gnome_overview.h"
#include "idle/decide/inhibitor_registry.h"
#include "idle/decide/launcher.h"
#include "idle/inhibit/session_inhibition.h"
#include "idle/saver/saver_process.h"

namespace tw::idle {

class SystemEffects : public LauncherEffects {
 public:
  // ownInhibitors: those held through the launcher's own
  // org.freedesktop.ScreenSaver, empty where it does not answer for it.
  SystemEffects(Buses& buses, SaverProcess& saver, const Desktop& desktop,
                const InhibitorRegistry& ownInhibitors)
      : saver_(saver),
        desktop_(desktop),
        ownInhibitors_(ownInhibitors),
        inhibition_(buses),
        overview_(buses.user) {}

  bool idleInhibited() override;
  bool keyboardHeld() override;
  StartResult startSaver() override;
  void endSaver() override { saver_.end(); }
  void restartIdlePeriod() override;
  void setIdleDelay(std::uint32_t delayMs) override;
  void report(const std::string& line) override;

 private:
  SaverProcess& saver_;
  const Desktop& desktop_;
  const InhibitorRegistry& ownInhibitors_;
  SessionInhibition inhibition_;
  GnomeOverview overview_;
};

}  // namespace tw::idle
