#include "idle/act/system_effects.h"

#include <cstdio>

namespace tw::idle {

bool SystemEffects::idleInhibited() {
  // Its own record first: no bus call needed while an application holds one.
  if (!ownInhibitors_.empty()) return true;
  return !inhibition_.standing().empty();
}

bool SystemEffects::keyboardHeld() {
  X11LockWatch* x11 = desktop_.x11LockWatch();
  return x11 != nullptr && x11->keyboardHeld();
}

StartResult SystemEffects::startSaver() {
  overview_.close();
  StartResult result = saver_.start();
  // A locker that comes while the saver runs ends it.
  X11LockWatch* x11 = desktop_.x11LockWatch();
  if (result.started && x11 != nullptr) x11->saverStarted();
  return result;
}

void SystemEffects::restartIdlePeriod() {
  if (IdleSource* source = desktop_.source()) source->restartIdlePeriod();
}

void SystemEffects::setIdleDelay(std::uint32_t delayMs) {
  if (IdleSource* source = desktop_.source()) source->setDelayMs(delayMs);
}

void SystemEffects::report(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace tw::idle
