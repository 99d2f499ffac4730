#include "idle/system_effects.h"

#include <cstdio>

namespace tw::idle {

bool SystemEffects::idleInhibited() {
  // Its own record first: no bus call needed while an application holds one.
  if (service_ != nullptr && !service_->registry().empty()) return true;
  return !inhibition_.standing().empty();
}

void SystemEffects::report(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace tw::idle
