// What the launcher's decisions do on a real machine: ask everyone who
// keeps a record of inhibitors, start and end the saver, restart the idle
// source's period, ask for the lock, write lines to stderr.
#pragma once

#include <string>

#include "idle/idle_source.h"
#include "idle/launcher.h"
#include "idle/lock_request.h"
#include "idle/saver_process.h"
#include "idle/screensaver_service.h"
#include "idle/session_inhibition.h"

namespace tw::idle {

class SystemEffects : public LauncherEffects {
 public:
  explicit SystemEffects(SaverProcess& saver) : saver_(saver) {}

  // What the effects reach once they are made; each may stay unset.
  void setSource(IdleSource* source) { source_ = source; }
  void setService(const ScreenSaverService* service) { service_ = service; }
  void setLockRequest(LockRequest* request) { lockRequest_ = request; }

  bool idleInhibited() override;
  StartResult startSaver() override { return saver_.start(); }
  void report(const std::string& line) override;
  void restartIdlePeriod() override {
    if (source_ != nullptr) source_->restartIdlePeriod();
  }
  void requestLock() override {
    if (lockRequest_ != nullptr) lockRequest_->start();
  }
  void endSaver() override { saver_.terminate(); }

 private:
  SaverProcess& saver_;
  SessionInhibition inhibition_;
  IdleSource* source_ = nullptr;
  const ScreenSaverService* service_ = nullptr;
  LockRequest* lockRequest_ = nullptr;
};

}  // namespace tw::idle
