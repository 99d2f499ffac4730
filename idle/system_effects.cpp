#include "idle/system_effects.h"

#include <cstdio>

namespace tw::idle {

void SystemEffects::report(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace tw::idle
