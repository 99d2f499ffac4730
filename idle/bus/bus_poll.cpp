#include "idle/bus/bus_poll.h"

#include <systemd/sd-bus.h>

#include <cstdint>

namespace tw::idle {

bool processBus(sd_bus* bus) {
  for (;;) {
    const int r = sd_bus_process(bus, nullptr);
    if (r < 0) return false;
    if (r == 0) return true;
  }
}

bool prepareBus(sd_bus* bus, PollRequest& request) {
  if (!processBus(bus)) return false;
  request.fd = sd_bus_get_fd(bus);
  const int events = sd_bus_get_events(bus);
  if (request.fd < 0 || events < 0) return false;
  request.events = static_cast<short>(events);
  std::uint64_t deadline = 0;
  // 0: no timeout, and UINT64_MAX in `deadline`.
  if (sd_bus_get_timeout(bus, &deadline) > 0) request.deadlineUs = deadline;
  return true;
}

}  // namespace tw::idle
