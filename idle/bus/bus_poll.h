// One sd-bus connection in the launcher's poll: what to wait for, and
// handling what came. Shared by every watch that listens on a bus.
#pragma once

#include "idle/loop/watched.h"

struct sd_bus;

namespace tw::idle {

// Handles everything queued; false when the connection has closed.
bool processBus(sd_bus* bus);
// Handles what is queued, then fills the request: the connection's fd, its
// events and the deadline of a reply it awaits. False when it has closed.
bool prepareBus(sd_bus* bus, PollRequest& request);

}  // namespace tw::idle
