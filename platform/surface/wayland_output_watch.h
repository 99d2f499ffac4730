// The outputs as the compositor describes them, for the scale of a window
// whose compositor has no wp_fractional_scale_v1: each output's name and
// logical rectangle (xdg_output) and its current mode (wl_output).
//
// They are watched on a Wayland connection of their own, not on Qt's. Bound
// on Qt's, each wl_output of ours would come to Qt's surfaces in their enter
// and leave events too, and one dropped meanwhile would reach Qt as a null
// output, which it does not survive. Their news is rare: read when the
// connection has some, in Qt's event loop, never on a tick.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/no_copy.h"

class QSocketNotifier;
class QWindow;
struct wl_display;
struct wl_output;
struct wl_registry;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace tw::platform {

class WaylandOutputWatch : private common::NoCopy {
 public:
  // An output: its name and logical rectangle, and its current mode in its
  // own orientation.
  struct Output {
    QString name;
    QRect logical;
    QSize mode;
  };

  // Connects and reads the outputs as they are (two round trips on its own
  // connection), then follows them. Without a connection it knows none.
  WaylandOutputWatch();
  ~WaylandOutputWatch();

  // The output Qt shows `window` on, as last read; null when none matches.
  const Output* outputOf(const QWindow& window) const;

 private:
  // An output as bound: its global, its two objects and what they said.
  // Each is its listeners' data, kept where it was made.
  struct Bound {
    uint32_t global = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* xdg = nullptr;
    Output described;
  };

  // Reads what the connection has, without waiting, and runs its handlers:
  // when its socket is readable.
  void readNews();
  void addOutput(uint32_t global, uint32_t version);
  void watchOutput(Bound& bound);
  static void drop(Bound& bound);
  static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version);
  static void globalRemoved(void* data, wl_registry* registry, uint32_t name);

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  std::unique_ptr<QSocketNotifier> notifier_;
  zxdg_output_manager_v1* xdgOutputs_ = nullptr;
  std::vector<std::unique_ptr<Bound>> outputs_;
};

}  // namespace tw::platform
