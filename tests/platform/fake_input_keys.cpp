// Presses keys on kwin through its fake input protocol, for the end-to-end
// runs on a headless KDE desktop.
//
// Reads one Linux input key code a line on stdin, presses and releases it, and
// writes "sent CODE" on stdout once kwin has taken both (a round trip). Prints
// "ready" once kwin has granted the interface. One connection serves the whole
// run: kwin makes a keyboard device for each client that binds the interface,
// and a focused window can miss the keys of a device that has only just come.
// kwin grants the interface to any client only with
// KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 in its environment.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include <wayland-client.h>

#include "fake-input-client-protocol.h"

namespace {

constexpr uint32_t kWantedVersion = 4;  // keyboard_key came with version 4
constexpr uint32_t kReleased = 0, kPressed = 1;

struct Globals {
  org_kde_kwin_fake_input* fakeInput = nullptr;
  uint32_t version = 0;
};

void announce(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
  auto* globals = static_cast<Globals*>(data);
  if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) != 0) return;
  globals->version = version < kWantedVersion ? version : kWantedVersion;
  globals->fakeInput = static_cast<org_kde_kwin_fake_input*>(
      wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, globals->version));
}

void withdraw(void*, wl_registry*, uint32_t) {}

// Says on stderr why the keys end, and gives the exit code.
int fail(const std::string& why, int code = 1) {
  std::cerr << "fake_input_keys: " << why << "\n";
  return code;
}
const char* const kClosed = "the compositor closed the connection";

}  // namespace

int main() {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return fail("cannot connect to the Wayland display");
  Globals globals;
  const wl_registry_listener listener{announce, withdraw};
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &listener, &globals);
  wl_display_roundtrip(display);
  if (globals.fakeInput == nullptr || globals.version < kWantedVersion)
    return fail("the compositor offers no org_kde_kwin_fake_input of version " +
                std::to_string(kWantedVersion));
  org_kde_kwin_fake_input_authenticate(globals.fakeInput, "trenchwalk tests",
                                       "keys for the end-to-end runs");
  if (wl_display_roundtrip(display) < 0) return fail(kClosed);
  std::cout << "ready" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.empty()) continue;
    unsigned long code = 0;
    try {
      code = std::stoul(line);
    } catch (const std::exception&) {
      return fail("not a key code: " + line, 2);
    }
    org_kde_kwin_fake_input_keyboard_key(globals.fakeInput, static_cast<uint32_t>(code), kPressed);
    org_kde_kwin_fake_input_keyboard_key(globals.fakeInput, static_cast<uint32_t>(code), kReleased);
    if (wl_display_roundtrip(display) < 0) return fail(kClosed);
    std::cout << "sent " << code << std::endl;
  }
  org_kde_kwin_fake_input_destroy(globals.fakeInput);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return 0;
}
