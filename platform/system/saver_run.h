// The saver's run, from its start to the exit status the core decided.
#pragma once

#include <string>

#include "platform/system/end_signals.h"
#include "platform/system/heartbeat.h"
#include "platform/windows/tick_observer.h"

namespace tw::platform {

// Runs the saver once QApplication stands, with walked.log in `logFolder`
// (empty: none kept), `observer` (may be null) told of its ticks, `endSignals`
// ending it as a key does and `heartbeat` beating, and gives the status the
// program exits with. On Wayland the process ends in here instead, without
// Qt's display teardown, which can hang.
int runSaver(const std::string& logFolder, TickObserver* observer, EndSignals& endSignals,
             Heartbeat& heartbeat);

}  // namespace tw::platform
