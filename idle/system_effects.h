// What the launcher's decisions do on a real machine: ask GNOME's session
// manager about inhibitors, close GNOME Shell's overview and start the saver,
// write lines to stderr.
#pragma once

#include <string>

#include "idle/gnome_overview.h"
#include "idle/launcher.h"
#include "idle/saver_process.h"
#include "idle/session_inhibition.h"

namespace tw::idle {

class SystemEffects : public LauncherEffects {
 public:
  explicit SystemEffects(SaverProcess& saver) : saver_(saver) {}

  bool idleInhibited() override { return inhibition_.idleInhibited(); }
  StartResult startSaver() override {
    overview_.close();
    return saver_.start();
  }
  void report(const std::string& line) override;

 private:
  SaverProcess& saver_;
  SessionInhibition inhibition_;
  GnomeOverview overview_;
};

}  // namespace tw::idle
