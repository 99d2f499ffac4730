#include "idle/inhibit/session_inhibition.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
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
constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
// Each answers at once; one that hangs must not keep the launcher for long.
constexpr std::uint64_t kCallTimeoutUs = 1'000'000;
// xdg-screensaver's record holds a line per window; more than this is not
// its record.
constexpr std::size_t kLongestRecord = 64 * 1024;

struct Bus {
  sd_bus* bus = nullptr;
  explicit Bus(bool system) {
    const int r = system ? sd_bus_open_system(&bus) : sd_bus_open_user(&bus);
    if (r < 0) bus = nullptr;
    if (bus != nullptr) sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
  }
  ~Bus() { sd_bus_flush_close_unref(bus); }
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;
};

struct Call {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  ~Call() {
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
  }
};

bool hasOwner(sd_bus* bus, const char* name) {
  Call call;
  int present = 0;
  return bus != nullptr &&
         sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus", "NameHasOwner", &call.error, &call.reply, "s",
                            name) >= 0 &&
         sd_bus_message_read(call.reply, "b", &present) >= 0 && present != 0;
}

void askGnome(sd_bus* bus, std::vector<std::string>& seen) {
  if (!hasOwner(bus, kGnomeManager)) return;
  Call call;
  int inhibited = 0;
  if (sd_bus_call_method(bus, kGnomeManager, "/org/gnome/SessionManager", kGnomeManager,
                         "IsInhibited", &call.error, &call.reply, "u", kGnomeInhibitIdle) >= 0 &&
      sd_bus_message_read(call.reply, "b", &inhibited) >= 0 && inhibited != 0)
    seen.push_back("GNOME's session manager: idle inhibited");
}

void askKde(sd_bus* bus, std::vector<std::string>& seen) {
  if (!hasOwner(bus, kKdeAgent)) return;
  Call call;
  int inhibited = 0;
  if (sd_bus_call_method(bus, kKdeAgent, kKdeAgentPath, kKdeAgent, "HasInhibition", &call.error,
                         &call.reply, "u", kKdeScreenPolicies) < 0 ||
      sd_bus_message_read(call.reply, "b", &inhibited) < 0 || inhibited == 0)
    return;
  // Who and why, where this PowerDevil lists them (a(ss): application, reason).
  Call list;
  const std::size_t before = seen.size();
  if (sd_bus_call_method(bus, kKdeAgent, kKdeAgentPath, kKdeAgent, "ListInhibitions",
                         &list.error, &list.reply, "") >= 0 &&
      sd_bus_message_enter_container(list.reply, 'a', "(ss)") >= 0) {
    const char* application = nullptr;
    const char* reason = nullptr;
    while (sd_bus_message_read(list.reply, "(ss)", &application, &reason) > 0)
      seen.push_back("KDE: " + oneLineText(application) + ": " + oneLineText(reason));
  }
  if (seen.size() == before) seen.push_back("KDE's power manager: inhibited");
}

void askLogind(std::vector<std::string>& seen) {
  Bus system(true);
  if (system.bus == nullptr || !hasOwner(system.bus, kLogind)) return;
  Call call;
  char* blocked = nullptr;
  if (sd_bus_get_property_string(system.bus, kLogind, kLogindPath, "org.freedesktop.login1.Manager",
                                 "BlockInhibited", &call.error, &blocked) < 0 ||
      blocked == nullptr)
    return;
  const std::string what = blocked;
  std::free(blocked);
  // A colon-separated list: "sleep:idle:handle-lid-switch".
  bool idle = false;
  std::stringstream items(what);
  for (std::string item; std::getline(items, item, ':');) idle = idle || item == "idle";
  if (!idle) return;
  // Who and why: ListInhibitors, a(ssssuu) what, who, why, mode, uid, pid.
  Call list;
  const std::size_t before = seen.size();
  if (sd_bus_call_method(system.bus, kLogind, kLogindPath, "org.freedesktop.login1.Manager",
                         "ListInhibitors", &list.error, &list.reply, "") >= 0 &&
      sd_bus_message_enter_container(list.reply, 'a', "(ssssuu)") >= 0) {
    const char* whatItem = nullptr;
    const char* who = nullptr;
    const char* why = nullptr;
    const char* mode = nullptr;
    std::uint32_t uid = 0;
    std::uint32_t pid = 0;
    while (sd_bus_message_read(list.reply, "(ssssuu)", &whatItem, &who, &why, &mode, &uid, &pid) >
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
  {
    Bus session(false);
    if (session.bus != nullptr) {
      askGnome(session.bus, seen);
      askKde(session.bus, seen);
    }
  }
  askLogind(seen);
  askXdgScreensaver(seen);
  return seen;
}

std::string SessionInhibition::locked() {
  {
    Bus session(false);
    for (const char* name : {"org.gnome.ScreenSaver", "org.freedesktop.ScreenSaver"}) {
      if (session.bus == nullptr || !hasOwner(session.bus, name)) continue;
      std::string slashed = std::string("/") + name;
      for (char& c : slashed)
        if (c == '.') c = '/';
      Call call;
      int active = 0;
      if (sd_bus_call_method(session.bus, name, slashed.c_str(), name, "GetActive", &call.error,
                             &call.reply, "") >= 0 &&
          sd_bus_message_read(call.reply, "b", &active) >= 0)
        return active != 0 ? "yes" : "no";
    }
  }
  Bus system(true);
  if (system.bus == nullptr || !hasOwner(system.bus, kLogind)) return "unknown";
  const char* id = std::getenv("XDG_SESSION_ID");
  if (id == nullptr || id[0] == '\0') return "unknown";
  Call call;
  sd_bus_message* reply = nullptr;
  if (sd_bus_call_method(system.bus, kLogind, kLogindPath, "org.freedesktop.login1.Manager",
                         "GetSession", &call.error, &reply, "s", id) < 0)
    return "unknown";
  const char* sessionPath = nullptr;
  std::string where;
  if (sd_bus_message_read(reply, "o", &sessionPath) >= 0) where = sessionPath;
  sd_bus_message_unref(reply);
  Call hint;
  int locked = 0;
  if (where.empty() ||
      sd_bus_get_property_trivial(system.bus, kLogind, where.c_str(),
                                  "org.freedesktop.login1.Session", "LockedHint", &hint.error,
                                  'b', &locked) < 0)
    return "unknown";
  return locked != 0 ? "yes" : "no";
}

}  // namespace tw::idle
