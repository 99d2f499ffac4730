#include "idle/inhibit/session_inhibition.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "idle/decide/inhibitor_registry.h"
#include "idle/inhibit/xdg_screensaver.h"

namespace tw::idle {
namespace {

constexpr const char* kGnomeManager = "org.gnome.SessionManager";
// GsmInhibitorFlag: inhibit the session being marked idle.
constexpr std::uint32_t kGnomeInhibitIdle = 8;
constexpr const char* kKdeAgent = "org.kde.Solid.PowerManagement.PolicyAgent";
constexpr const char* kKdeAgentPath = "/org/kde/Solid/PowerManagement/PolicyAgent";
// PolicyAgent's RequiredPolicy: InterruptSession | ChangeScreenSettings, what
// KDE's own screen locker asks before it locks on idle.
constexpr std::uint32_t kKdeScreenPolicies = 5;
// xdg-screensaver's record holds a line per window; more than this is not
// its record.
constexpr std::size_t kLongestRecord = 64 * 1024;

void askGnome(Bus& bus, std::vector<std::string>& seen) {
  if (!bus.hasOwner(kGnomeManager)) return;
  BusMessage reply = bus.call({kGnomeManager, "/org/gnome/SessionManager", kGnomeManager},
                              "IsInhibited", "u", kGnomeInhibitIdle);
  int inhibited = 0;
  if (reply && sd_bus_message_read(reply.get(), "b", &inhibited) >= 0 && inhibited != 0)
    seen.push_back("GNOME's session manager: idle inhibited");
}

void askKde(Bus& bus, std::vector<std::string>& seen) {
  if (!bus.hasOwner(kKdeAgent)) return;
  const BusObject agent{kKdeAgent, kKdeAgentPath, kKdeAgent};
  BusMessage reply = bus.call(agent, "HasInhibition", "u", kKdeScreenPolicies);
  int inhibited = 0;
  if (!reply || sd_bus_message_read(reply.get(), "b", &inhibited) < 0 || inhibited == 0) return;
  // Who and why, where this PowerDevil lists them (a(ss): application, reason).
  BusMessage list = bus.call(agent, "ListInhibitions", "");
  const std::size_t before = seen.size();
  if (list && sd_bus_message_enter_container(list.get(), 'a', "(ss)") >= 0) {
    const char* application = nullptr;
    const char* reason = nullptr;
    while (sd_bus_message_read(list.get(), "(ss)", &application, &reason) > 0)
      seen.push_back("KDE: " + oneLineText(application) + ": " + oneLineText(reason));
  }
  if (seen.size() == before) seen.push_back("KDE's power manager: inhibited");
}

void askLogind(Bus& system, std::vector<std::string>& seen) {
  if (!system.hasOwner(kLogind)) return;
  const std::optional<std::string> blocked = system.stringProperty(kLogindManager, "BlockInhibited");
  if (!blocked) return;
  const std::string& what = *blocked;
  // A colon-separated list: "sleep:idle:handle-lid-switch".
  bool idle = false;
  std::stringstream items(what);
  for (std::string item; std::getline(items, item, ':');) idle = idle || item == "idle";
  if (!idle) return;
  // Who and why: ListInhibitors, a(ssssuu) what, who, why, mode, uid, pid.
  BusMessage list = system.call(kLogindManager, "ListInhibitors", "");
  const std::size_t before = seen.size();
  if (list && sd_bus_message_enter_container(list.get(), 'a', "(ssssuu)") >= 0) {
    const char* whatItem = nullptr;
    const char* who = nullptr;
    const char* why = nullptr;
    const char* mode = nullptr;
    std::uint32_t uid = 0;
    std::uint32_t pid = 0;
    while (sd_bus_message_read(list.get(), "(ssssuu)", &whatItem, &who, &why, &mode, &uid, &pid) >
           0) {
      const std::string items = std::string(":") + whatItem + ":";
      if (items.find(":idle:") != std::string::npos && std::strcmp(mode, "block") == 0)
        seen.push_back("logind: " + oneLineText(who) + ": " + oneLineText(why));
    }
  }
  if (seen.size() == before) seen.push_back("logind: idle inhibited");
}

bool runsXprop(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  return std::getline(comm, name) && name == "xprop";
}

void askXdgScreensaver(std::vector<std::string>& seen) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') return;
  const char* user = std::getenv("USER");
  const std::string path = xdgScreensaverFile(user != nullptr ? user : "", display);
  // Only the user's own regular file: in /tmp anyone could leave one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  struct stat info {};
  std::string record;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() &&
      static_cast<std::size_t>(info.st_size) <= kLongestRecord) {
    record.resize(static_cast<std::size_t>(info.st_size));
    const ssize_t got = ::read(fd, record.data(), record.size());
    record.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  }
  ::close(fd);
  for (const std::string& window : xdgSuspendedWindows(record, runsXprop))
    seen.push_back("xdg-screensaver suspend " + window);
}

}  // namespace

std::vector<std::string> SessionInhibition::standing() {
  std::vector<std::string> seen;
  askGnome(buses_.user, seen);
  askKde(buses_.user, seen);
  askLogind(buses_.system, seen);
  askXdgScreensaver(seen);
  return seen;
}

std::optional<bool> SessionInhibition::locked() {
  for (const char* name : {"org.gnome.ScreenSaver", "org.freedesktop.ScreenSaver"}) {
    if (!buses_.user.hasOwner(name)) continue;
    std::string slashed = std::string("/") + name;
    for (char& c : slashed)
      if (c == '.') c = '/';
    BusMessage reply = buses_.user.call({name, slashed.c_str(), name}, "GetActive", "");
    int active = 0;
    if (reply && sd_bus_message_read(reply.get(), "b", &active) >= 0) return active != 0;
  }
  const std::optional<std::string> session = logindSession(buses_.system);
  if (!session) return std::nullopt;
  return buses_.system.boolProperty({kLogind, session->c_str(), kLogindSession}, "LockedHint");
}

}  // namespace tw::idle
