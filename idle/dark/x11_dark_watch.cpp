#include "idle/dark/x11_dark_watch.h"

#include <sys/uio.h>
#include <xcb/dpms.h>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <array>
#include <cstring>

#include "idle/dark/dark_screen.h"
#include "idle/loop/steady_clock.h"

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
  const std::optional<xcb_window_t> root = x_.root();
  const xcb_query_extension_reply_t* saverExtension =
      root ? x_.extension(xcb_screensaver_id) : nullptr;
  const xcb_query_extension_reply_t* dpmsExtension = root ? x_.extension(xcb_dpms_id) : nullptr;
  if (saverExtension == nullptr && dpmsExtension == nullptr) {
    x_.close();
    return;
  }
  if (saverExtension != nullptr) {
    screenSaverEvent_ = saverExtension->first_event;
    // Events first, then the state: a change between the two is not lost.
    xcb_screensaver_select_input(x_.get(), *root, XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
    Reply<xcb_screensaver_query_info_reply_t> info(xcb_screensaver_query_info_reply(
        x_.get(), xcb_screensaver_query_info(x_.get(), *root), nullptr));
    if (info) setDark(LockSignal::X11ScreenSaver, screenSaverOn_,
                      x11ScreenSaverDark(info->state).value_or(false));
  }
  if (dpmsExtension != nullptr) {
    dpmsOpcode_ = dpmsExtension->major_opcode;
    Reply<xcb_dpms_get_version_reply_t> version(xcb_dpms_get_version_reply(
        x_.get(), xcb_dpms_get_version(x_.get(), kDpmsWantMajor, kDpmsWantMinor), nullptr));
    dpmsEvents_ = version && (version->server_major_version > kDpmsWantMajor ||
                              (version->server_major_version == kDpmsWantMajor &&
                               version->server_minor_version >= kDpmsWantMinor));
    if (dpmsEvents_) selectDpmsEvents();
    Reply<xcb_dpms_info_reply_t> info(
        xcb_dpms_info_reply(x_.get(), xcb_dpms_info(x_.get()), nullptr));
    if (info) setDark(LockSignal::X11Dpms, monitorOff_, dpmsDark(info->state != 0, info->power_level));
  }
  xcb_flush(x_.get());
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
  xcb_send_request(x_.get(), 0, parts.data() + 2, &protocol);
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
  dpmsQuery_ = xcb_dpms_info(x_.get()).sequence;
}

void X11DarkWatch::readDpms() {
  if (!dpmsQuery_) return;
  void* answer = nullptr;
  xcb_generic_error_t* error = nullptr;
  if (xcb_poll_for_reply(x_.get(), *dpmsQuery_, &answer, &error) == 0) return;
  dpmsQuery_.reset();
  const Reply<xcb_generic_error_t> failed(error);
  const Reply<xcb_dpms_info_reply_t> info(static_cast<xcb_dpms_info_reply_t*>(answer));
  if (info) setDark(LockSignal::X11Dpms, monitorOff_, dpmsDark(info->state != 0, info->power_level));
}

bool X11DarkWatch::prepare(PollRequest& request) { return x_.prepare(request); }

bool X11DarkWatch::dispatch(short) {
  x_.dispatch([this](const xcb_generic_event_t& event, std::uint8_t type) {
    if (screenSaverEvent_ != 0 && type == screenSaverEvent_ + XCB_SCREENSAVER_NOTIFY) {
      const auto& notify = reinterpret_cast<const xcb_screensaver_notify_event_t&>(event);
      if (const std::optional<bool> dark = x11ScreenSaverDark(notify.state))
        setDark(LockSignal::X11ScreenSaver, screenSaverOn_, *dark);
    } else if (type == XCB_GE_GENERIC && dpmsEvents_) {
      const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
      if (generic.extension != dpmsOpcode_ || generic.event_type != kDpmsInfoNotify) return;
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(&event);
      std::uint16_t level = 0;
      std::memcpy(&level, bytes + kPowerLevelAt, sizeof level);
      setDark(LockSignal::X11Dpms, monitorOff_, dpmsDark(bytes[kStateAt] != 0, level));
    }
  });
  readDpms();
  askDpms();
  return !x_.broken();
}

}  // namespace tw::idle
