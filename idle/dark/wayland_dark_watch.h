// A Wayland compositor's outputs powered off: wlroots' output power protocol
// (sway's `output * dpms off`, swayidle's usual line) or KWin's DPMS
// protocol (PowerDevil's screen energy saving). Each output's mode is sent
// at once and at each change, so nothing is asked again. The screen counts
// as dark once every output is off. On a connection of its own, so that the
// idle source, made again when the compositor restarts, keeps none of its
// outputs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/no_copy.h"
#include "idle/dark/dark_screen.h"
#include "idle/decide/launcher.h"
#include "idle/loop/watched.h"
#include "idle/sources/wayland_connection.h"

struct wl_output;
struct zwlr_output_power_manager_v1;
struct zwlr_output_power_v1;
struct org_kde_kwin_dpms_manager;
struct org_kde_kwin_dpms;

namespace tw::idle {

class WaylandDarkWatch : public Watched, private common::NoCopy {
 public:
  // Tells the launcher, when there is one, whenever every output goes off or
  // one comes back, starting with how they are now; --status passes none.
  explicit WaylandDarkWatch(Launcher* launcher);
  ~WaylandDarkWatch() override;

  // False when no compositor answers, or it offers neither protocol.
  bool connected() const { return wayland_ && (wlr_ != nullptr || kde_ != nullptr); }
  // Who says the screen is dark now, or empty.
  std::string darkBy() const;
  // The connection is about to go: what it said dark no longer holds.
  void letGo() { setDark(false); }

  bool prepare(PollRequest& request) override;
  bool dispatch(short revents) override;

  // What the compositor announced and sent; public for the callbacks.
  struct Output {
    WaylandDarkWatch* watch = nullptr;
    std::uint32_t name = 0;
    wl_output* output = nullptr;
    zwlr_output_power_v1* wlrPower = nullptr;
    org_kde_kwin_dpms* kdeDpms = nullptr;
  };
  void announced(std::uint32_t name, const char* interface);
  void withdrawn(std::uint32_t name);
  void modeIs(std::uint32_t output, bool off);
  void outputGone(std::uint32_t output);

 private:
  void watchPower(Output& output);
  void setDark(bool dark);
  LockSignal signal() const {
    return wlr_ != nullptr ? LockSignal::WaylandOutputPower : LockSignal::KdeDpms;
  }

  Launcher* launcher_;
  WaylandConnection wayland_;
  std::uint32_t wlrName_ = 0;
  std::uint32_t kdeName_ = 0;
  zwlr_output_power_manager_v1* wlr_ = nullptr;
  org_kde_kwin_dpms_manager* kde_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;
  OutputPowers powers_;
  bool dark_ = false;
};

}  // namespace tw::idle
