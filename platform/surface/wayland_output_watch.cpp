#include "platform/surface/wayland_output_watch.h"

#include <QScreen>
#include <QSocketNotifier>
#include <QWindow>
#include <algorithm>
#include <cstring>

#if TRENCHWALK_WAYLAND
#include <wayland-client.h>

#include "xdg-output-unstable-v1-client-protocol.h"
#endif

namespace tw::platform {

#if TRENCHWALK_WAYLAND
namespace {

// wl_output 2 for its done event, xdg_output 2 for the output's name (3 when
// offered, whose done comes with wl_output's).
constexpr uint32_t kOutputVersion = 2;
constexpr uint32_t kLeastXdgOutputVersion = 2;
constexpr uint32_t kXdgOutputVersion = 3;

}  // namespace

WaylandOutputWatch::WaylandOutputWatch() {
  display_ = wl_display_connect(nullptr);
  if (!display_) return;
  registry_ = wl_display_get_registry(display_);
  static constexpr wl_registry_listener kListener{&WaylandOutputWatch::global,
                                                  &WaylandOutputWatch::globalRemoved};
  wl_registry_add_listener(registry_, &kListener, this);
  if (wl_display_roundtrip(display_) < 0) return;
  // The outputs announced before the xdg_output manager get their xdg_output
  // now; the second round trip brings what they say.
  if (xdgOutputs_)
    for (const auto& o : outputs_)
      if (!o->xdg) watchOutput(*o);
  wl_display_roundtrip(display_);
  notifier_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { readNews(); });
}

WaylandOutputWatch::~WaylandOutputWatch() {
  notifier_.reset();
  for (const auto& o : outputs_) drop(*o);
  outputs_.clear();
  if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
  if (registry_) wl_registry_destroy(registry_);
  if (display_) wl_display_disconnect(display_);
}

void WaylandOutputWatch::readNews() {
  // Readable: reading takes what came and does not wait.
  if (wl_display_prepare_read(display_) == 0) wl_display_read_events(display_);
  if (wl_display_dispatch_pending(display_) < 0) notifier_->setEnabled(false);
}

void WaylandOutputWatch::global(void* data, wl_registry* registry, uint32_t name,
                                const char* interface, uint32_t version) {
  auto* self = static_cast<WaylandOutputWatch*>(data);
  if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && !self->xdgOutputs_ &&
      version >= kLeastXdgOutputVersion) {
    self->xdgOutputs_ = static_cast<zxdg_output_manager_v1*>(wl_registry_bind(
        registry, name, &zxdg_output_manager_v1_interface, std::min(version, kXdgOutputVersion)));
  } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= kOutputVersion) {
    self->addOutput(name, version);
  }
}

void WaylandOutputWatch::globalRemoved(void* data, wl_registry*, uint32_t name) {
  auto& outputs = static_cast<WaylandOutputWatch*>(data)->outputs_;
  const auto gone = std::find_if(outputs.begin(), outputs.end(),
                                 [name](const auto& o) { return o->global == name; });
  if (gone == outputs.end()) return;
  drop(**gone);
  outputs.erase(gone);
}

void WaylandOutputWatch::drop(Bound& bound) {
  if (bound.xdg) zxdg_output_v1_destroy(bound.xdg);
  wl_output_destroy(bound.output);
}

void WaylandOutputWatch::addOutput(uint32_t global, uint32_t version) {
  auto o = std::make_unique<Bound>();
  o->global = global;
  o->output = static_cast<wl_output*>(
      wl_registry_bind(registry_, global, &wl_output_interface, std::min(version, kOutputVersion)));
  static constexpr wl_output_listener kListener{
      [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
         int32_t) {},
      [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
        if (flags & WL_OUTPUT_MODE_CURRENT) static_cast<Output*>(data)->mode = QSize(width, height);
      },
      [](void*, wl_output*) {},
      [](void*, wl_output*, int32_t) {},
      [](void*, wl_output*, const char*) {},
      [](void*, wl_output*, const char*) {},
  };
  wl_output_add_listener(o->output, &kListener, &o->described);
  if (xdgOutputs_) watchOutput(*o);
  outputs_.push_back(std::move(o));
}

void WaylandOutputWatch::watchOutput(Bound& bound) {
  bound.xdg = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, bound.output);
  static constexpr zxdg_output_v1_listener kListener{
      [](void* data, zxdg_output_v1*, int32_t x, int32_t y) {
        static_cast<Output*>(data)->logical.moveTopLeft(QPoint(x, y));
      },
      [](void* data, zxdg_output_v1*, int32_t width, int32_t height) {
        static_cast<Output*>(data)->logical.setSize(QSize(width, height));
      },
      [](void*, zxdg_output_v1*) {},
      [](void* data, zxdg_output_v1*, const char* name) {
        static_cast<Output*>(data)->name = QString::fromUtf8(name);
      },
      [](void*, zxdg_output_v1*, const char*) {},
  };
  zxdg_output_v1_add_listener(bound.xdg, &kListener, &bound.described);
}

const WaylandOutputWatch::Output* WaylandOutputWatch::outputOf(const QWindow& window) const {
  const QScreen* screen = window.screen();
  if (!screen) return nullptr;
  // Qt names its screens as xdg_output does; without a name, the logical
  // rectangle tells them apart.
  for (const auto& o : outputs_)
    if (!o->described.name.isEmpty() && o->described.name == screen->name()) return &o->described;
  for (const auto& o : outputs_)
    if (o->described.logical == screen->geometry()) return &o->described;
  return nullptr;
}

#else  // no Wayland support compiled in: never made, only named by WaylandSurface

WaylandOutputWatch::~WaylandOutputWatch() = default;

#endif

}  // namespace tw::platform
