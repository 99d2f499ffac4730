#include "idle/act/system_effects.h"

#include <cstdio>

namespace tw::idle {

bool SystemEffects::idleInhibited() {
  // Its own record first: no bus call needed while an application holds one.
  if (service_ != nullptr && !service_->registry().empty()) return true;
  return !inhibition_.standing().empty();
}

StartResult SystemEffects::startSaver() {
  overview_.close();
  StartResult result = saver_.start();
  // A locker that comes while the saver runs ends it.
  if (result.started && x11_ != nullptr) x11_->saverStarted();
  return result;
}

void SystemEffects::report(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace tw::idle
