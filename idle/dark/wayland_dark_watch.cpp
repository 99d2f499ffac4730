#include "idle/dark/wayland_dark_watch.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

#include "org-kde-kwin-dpms-client-protocol.h"
#include "wlr-output-power-management-unstable-v1-client-protocol.h"

namespace tw::idle {
namespace {

using Output = WaylandDarkWatch::Output;

void announced(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t) {
  static_cast<WaylandDarkWatch*>(data)->announced(name, interface);
}
void withdrawn(void* data, wl_registry*, std::uint32_t name) {
  static_cast<WaylandDarkWatch*>(data)->withdrawn(name);
}

void wlrMode(void* data, zwlr_output_power_v1*, std::uint32_t mode) {
  auto* output = static_cast<Output*>(data);
  if (const std::optional<bool> off = wlrOutputOff(mode)) output->watch->modeIs(output->name, *off);
}
void wlrFailed(void* data, zwlr_output_power_v1*) {
  auto* output = static_cast<Output*>(data);
  output->watch->outputGone(output->name);
}

void kdeSupported(void* data, org_kde_kwin_dpms*, std::uint32_t supported) {
  // An output without DPMS never goes off this way: it stays lit.
  auto* output = static_cast<Output*>(data);
  if (supported == 0) output->watch->modeIs(output->name, false);
}
void kdeMode(void* data, org_kde_kwin_dpms*, std::uint32_t mode) {
  auto* output = static_cast<Output*>(data);
  if (const std::optional<bool> off = kdeDpmsOff(mode)) output->watch->modeIs(output->name, *off);
}
void kdeDone(void*, org_kde_kwin_dpms*) {}

constexpr wl_registry_listener kRegistryListener{announced, withdrawn};
constexpr zwlr_output_power_v1_listener kWlrListener{wlrMode, wlrFailed};
constexpr org_kde_kwin_dpms_listener kKdeListener{kdeSupported, kdeMode, kdeDone};

}  // namespace

WaylandDarkWatch::WaylandDarkWatch(Launcher* launcher)
    : launcher_(launcher), wayland_(kRegistryListener, this) {
  if (!wayland_ || wl_display_roundtrip(wayland_.display()) < 0) return;
  // wlroots' protocol where both are offered: it tells off from on alone.
  if (wlrName_ != 0)
    wlr_ = wayland_.bind<zwlr_output_power_manager_v1>(wlrName_,
                                                       zwlr_output_power_manager_v1_interface);
  else if (kdeName_ != 0)
    kde_ = wayland_.bind<org_kde_kwin_dpms_manager>(kdeName_, org_kde_kwin_dpms_manager_interface);
  for (const std::unique_ptr<Output>& output : outputs_) watchPower(*output);
  // The modes as they are now, before the loop's first poll.
  wl_display_roundtrip(wayland_.display());
}

WaylandDarkWatch::~WaylandDarkWatch() {
  for (const std::unique_ptr<Output>& output : outputs_) {
    if (output->wlrPower != nullptr) zwlr_output_power_v1_destroy(output->wlrPower);
    if (output->kdeDpms != nullptr) org_kde_kwin_dpms_release(output->kdeDpms);
    wl_output_destroy(output->output);
  }
  if (wlr_ != nullptr) zwlr_output_power_manager_v1_destroy(wlr_);
  if (kde_ != nullptr) org_kde_kwin_dpms_manager_destroy(kde_);
}

void WaylandDarkWatch::announced(std::uint32_t name, const char* interface) {
  if (std::strcmp(interface, zwlr_output_power_manager_v1_interface.name) == 0) {
    wlrName_ = name;
  } else if (std::strcmp(interface, org_kde_kwin_dpms_manager_interface.name) == 0) {
    kdeName_ = name;
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    auto output = std::make_unique<Output>();
    output->watch = this;
    output->name = name;
    output->output = wayland_.bind<wl_output>(name, wl_output_interface);
    // An output plugged in later is watched at once; those of the first
    // announcement once the manager is bound.
    watchPower(*output);
    outputs_.push_back(std::move(output));
  }
}

void WaylandDarkWatch::watchPower(Output& output) {
  if (wlr_ != nullptr && output.wlrPower == nullptr) {
    output.wlrPower = zwlr_output_power_manager_v1_get_output_power(wlr_, output.output);
    zwlr_output_power_v1_add_listener(output.wlrPower, &kWlrListener, &output);
  } else if (kde_ != nullptr && output.kdeDpms == nullptr) {
    output.kdeDpms = org_kde_kwin_dpms_manager_get(kde_, output.output);
    org_kde_kwin_dpms_add_listener(output.kdeDpms, &kKdeListener, &output);
  }
}

void WaylandDarkWatch::withdrawn(std::uint32_t name) {
  const auto found = std::find_if(outputs_.begin(), outputs_.end(),
                                  [name](const std::unique_ptr<Output>& o) { return o->name == name; });
  if (found == outputs_.end()) return;
  if ((*found)->wlrPower != nullptr) zwlr_output_power_v1_destroy((*found)->wlrPower);
  if ((*found)->kdeDpms != nullptr) org_kde_kwin_dpms_release((*found)->kdeDpms);
  wl_output_destroy((*found)->output);
  outputs_.erase(found);
  outputGone(name);
}

void WaylandDarkWatch::modeIs(std::uint32_t output, bool off) {
  powers_.set(output, off);
  setDark(powers_.dark());
}

void WaylandDarkWatch::outputGone(std::uint32_t output) {
  powers_.remove(output);
  setDark(powers_.dark());
}

void WaylandDarkWatch::setDark(bool dark) {
  if (dark == dark_) return;
  dark_ = dark;
  if (launcher_ != nullptr) launcher_->lockChanged(signal(), dark);
}

std::string WaylandDarkWatch::darkBy() const {
  if (!dark_) return {};
  return wlr_ != nullptr ? "every output powered off (wlr-output-power-management)"
                         : "every output off (KWin's DPMS)";
}

bool WaylandDarkWatch::prepare(PollRequest& request) { return wayland_.prepare(request); }

bool WaylandDarkWatch::dispatch(short revents) { return wayland_.dispatch(revents); }

}  // namespace tw::idle
