// One connection of the launcher to the Wayland compositor at
// WAYLAND_DISPLAY, with its registry, and its turn in the event loop: a read
// prepared before poll (dispatching what is already queued), and after it
// either completed or cancelled, whatever woke the loop.
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <string>

#include "common/no_copy.h"
#include "idle/loop/watched.h"

namespace tw::idle {

class WaylandConnection : private common::NoCopy {
 public:
  // Connects and hands the registry's announcements to `listener` with
  // `data`, from the first roundtrip on; when no compositor answers, failure()
  // says why.
  WaylandConnection(const wl_registry_listener& listener, void* data);
  // The owner destroys the objects it bound first.
  ~WaylandConnection();

  explicit operator bool() const { return display_ != nullptr; }
  wl_display* display() const { return display_; }
  const std::string& failure() const { return failure_; }
  const std::string& displayName() const { return displayName_; }
  // Binds the global announced as `name`, at version 1.
  template <typename T>
  T* bind(std::uint32_t name, const wl_interface& interface) {
    return static_cast<T*>(wl_registry_bind(registry_, name, &interface, 1));
  }

  bool prepare(PollRequest& request);
  bool dispatch(short revents);

 private:
  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  std::string displayName_;
  std::string failure_;
  bool readPrepared_ = false;
};

}  // namespace tw::idle
