// The session's idle time from an X server: two alarms on the SYNC
// extension's IDLETIME counter, one as it rises through the delay, one as it
// falls back (input). The server wakes the launcher only then. IDLETIME is
// what MIT-SCREEN-SAVER reports as the time since input, and the server resets
// both when a player resets the screen saver (XResetScreenSaver, `xset s
// reset`), so such a player holds the saver back. A session already idle
// past the delay when the source starts is reported idle at once.
#pragma once

#include <cstdint>
#include <optional>

#include "idle/decide/idle_events.h"
#include "idle/loop/idle_source.h"
#include "idle/sources/xcb_connection.h"

namespace tw::idle {

class X11IdleSource : public IdleSource {
 public:
  X11IdleSource(std::uint32_t delayMs, IdleEvents& events);
  ~X11IdleSource() override;

  // The idle time now; none when the server did not say.
  std::optional<std::int64_t> idleMs() override;
  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;
  // Two more alarms: one at the idle time now plus the delay, one as the
  // idle time falls below its value now (any input). Until either fires the
  // plain idle alarm, which could come sooner, is not heard.
  void restartIdlePeriod() override;

 private:
  // The two standing alarms hold the delay: new ones at the new delay.
  void watchDelay() override;
  bool findIdleCounter();
  std::uint32_t createAlarm(std::int64_t value, bool rising);
  void dropRestartAlarms();

  XcbConnection x_;
  std::uint8_t alarmNotify_ = 0;
  std::uint32_t idleCounter_ = 0;
  std::uint32_t idleAlarm_ = 0;
  std::uint32_t activeAlarm_ = 0;
  std::uint32_t restartAlarm_ = 0;
  std::uint32_t inputAlarm_ = 0;
  bool restartPending_ = false;
  bool idleAtStart_ = false;
};

}  // namespace tw::idle
