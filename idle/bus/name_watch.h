// A well-known name on a bus, its owner followed through the bus daemon's
// NameOwnerChanged, and the signals it sends, taken only from the connection
// that owns it now: a signal sent straight to the launcher by another program
// claiming to speak for it changes nothing.
#pragma once

#include <functional>
#include <string>

#include "common/no_copy.h"
#include "idle/bus/bus.h"

namespace tw::idle {

class NameWatch : private common::NoCopy {
 public:
  // changed(owned) each time the name gets an owner or loses it (a new owner
  // in one step counts as one that came).
  NameWatch(Bus& bus, const char* name, std::function<void(bool owned)> changed = {});

  const char* name() const { return name_; }
  bool owned() const { return !owner_.empty(); }
  // Whether the message came from the name's owner now.
  bool speaks(sd_bus_message* message) const;

  // The name's signal from `path` (any path when null), from its owner only.
  BusSlot onSignal(const char* path, const char* interface, const char* member,
                   Bus::Handler handler);
  // A property of the name's object, from its owner's PropertiesChanged:
  // the handler gets the message at the property's variant, or null when it
  // changed without its value (ask it again).
  BusSlot onProperty(const char* path, const char* interface, const char* property,
                     Bus::Handler handler);

 private:
  void ownerChanged(sd_bus_message* message);

  Bus& bus_;
  const char* name_;
  std::function<void(bool)> changed_;
  std::string owner_;
  BusSlot ownerSlot_;
};

}  // namespace tw::idle
