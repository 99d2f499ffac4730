#include "idle/dark/x11_dark_watch.h"

#include <poll.h>
#include <sys/uio.h>
#include <xcb/dpms.h>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <array>
#include <cstdlib>
#include <cstring>

#include "idle/dark/dark_screen.h"
#include "idle/loop/steady_clock.h"
#include "idle/sources/xcb_reply.h"

namespace tw::idle {
namespace {

// DPMS 1.2: DPMSSelectInput's minor opcode, its one mask, and the Generic
// Event type of DPMSInfoNotify with the offsets of its power level and state.
constexpr std::uint16_t kDpmsWantMajor = 1;
constexpr std::uint16_t kDpmsWantMinor = 2;
constexpr std::uint8_t kDpmsSelectInput = 8;
constexpr std::uint32_t kDpmsInfoNotifyMask = 1;
constexpr std::uint16_t kDpmsInfoNotify = 0;
constexpr std::size_t kPowerLevelAt = 16;
constexpr std::size_t kStateAt = 18;
// How often a server without DPMS events is asked while the saver runs.
constexpr std::uint64_t kDpmsAskEveryUs = 1'000'000;

}  // namespace

X11DarkWatch::X11DarkWatch(Launcher* launcher, const SaverProcess* saver)
    : launcher_(launcher), saver_(saver) {
  xcb_window_t root = 0;
  connection_ = connectWithRoot(root);
  if (connection_ == nullptr) return;
  const xcb_query_extension_reply_t* saverExtension =
      xcb_get_extension_data(connection_, &xcb_screensaver_id);
  const xcb_query_extension_reply_t* dpmsExtension =
      xcb_get_extension_data(connection_, &xcb_dpms_id);
  if ((saverExtension == nullptr || saverExtension->present == 0) &&
      (dpmsExtension == nullptr || dpmsExtension->present == 0)) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
    return;
  }
  if (saverExtension != nullptr && saverExtension->present != 0) {
    screenSaverEvent_ = saverExtension->first_event;
    // Events first, then the state: a change between the two is not lost.
    xcb_screensaver_select_input(connection_, root, XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
    Reply<xcb_screensaver_query_info_reply_t> info(xcb_screensaver_query_info_reply(
        connection_, xcb_screensaver_query_info(connection_, root), nullptr));
    if (info) setDark(LockSignal::X11ScreenSaver, screenSaverOn_,
                      x11ScreenSaverDark(info->state).value_or(false));
  }
  if (dpmsExtension != nullptr && dpmsExtension->present != 0) {
    dpmsOpcode_ = dpmsExtension->major_opcode;
    Reply<xcb_dpms_get_version_reply_t> version(xcb_dpms_get_version_reply(
        connection_, xcb_dpms_get_version(connection_, kDpmsWantMajor, kDpmsWantMinor), nullptr));
    dpmsEvents_ = version && (version->server_major_version > kDpmsWantMajor ||
                              (version->server_major_version == kDpmsWantMajor &&
                               version->server_minor_version >= kDpmsWantMinor));
    if (dpmsEvents_) selectDpmsEvents();
    Reply<xcb_dpms_info_reply_t> info(
        xcb_dpms_info_reply(connection_, xcb_dpms_info(connection_), nullptr));
    if (info) setDark(LockSignal::X11Dpms, monitorOff_, dpmsDark(info->state != 0, info->power_level));
  }
  xcb_flush(connection_);
}

X11DarkWatch::~X11DarkWatch() {
  if (connection_ != nullptr) xcb_disconnect(connection_);
}

void X11DarkWatch::selectDpmsEvents() {
  struct {
    std::uint8_t major;
    std::uint8_t minor;
    std::uint16_t length;
    std::uint32_t mask;
  } request{0, kDpmsSelectInput, 0, kDpmsInfoNotifyMask};
  // As xcb's generated requests do: two parts before ours are xcb's own, and
  // xcb fills in the major opcode and the length.
  std::array<iovec, 4> parts{};
  parts[2].iov_base = &request;
  parts[2].iov_len = sizeof request;
  xcb_protocol_request_t protocol{};
  protocol.count = 2;
  protocol.ext = &xcb_dpms_id;
  protocol.opcode = kDpmsSelectInput;
  protocol.isvoid = 1;
  xcb_send_request(connection_, 0, parts.data() + 2, &protocol);
}

void X11DarkWatch::setDark(LockSignal signal, bool& now, bool dark) {
  if (now == dark) return;
  now = dark;
  if (launcher_ != nullptr) launcher_->lockChanged(signal, dark);
}

std::string X11DarkWatch::darkBy() const {
  std::string by;
  if (screenSaverOn_) by = "the X server's screen saver (MIT-SCREEN-SAVER)";
  if (monitorOff_) by += std::string(by.empty() ? "" : ", ") + "DPMS";
  return by;
}

std::string X11DarkWatch::listensTo() const {
  std::string what;
  if (screenSaverEvent_ != 0) what = "MIT-SCREEN-SAVER";
  if (dpmsOpcode_ != 0)
    what += std::string(what.empty() ? "" : ", ") +
            (dpmsEvents_ ? "DPMS 1.2 events" : "DPMS asked while the saver runs");
  return what;
}

void X11DarkWatch::askDpms() {
  if (dpmsOpcode_ == 0 || dpmsEvents_ || dpmsQuery_ || saver_ == nullptr || !saver_->running())
    return;
  const std::uint64_t now = monotonicNowUs();
  if (now - dpmsAskedAtUs_ < kDpmsAskEveryUs) return;
  dpmsAskedAtUs_ = now;
  dpmsQuery_ = xcb_dpms_info(connection_).sequence;
}

void X11DarkWatch::readDpms() {
  if (!dpmsQuery_) return;
  void* answer = nullptr;
  xcb_generic_error_t* error = nullptr;
  if (xcb_poll_for_reply(connection_, *dpmsQuery_, &answer, &error) == 0) return;
  dpmsQuery_.reset();
  const Reply<xcb_generic_error_t> failed(error);
  const Reply<xcb_dpms_info_reply_t> info(static_cast<xcb_dpms_info_reply_t*>(answer));
  if (info) setDark(LockSignal::X11Dpms, monitorOff_, dpmsDark(info->state != 0, info->power_level));
}

bool X11DarkWatch::prepare(PollRequest& request) {
  if (connection_ == nullptr) return false;
  if (xcb_flush(connection_) <= 0) return false;
  request.fd = xcb_get_file_descriptor(connection_);
  request.events = POLLIN;
  return true;
}

bool X11DarkWatch::dispatch(short) {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    const Reply<xcb_generic_event_t> owned(event);
    const std::uint8_t type = event->response_type & kEventCodeMask;
    if (screenSaverEvent_ != 0 && type == screenSaverEvent_ + XCB_SCREENSAVER_NOTIFY) {
      const auto* notify = reinterpret_cast<const xcb_screensaver_notify_event_t*>(event);
      if (const std::optional<bool> dark = x11ScreenSaverDark(notify->state))
        setDark(LockSignal::X11ScreenSaver, screenSaverOn_, *dark);
    } else if (type == XCB_GE_GENERIC && dpmsEvents_) {
      const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
      if (generic->extension != dpmsOpcode_ || generic->event_type != kDpmsInfoNotify) continue;
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(event);
      std::uint16_t level = 0;
      std::memcpy(&level, bytes + kPowerLevelAt, sizeof level);
      setDark(LockSignal::X11Dpms, monitorOff_, dpmsDark(bytes[kStateAt] != 0, level));
    }
  }
  readDpms();
  askDpms();
  return xcb_connection_has_error(connection_) == 0;
}

}  // namespace tw::idle
