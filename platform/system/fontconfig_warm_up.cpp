#include "platform/system/fontconfig_warm_up.h"

#include <system_error>

#if TRENCHWALK_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace tw::platform {

FontconfigWarmUp::FontconfigWarmUp() {
#if TRENCHWALK_FONTCONFIG
  try {
    thread_ = std::jthread([] { FcInit(); });
  } catch (const std::system_error&) {
  }
#endif
}

void FontconfigWarmUp::finish() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace tw::platform
