#include "idle/bus/name_watch.h"

#include <cstring>

#include "idle/decide/signal_sender.h"

namespace tw::idle {
namespace {

constexpr const char* kDaemonName = "org.freedesktop.DBus";
constexpr BusObject kDaemon{kDaemonName, "/org/freedesktop/DBus", kDaemonName};

std::string signalRule(const char* sender, const char* path, const char* interface,
                       const char* member) {
  std::string rule = std::string("type='signal',sender='") + sender + "',interface='" +
                     interface + "',member='" + member + "'";
  if (path != nullptr) rule += std::string(",path='") + path + "'";
  return rule;
}

}  // namespace

NameWatch::NameWatch(Bus& bus, const char* name, std::function<void(bool)> changed)
    : bus_(bus), name_(name), changed_(std::move(changed)) {
  // The rule first, then the question: no change falls between the two.
  ownerSlot_ = bus_.match(signalRule(kDaemonName, kDaemon.path, kDaemon.interface,
                                     "NameOwnerChanged") +
                              ",arg0='" + name + "'",
                          [this](sd_bus_message* message) { ownerChanged(message); });
  BusMessage reply = bus_.call(kDaemon, "GetNameOwner", "s", name);
  const char* owner = nullptr;
  if (reply && sd_bus_message_read(reply.get(), "s", &owner) >= 0 && owner != nullptr)
    owner_ = owner;
}

void NameWatch::ownerChanged(sd_bus_message* message) {
  const char* sender = sd_bus_message_get_sender(message);
  const char* name = nullptr;
  const char* oldOwner = nullptr;
  const char* newOwner = nullptr;
  // Only the bus daemon's own word: anyone can send a NameOwnerChanged.
  if (sender == nullptr || std::strcmp(sender, kDaemonName) != 0 ||
      sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0 ||
      std::strcmp(name, name_) != 0)
    return;
  owner_ = newOwner != nullptr ? newOwner : "";
  if (changed_) changed_(owned());
}

bool NameWatch::speaks(sd_bus_message* message) const {
  const char* sender = sd_bus_message_get_sender(message);
  return sender != nullptr && speaksFor(sender, owner_);
}

BusSlot NameWatch::onSignal(const char* path, const char* interface, const char* member,
                            Bus::Handler handler) {
  return bus_.match(signalRule(name_, path, interface, member),
                    [this, handler = std::move(handler)](sd_bus_message* message) {
                      if (speaks(message)) handler(message);
                    });
}

BusSlot NameWatch::onProperty(const char* path, const char* interface, const char* property,
                              Bus::Handler handler) {
  const std::string wanted = interface;
  const std::string name = property;
  // PropertiesChanged: the interface, the changed values, the names of those
  // changed without their values.
  auto changed = [wanted, name, handler = std::move(handler)](sd_bus_message* message) {
    const char* interfaceSaid = nullptr;
    if (sd_bus_message_read(message, "s", &interfaceSaid) < 0 || wanted != interfaceSaid ||
        sd_bus_message_enter_container(message, 'a', "{sv}") < 0)
      return;
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
      const char* one = nullptr;
      if (sd_bus_message_read(message, "s", &one) < 0) return;
      if (name == one) {
        handler(message);
        return;
      }
      if (sd_bus_message_skip(message, "v") < 0 || sd_bus_message_exit_container(message) < 0)
        return;
    }
    if (sd_bus_message_exit_container(message) < 0 ||
        sd_bus_message_enter_container(message, 'a', "s") < 0)
      return;
    const char* one = nullptr;
    while (sd_bus_message_read(message, "s", &one) > 0)
      if (name == one) {
        handler(nullptr);
        return;
      }
  };
  std::string rule = signalRule(name_, path, "org.freedesktop.DBus.Properties",
                                "PropertiesChanged") +
                     ",arg0='" + interface + "'";
  return bus_.match(rule, [this, changed = std::move(changed)](sd_bus_message* message) {
    if (speaks(message)) changed(message);
  });
}

}  // namespace tw::idle
