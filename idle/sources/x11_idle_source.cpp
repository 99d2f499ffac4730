#include "idle/sources/x11_idle_source.h"

#include <xcb/sync.h>
#include <xcb/xcb.h>

#include <cstring>

namespace tw::idle {

X11IdleSource::X11IdleSource(std::uint32_t delayMs, IdleEvents& events)
    : IdleSource(delayMs, events) {
  if (!x_) {
    failure_ = x_.failure();
    return;
  }
  const std::string& display = x_.displayName();
  description_ = "X11 idle time (SYNC IDLETIME, " + display + ")";
  const xcb_query_extension_reply_t* sync = x_.extension(xcb_sync_id);
  if (sync == nullptr) {
    failure_ = "the X server at " + display + " has no SYNC extension";
    return;
  }
  alarmNotify_ = static_cast<std::uint8_t>(sync->first_event + XCB_SYNC_ALARM_NOTIFY);
  // The SYNC version whose alarms this uses.
  constexpr std::uint8_t kSyncMajor = 3;
  constexpr std::uint8_t kSyncMinor = 1;
  Reply<xcb_sync_initialize_reply_t> version(xcb_sync_initialize_reply(
      x_.get(), xcb_sync_initialize(x_.get(), kSyncMajor, kSyncMinor), nullptr));
  if (!version || !findIdleCounter()) {
    failure_ = "the X server at " + display + " keeps no IDLETIME counter";
    return;
  }
  idleAlarm_ = createAlarm(delayMs_, true);
  activeAlarm_ = createAlarm(delayMs_, false);
  // The rising alarm fires only as the idle time passes the delay: a session
  // idle longer already is idle now, as GNOME's monitor says it.
  const std::optional<std::int64_t> idle = idleMs();
  idleAtStart_ = idle && *idle >= static_cast<std::int64_t>(delayMs_);
  xcb_flush(x_.get());
  if (x_.broken()) failure_ = "the X server at " + display + " closed the connection";
}

X11IdleSource::~X11IdleSource() {
  if (x_.broken()) return;
  for (const std::uint32_t alarm : {idleAlarm_, activeAlarm_, restartAlarm_, inputAlarm_})
    if (alarm != 0) xcb_sync_destroy_alarm(x_.get(), alarm);
  xcb_flush(x_.get());
}

// Read by hand: libxcb's iterator assumes a padding the server does not send
// and misreads every name.
bool X11IdleSource::findIdleCounter() {
  // Layout of one SYSTEMCOUNTER in the reply, in bytes: counter (4),
  // resolution (8), name length (2), name, padded to 4.
  constexpr std::size_t kCounterNameLengthAt = 12;
  constexpr std::size_t kCounterNameAt = 14;
  constexpr std::size_t kCounterAlignment = 4;
  Reply<xcb_sync_list_system_counters_reply_t> list(xcb_sync_list_system_counters_reply(
      x_.get(), xcb_sync_list_system_counters(x_.get()), nullptr));
  if (!list) return false;
  const auto* at = reinterpret_cast<const std::uint8_t*>(list.get() + 1);
  const auto* end = at + list->length * kCounterAlignment;
  constexpr char kName[] = "IDLETIME";
  constexpr std::size_t kNameLength = sizeof kName - 1;
  for (std::uint32_t i = 0; i < list->counters_len && at + kCounterNameAt <= end; ++i) {
    std::uint16_t length = 0;
    std::memcpy(&length, at + kCounterNameLengthAt, sizeof length);
    if (at + kCounterNameAt + length > end) return false;
    if (length == kNameLength && std::memcmp(at + kCounterNameAt, kName, kNameLength) == 0) {
      std::memcpy(&idleCounter_, at, sizeof idleCounter_);
      return true;
    }
    const std::size_t size = kCounterNameAt + length;
    at += (size + kCounterAlignment - 1) / kCounterAlignment * kCounterAlignment;
  }
  return false;
}

std::optional<std::int64_t> X11IdleSource::idleMs() {
  Reply<xcb_sync_query_counter_reply_t> reply(xcb_sync_query_counter_reply(
      x_.get(), xcb_sync_query_counter(x_.get(), idleCounter_), nullptr));
  if (!reply) return std::nullopt;
  constexpr int kHighShift = 32;
  return static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(reply->counter_value.hi))
       << kHighShift) |
      reply->counter_value.lo);
}

std::uint32_t X11IdleSource::createAlarm(std::int64_t value, bool rising) {
  const std::uint32_t alarm = xcb_generate_id(x_.get());
  constexpr int kHighShift = 32;
  constexpr std::uint64_t kLowMask = 0xffff'ffff;
  const auto bits = static_cast<std::uint64_t>(value);
  // In the order of the value mask's bits: counter, value type, value (high,
  // low), test type, delta (high, low), events.
  const std::uint32_t values[] = {
      idleCounter_,
      XCB_SYNC_VALUETYPE_ABSOLUTE,
      static_cast<std::uint32_t>(bits >> kHighShift),
      static_cast<std::uint32_t>(bits & kLowMask),
      static_cast<std::uint32_t>(rising ? XCB_SYNC_TESTTYPE_POSITIVE_TRANSITION
                                        : XCB_SYNC_TESTTYPE_NEGATIVE_TRANSITION),
      0,
      0,
      1,
  };
  xcb_sync_create_alarm(x_.get(), alarm,
                        XCB_SYNC_CA_COUNTER | XCB_SYNC_CA_VALUE_TYPE | XCB_SYNC_CA_VALUE |
                            XCB_SYNC_CA_TEST_TYPE | XCB_SYNC_CA_DELTA | XCB_SYNC_CA_EVENTS,
                        values);
  return alarm;
}

void X11IdleSource::dropRestartAlarms() {
  for (std::uint32_t* alarm : {&restartAlarm_, &inputAlarm_}) {
    if (*alarm != 0) xcb_sync_destroy_alarm(x_.get(), *alarm);
    *alarm = 0;
  }
  restartPending_ = false;
}

void X11IdleSource::restartIdlePeriod() {
  if (x_.broken()) return;
  dropRestartAlarms();
  idleAtStart_ = false;
  const std::optional<std::int64_t> now = idleMs();
  if (!now) return;
  restartAlarm_ = createAlarm(*now + delayMs_, true);
  // Input drops the idle time to 0 from at least its value now; a value of 0
  // could never be passed downwards.
  inputAlarm_ = createAlarm(*now > 0 ? *now : 1, false);
  restartPending_ = true;
}

void X11IdleSource::watchDelay() {
  if (x_.broken()) return;
  for (std::uint32_t* alarm : {&idleAlarm_, &activeAlarm_})
    if (*alarm != 0) xcb_sync_destroy_alarm(x_.get(), *alarm);
  idleAlarm_ = createAlarm(delayMs_, true);
  activeAlarm_ = createAlarm(delayMs_, false);
}

bool X11IdleSource::prepare(PollRequest& request) {
  if (!x_.prepare(request)) return false;
  // Reported in this round's dispatch, without waiting.
  if (idleAtStart_) request.deadlineUs = 0;
  return true;
}

bool X11IdleSource::dispatch(short) {
  if (idleAtStart_) {
    idleAtStart_ = false;
    events_.sessionIdle();
  }
  return x_.dispatch([this](const xcb_generic_event_t& event, std::uint8_t type) {
    if (type != alarmNotify_) return;
    const auto& notify = reinterpret_cast<const xcb_sync_alarm_notify_event_t&>(event);
    // A destroyed alarm says so once more; that is no crossing.
    if (notify.state == XCB_SYNC_ALARMSTATE_DESTROYED || notify.alarm == 0) return;
    if (notify.alarm == idleAlarm_) {
      if (!restartPending_) events_.sessionIdle();
    } else if (notify.alarm == activeAlarm_) {
      events_.sessionActive();
    } else if (notify.alarm == restartAlarm_) {
      const bool pending = restartPending_;
      dropRestartAlarms();
      if (pending) events_.sessionIdle();
    } else if (notify.alarm == inputAlarm_) {
      // Input: from here the plain alarm counts the whole delay again.
      dropRestartAlarms();
    }
  });
}

}  // namespace tw::idle
