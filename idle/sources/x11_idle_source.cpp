#include "idle/sources/x11_idle_source.h"

#include <poll.h>
#include <xcb/sync.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "idle/sources/xcb_reply.h"

namespace tw::idle {
namespace {

// The SYNC version whose alarms this uses.
constexpr std::uint8_t kSyncMajor = 3;
constexpr std::uint8_t kSyncMinor = 1;

// Layout of one SYSTEMCOUNTER in ListSystemCounters' reply, in bytes:
// counter (4), resolution (8), name length (2), name, padded to 4. Read by
// hand: libxcb's iterator assumes a padding the server does not send and
// misreads every name.
constexpr std::size_t kCounterNameLengthAt = 12;
constexpr std::size_t kCounterNameAt = 14;
constexpr std::size_t kCounterAlignment = 4;

}  // namespace

X11IdleSource::X11IdleSource(std::uint32_t delayMs, IdleEvents& events)
    : events_(events), delayMs_(delayMs) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || name[0] == '\0') {
    failure_ = "DISPLAY is not set";
    return;
  }
  displayName_ = name;
  connection_ = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection_) != 0) {
    failure_ = "no X server answers at DISPLAY=" + displayName_;
    return;
  }
  const xcb_query_extension_reply_t* sync = xcb_get_extension_data(connection_, &xcb_sync_id);
  if (sync == nullptr || sync->present == 0) {
    failure_ = "the X server at " + displayName_ + " has no SYNC extension";
    return;
  }
  alarmNotify_ = static_cast<std::uint8_t>(sync->first_event + XCB_SYNC_ALARM_NOTIFY);
  Reply<xcb_sync_initialize_reply_t> version(xcb_sync_initialize_reply(
      connection_, xcb_sync_initialize(connection_, kSyncMajor, kSyncMinor), nullptr));
  if (!version || !findIdleCounter()) {
    failure_ = "the X server at " + displayName_ + " keeps no IDLETIME counter";
    return;
  }
  idleAlarm_ = createAlarm(delayMs_, true);
  activeAlarm_ = createAlarm(delayMs_, false);
  // The rising alarm fires only as the idle time passes the delay: a session
  // idle longer already is idle now, as GNOME's monitor says it.
  const std::optional<std::int64_t> idle = idleMs();
  idleAtStart_ = idle && *idle >= static_cast<std::int64_t>(delayMs_);
  xcb_flush(connection_);
  if (xcb_connection_has_error(connection_) != 0)
    failure_ = "the X server at " + displayName_ + " closed the connection";
}

X11IdleSource::~X11IdleSource() {
  if (connection_ == nullptr) return;
  if (xcb_connection_has_error(connection_) == 0) {
    for (const std::uint32_t alarm : {idleAlarm_, activeAlarm_, restartAlarm_, inputAlarm_})
      if (alarm != 0) xcb_sync_destroy_alarm(connection_, alarm);
    xcb_flush(connection_);
  }
  xcb_disconnect(connection_);
}

bool X11IdleSource::findIdleCounter() {
  Reply<xcb_sync_list_system_counters_reply_t> list(xcb_sync_list_system_counters_reply(
      connection_, xcb_sync_list_system_counters(connection_), nullptr));
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
      connection_, xcb_sync_query_counter(connection_, idleCounter_), nullptr));
  if (!reply) return std::nullopt;
  constexpr int kHighShift = 32;
  return static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(reply->counter_value.hi))
       << kHighShift) |
      reply->counter_value.lo);
}

std::uint32_t X11IdleSource::createAlarm(std::int64_t value, bool rising) {
  const std::uint32_t alarm = xcb_generate_id(connection_);
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
  xcb_sync_create_alarm(connection_, alarm,
                        XCB_SYNC_CA_COUNTER | XCB_SYNC_CA_VALUE_TYPE | XCB_SYNC_CA_VALUE |
                            XCB_SYNC_CA_TEST_TYPE | XCB_SYNC_CA_DELTA | XCB_SYNC_CA_EVENTS,
                        values);
  return alarm;
}

void X11IdleSource::dropRestartAlarms() {
  for (std::uint32_t* alarm : {&restartAlarm_, &inputAlarm_}) {
    if (*alarm != 0) xcb_sync_destroy_alarm(connection_, *alarm);
    *alarm = 0;
  }
  restartPending_ = false;
}

void X11IdleSource::restartIdlePeriod() {
  if (xcb_connection_has_error(connection_) != 0) return;
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

// The two standing alarms hold the delay: new ones at the new delay.
void X11IdleSource::setDelayMs(std::uint32_t delayMs) {
  if (xcb_connection_has_error(connection_) != 0) return;
  delayMs_ = delayMs;
  for (std::uint32_t* alarm : {&idleAlarm_, &activeAlarm_})
    if (*alarm != 0) xcb_sync_destroy_alarm(connection_, *alarm);
  idleAlarm_ = createAlarm(delayMs_, true);
  activeAlarm_ = createAlarm(delayMs_, false);
  restartIdlePeriod();
}

std::string X11IdleSource::description() const {
  return "X11 idle time (SYNC IDLETIME, " + displayName_ + ")";
}

bool X11IdleSource::prepare(PollRequest& request) {
  if (xcb_flush(connection_) <= 0) return false;
  request.fd = xcb_get_file_descriptor(connection_);
  request.events = POLLIN;
  // Reported in this round's dispatch, without waiting.
  if (idleAtStart_) request.deadlineUs = 0;
  return true;
}

bool X11IdleSource::dispatch(short) {
  if (idleAtStart_) {
    idleAtStart_ = false;
    events_.sessionIdle();
  }
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    const Reply<xcb_generic_event_t> owned(event);
    if ((event->response_type & kEventCodeMask) != alarmNotify_) continue;
    const auto* notify = reinterpret_cast<const xcb_sync_alarm_notify_event_t*>(event);
    // A destroyed alarm says so once more; that is no crossing.
    if (notify->state == XCB_SYNC_ALARMSTATE_DESTROYED || notify->alarm == 0) continue;
    if (notify->alarm == idleAlarm_) {
      if (!restartPending_) events_.sessionIdle();
    } else if (notify->alarm == activeAlarm_) {
      events_.sessionActive();
    } else if (notify->alarm == restartAlarm_) {
      const bool pending = restartPending_;
      dropRestartAlarms();
      if (pending) events_.sessionIdle();
    } else if (notify->alarm == inputAlarm_) {
      // Input: from here the plain alarm counts the whole delay again.
      dropRestartAlarms();
    }
  }
  return xcb_connection_has_error(connection_) == 0;
}

}  // namespace tw::idle
