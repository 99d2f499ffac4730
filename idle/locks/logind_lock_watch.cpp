#include "idle/locks/logind_lock_watch.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "idle/bus/bus_poll.h"

namespace tw::idle {
namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "org.freedesktop.login1.Session";
constexpr const char* kProperty = "LockedHint";
// logind answers at once; one that hangs must not hold the launcher's start.
constexpr std::uint64_t kCallTimeoutUs = 2'000'000;

int onLockedReply(sd_bus_message* reply, void* data, sd_bus_error*) {
  int locked = 0;
  if (sd_bus_message_is_method_error(reply, nullptr) ||
      sd_bus_message_enter_container(reply, 'v', "b") < 0 ||
      sd_bus_message_read(reply, "b", &locked) < 0)
    locked = 0;
  static_cast<LogindLockWatch*>(data)->lockedIs(locked != 0);
  return 0;
}

// PropertiesChanged: the interface, the changed values, the names of those
// changed without their values.
int onPropertiesChanged(sd_bus_message* message, void* data, sd_bus_error*) {
  auto* watch = static_cast<LogindLockWatch*>(data);
  const char* interface = nullptr;
  if (sd_bus_message_read(message, "s", &interface) < 0 || std::strcmp(interface, kSession) != 0)
    return 0;
  if (sd_bus_message_enter_container(message, 'a', "{sv}") < 0) return 0;
  while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
    const char* name = nullptr;
    if (sd_bus_message_read(message, "s", &name) < 0) return 0;
    if (std::strcmp(name, kProperty) == 0) {
      int locked = 0;
      if (sd_bus_message_read(message, "v", "b", &locked) >= 0) watch->lockedIs(locked != 0);
      return 0;
    }
    if (sd_bus_message_skip(message, "v") < 0) return 0;
    sd_bus_message_exit_container(message);
  }
  sd_bus_message_exit_container(message);
  char** names = nullptr;
  if (sd_bus_message_read_strv(message, &names) >= 0 && names != nullptr) {
    bool ours = false;
    for (char** name = names; *name != nullptr; ++name) {
      ours = ours || std::strcmp(*name, kProperty) == 0;
      std::free(*name);
    }
    std::free(names);
    if (ours) watch->ask();
  }
  return 0;
}

int onOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*) {
  const char* name = nullptr;
  const char* oldOwner = nullptr;
  const char* newOwner = nullptr;
  auto* watch = static_cast<LogindLockWatch*>(data);
  if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0 ||
      std::strcmp(name, kService) != 0)
    return 0;
  // logind restarted keeps its sessions: ask the new one.
  if (newOwner != nullptr && newOwner[0] != '\0')
    watch->ask();
  else
    watch->lockedIs(false);
  return 0;
}

// The object path in a reply, or "" when the call failed.
std::string pathIn(int called, sd_bus_message* reply, sd_bus_error& error) {
  const char* path = nullptr;
  std::string found;
  if (called >= 0 && sd_bus_message_read(reply, "o", &path) >= 0 && path != nullptr) found = path;
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return found;
}

}  // namespace

LogindLockWatch::LogindLockWatch(Launcher& launcher) : launcher_(launcher) {
  if (sd_bus_open_system(&bus_) < 0) {
    bus_ = nullptr;
    return;
  }
  sd_bus_set_method_call_timeout(bus_, kCallTimeoutUs);
  if (!findSession()) {
    sd_bus_flush_close_unref(bus_);
    bus_ = nullptr;
    return;
  }
  const std::string changedRule =
      std::string("type='signal',sender='") + kService + "',path='" + session_ +
      "',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',arg0='" +
      kSession + "'";
  const std::string ownerRule =
      std::string("type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                  "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
      kService + "'";
  sd_bus_add_match(bus_, &changedSlot_, changedRule.c_str(), onPropertiesChanged, this);
  sd_bus_add_match(bus_, &ownerSlot_, ownerRule.c_str(), onOwnerChanged, this);
  ask();
}

LogindLockWatch::~LogindLockWatch() {
  sd_bus_slot_unref(changedSlot_);
  sd_bus_slot_unref(ownerSlot_);
  sd_bus_flush_close_unref(bus_);
}

bool LogindLockWatch::findSession() {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  if (const char* id = std::getenv("XDG_SESSION_ID"); id != nullptr && id[0] != '\0') {
    const int called = sd_bus_call_method(bus_, kService, kManagerPath, kManager, "GetSession",
                                          &error, &reply, "s", id);
    session_ = pathIn(called, reply, error);
    reply = nullptr;
    if (!session_.empty()) return true;
  }
  const int called = sd_bus_call_method(bus_, kService, kManagerPath, kManager, "GetSessionByPID",
                                        &error, &reply, "u", static_cast<std::uint32_t>(::getpid()));
  session_ = pathIn(called, reply, error);
  reply = nullptr;
  if (!session_.empty()) return true;
  // The user's own graphical session: the Display property of the user.
  const char* id = nullptr;
  const char* path = nullptr;
  if (sd_bus_get_property(bus_, kService, "/org/freedesktop/login1/user/self",
                          "org.freedesktop.login1.User", "Display", &error, &reply, "(so)") >= 0 &&
      sd_bus_message_read(reply, "(so)", &id, &path) >= 0 && path != nullptr &&
      std::strcmp(path, "/") != 0)
    session_ = path;
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return !session_.empty();
}

void LogindLockWatch::ask() {
  sd_bus_call_method_async(bus_, nullptr, kService, session_.c_str(),
                           "org.freedesktop.DBus.Properties", "Get", onLockedReply, this, "ss",
                           kSession, kProperty);
}

bool LogindLockWatch::prepare(PollRequest& request) {
  return bus_ != nullptr && prepareBus(bus_, request);
}

bool LogindLockWatch::dispatch(short) { return processBus(bus_); }

}  // namespace tw::idle
