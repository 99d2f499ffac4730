// The launcher's parts that talk to the buses, against two private
// dbus-daemons (the user's bus and the system bus) and the stand-ins for
// logind, the desktops' screen savers, GNOME's session manager and KDE's
// record: no display and no compositor. Clients that wait for an answer run
// on a thread of their own while the test's thread drives the launcher's
// buses, as the event loop does.
#include <poll.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <memory>

#include "idle/bus/bus.h"
#include "idle/inhibit/screensaver_service.h"
#include "idle/inhibit/session_inhibition.h"
#include "idle/locks/lock_request.h"
#include "idle/locks/logind_lock_watch.h"
#include "idle/locks/screen_saver_watch.h"
#include "tests/idle_machine.h"

namespace tw::idle {
namespace {

// The most any exchange here is given; each ends as soon as it is seen.
constexpr auto kSettle = std::chrono::seconds(10);
constexpr int kPollMs = 50;
constexpr BusObject kDaemon{"org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus"};
constexpr BusObject kGnomeSaver{"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver",
                                "org.gnome.ScreenSaver"};
constexpr BusObject kSaverService{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                  "org.freedesktop.ScreenSaver"};
constexpr const char* kSessionPath = "/org/freedesktop/login1/session/c1";

std::string readLine(int fd) {
  std::string line;
  char c = 0;
  pollfd one{fd, POLLIN, 0};
  const auto until = std::chrono::steady_clock::now() + kSettle;
  while (std::chrono::steady_clock::now() < until && ::poll(&one, 1, kPollMs) >= 0) {
    if ((one.revents & (POLLIN | POLLHUP)) == 0) continue;
    if (::read(fd, &c, 1) != 1 || c == '\n') return line;
    line += c;
  }
  return line;
}

// A dbus-daemon of our own in `folder`: anyone may own and call anything,
// and nothing is started by the bus.
class PrivateBus {
 public:
  PrivateBus(const std::string& folder, const std::string& kind) {
    const std::string config = folder + "/" + kind + ".conf";
    // GNOME Shell's activatable screen saver, which leaves a mark if started.
    const std::string services = folder + "/" + kind + "-services";
    ::mkdir(services.c_str(), 0755);
    std::ofstream(services + "/org.gnome.ScreenSaver.service")
        << "[D-BUS Service]\nName=org.gnome.ScreenSaver\nExec=/usr/bin/touch " << folder
        << "/activated\n";
    std::ofstream(config) << "<busconfig><type>" << kind << "</type><listen>unix:path=" << folder
                          << "/" << kind << "</listen><auth>EXTERNAL</auth><servicedir>"
                          << services << "</servicedir>"
                          << "<policy context='default'><allow send_destination='*'/>"
                          << "<allow own='*'/><allow user='*'/><allow receive_sender='*'/></policy></busconfig>";
    const std::string command = "dbus-daemon --config-file=" + config +
                                " --fork --print-address=1 --print-pid=1 --nopidfile";
    FILE* out = ::popen(command.c_str(), "r");
    char line[512] = {};
    if (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
      address = std::string(line, std::strcspn(line, "\n"));
      if (std::fgets(line, sizeof line, out) != nullptr) pid_ = std::atoi(line);
    }
    if (out != nullptr) ::pclose(out);
  }
  ~PrivateBus() { stop(); }
  void stop() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
    pid_ = 0;
  }
  std::string address;

 private:
  pid_t pid_ = 0;
};

// A stand-in (a Python script of the suite) on the buses the environment
// names, up once it printed "ready"; ended with SIGTERM.
class StandIn {
 public:
  explicit StandIn(const std::string& script, const std::string& argument = "") {
    int out[2];
    int in[2];
    if (::pipe(out) != 0 || ::pipe(in) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(in[0], STDIN_FILENO);
      const std::string path = std::string(TRENCHWALK_SOURCE_DIR) + "/tests/" + script;
      ::execl("/usr/bin/python3", "python3", path.c_str(),
              argument.empty() ? nullptr : argument.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    out_ = out[0];
    in_ = in[1];
    ready = readLine(out_) == "ready";
  }
  ~StandIn() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
    ::close(in_);
  }
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;
  // One line to its standing input; its answer.
  std::string say(const std::string& line) {
    const std::string sent = line + "\n";
    if (::write(in_, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) return {};
    return readLine(out_);
  }
  bool ready = false;

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int in_ = -1;
};

// A program of the session: a connection of its own to the user's bus.
struct Client {
  sd_bus* bus = nullptr;
  explicit Client(bool system = false) {
    if ((system ? sd_bus_open_system(&bus) : sd_bus_open_user(&bus)) < 0) bus = nullptr;
  }
  ~Client() { sd_bus_flush_close_unref(bus); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  const char* name() const {
    const char* unique = nullptr;
    sd_bus_get_unique_name(bus, &unique);
    return unique;
  }
  // A call and its answer: the reply's first 'u' or 'b' read by the caller,
  // or the error's name in `error`.
  BusMessage call(const BusObject& to, const char* member, std::string* error, const char* types,
                  auto... args) {
    BusError failed;
    BusMessage reply;
    sd_bus_call_method(bus, to.name, to.path, to.interface, member, &failed.error, reply.out(),
                       types, args...);
    if (error != nullptr) *error = failed.error.name != nullptr ? failed.error.name : "";
    return reply;
  }
};

std::uint32_t cookieIn(const BusMessage& reply) {
  std::uint32_t cookie = 0;
  if (reply) sd_bus_message_read(reply.get(), "u", &cookie);
  return cookie;
}

class IdleBus : public testing::Test {
 protected:
  // Drives the launcher's buses and `also`, as the loop does, until `done`
  // says so or kSettle passed; whether it did.
  bool pumpUntil(const std::function<bool()>& done, std::vector<Watched*> also = {}) {
    also.push_back(&buses.user);
    also.push_back(&buses.system);
    const auto until = std::chrono::steady_clock::now() + kSettle;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= until) return false;
      std::vector<pollfd> fds;
      for (Watched* watched : also) {
        PollRequest request;
        fds.push_back({watched->prepare(request) ? request.fd : -1, request.events, 0});
      }
      ::poll(fds.data(), fds.size(), kPollMs);
      for (std::size_t i = 0; i < also.size(); ++i) also[i]->dispatch(fds[i].revents);
    }
    return true;
  }
  // Runs a client's work on a thread of its own while the buses are driven.
  template <typename Work>
  auto alongside(Work work) {
    auto done = std::async(std::launch::async, work);
    pumpUntil([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return done.get();
  }
  // Handles what the buses have now, however little.
  void settle() {
    Client peer;
    alongside([&] { return peer.call(kDaemon, "GetId", nullptr, ""); });
  }

  struct Folder {
    std::string path;
    Folder() {
      char name[] = "/tmp/trenchwalk-idle-bus.XXXXXX";
      path = ::mkdtemp(name) != nullptr ? name : "/tmp";
    }
    ~Folder() { std::system(("rm -rf '" + path + "'").c_str()); }
  } folder_;
  PrivateBus userDaemon_{folder_.path, "session"};
  PrivateBus systemDaemon_{folder_.path, "system"};
  void SetUp() override {
    if (userDaemon_.address.empty() || systemDaemon_.address.empty())
      GTEST_SKIP() << "no dbus-daemon";
  }
  struct Environment {
    Environment(const PrivateBus& user, const PrivateBus& system) {
      ::setenv("DBUS_SESSION_BUS_ADDRESS", user.address.c_str(), 1);
      ::setenv("DBUS_SYSTEM_BUS_ADDRESS", system.address.c_str(), 1);
      for (const char* name : {"XDG_SESSION_ID", "DISPLAY"}) ::unsetenv(name);
    }
  } environment_{userDaemon_, systemDaemon_};
  Buses buses;
  Machine machine;
  // Those held through a ScreenSaverService of the test's.
  InhibitorRegistry held_;
};

TEST_F(IdleBus, CallsWaitAtMostTheLimitAndSayWhoOwnsAName) {
  ASSERT_TRUE(buses.user.connected() && buses.system.connected());
  Client hung;
  ASSERT_GE(sd_bus_request_name(hung.bus, "org.example.Hung", 0), 0);
  EXPECT_TRUE(buses.user.hasOwner("org.example.Hung"));
  EXPECT_FALSE(buses.user.hasOwner("org.example.Nobody"));
  EXPECT_FALSE(buses.system.hasOwner("org.example.Hung"));
  const auto from = std::chrono::steady_clock::now();
  EXPECT_FALSE(buses.user.call({"org.example.Hung", "/", "org.example.Hung"}, "Ask", ""));
  // Well under D-Bus's default of 25 s.
  EXPECT_LT(std::chrono::steady_clock::now() - from, kSettle);
  EXPECT_FALSE(logindSession(buses.system)) << "no logind, no session";
  StandIn logind("lib/fake_logind.py");
  ASSERT_TRUE(logind.ready);
  EXPECT_EQ(logindSession(buses.system).value_or(""), kSessionPath) << "by this process";
}

// The desktop's screen saver (GNOME's, KDE's) says locked: the running saver
// ends. The same word sent straight to the launcher by a program that owns
// no name, before it, changes nothing.
class IdleSaverWatch : public IdleBus, public testing::WithParamInterface<BusObject> {};

TEST_P(IdleSaverWatch, OnlyTheOwnerOfTheNameSaysTheSessionLocked) {
  const BusObject& saver = GetParam();
  StandIn desktop("lib/fake_screensaver.py", saver.name);
  ASSERT_TRUE(desktop.ready);
  ScreenSaverWatch watch(buses.user, machine.launcher);
  machine.play("I");
  ASSERT_EQ(machine.effects.starts, 1);
  settle();
  const char* launcher = nullptr;
  ASSERT_GE(sd_bus_get_unique_name(buses.user.get(), &launcher), 0);
  Client forger;
  BusMessage forged;
  ASSERT_GE(sd_bus_message_new_signal(forger.bus, forged.out(), saver.path, saver.interface,
                                      "ActiveChanged"),
            0);
  sd_bus_message_set_destination(forged.get(), launcher);
  sd_bus_message_append(forged.get(), "b", 1);
  ASSERT_GE(sd_bus_send(forger.bus, forged.get(), nullptr), 0);
  // Its Ping comes after its signal: once answered, the signal was heard.
  alongside([&] {
    return forger.call({launcher, "/", "org.freedesktop.DBus.Peer"}, "Ping", nullptr, "");
  });
  EXPECT_EQ(machine.effects.ends, 0) << "a forged ActiveChanged ended the saver";
  Client user;
  alongside([&] { return user.call(saver, "SetActive", nullptr, "b", 1); });
  EXPECT_TRUE(pumpUntil([&] { return machine.effects.ends == 1; }))
      << "the owner's ActiveChanged did not end the saver";
  machine.play("E");
  EXPECT_EQ(machine.launcher.state(), LauncherState::Locked);
  // Unlocked: a whole new idle period before the next saver.
  const int restarts = machine.effects.restarts;
  alongside([&] { return user.call(saver, "SetActive", nullptr, "b", 0); });
  EXPECT_TRUE(pumpUntil([&] { return machine.launcher.state() != LauncherState::Locked; }));
  EXPECT_GT(machine.effects.restarts, restarts);
}

INSTANTIATE_TEST_SUITE_P(Desktops, IdleSaverWatch, testing::Values(kGnomeSaver, kSaverService));

TEST_F(IdleBus, LogindsLockedHintEndsTheSaver) {
  StandIn logind("lib/fake_logind.py");
  ASSERT_TRUE(logind.ready);
  LogindLockWatch watch(buses.system, machine.launcher);
  machine.play("I");
  settle();
  EXPECT_EQ(machine.effects.ends, 0);
  Client locker(true);
  locker.call({kLogind, kSessionPath, kLogindSession}, "SetLockedHint", nullptr, "b", 1);
  EXPECT_TRUE(pumpUntil([&] { return machine.effects.ends == 1; }));
}

// Inhibit on both paths, UnInhibit only by the cookie's own client, an
// unknown method an error, the list for --status, and a client that leaves
// loses its inhibitors.
TEST_F(IdleBus, TheScreenSaverServiceHoldsCookiesForTheClientsOnTheBus) {
  ScreenSaverService service(buses.user, machine.launcher, held_);
  ASSERT_EQ(service.outcome(), ScreenSaverService::Outcome::Owned) << service.why();
  auto vlc = std::make_unique<Client>();
  auto mpv = std::make_unique<Client>();
  std::string foreign;
  std::string bogus;
  std::string listed;
  const std::uint32_t cookie = alongside([&] {
    const std::uint32_t mine = cookieIn(vlc->call(kSaverService, "Inhibit", nullptr, "ss", "vlc",
                                                  "Playing a film"));
    mpv->call({kSaverService.name, "/ScreenSaver", kSaverService.interface}, "Inhibit", nullptr,
              "ss", "mpv", "Playing a film");
    mpv->call(kSaverService, "UnInhibit", &foreign, "u", mine);
    mpv->call(kSaverService, "Bogus", &bogus, "");
    Bus status(BusKind::User);
    listed = heldThroughLauncher(status);
    return mine;
  });
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(foreign, "org.freedesktop.DBus.Error.InvalidArgs");
  EXPECT_EQ(bogus, "org.freedesktop.DBus.Error.UnknownMethod");
  EXPECT_NE(listed.find("vlc: Playing a film (org.freedesktop.ScreenSaver, :"), std::string::npos)
      << listed;
  EXPECT_EQ(service.registry().inhibitors().size(), 2u);
  std::string released = "not called";
  alongside([&] { return vlc->call(kSaverService, "UnInhibit", &released, "u", cookie); });
  EXPECT_EQ(released, "");
  EXPECT_EQ(service.registry().inhibitors().size(), 1u);
  vlc.reset();
  Client second;
  alongside([&] {
    return second.call(kSaverService, "Inhibit", nullptr, "ss", "totem", "Playing a film");
  });
  // mpv leaves: totem's stays.
  mpv.reset();
  EXPECT_TRUE(pumpUntil([&] { return service.registry().inhibitors().size() == 1; }));
  EXPECT_EQ(service.registry().inhibitors().front().application, "totem");
  // The bus itself goes: nobody could end the cookies any more.
  userDaemon_.stop();
  EXPECT_TRUE(pumpUntil([&] { return service.registry().empty(); }));
}

// Clients that send Inhibit and leave before reading the answer hold
// nothing back; one that stays keeps its cookie.
TEST_F(IdleBus, AClientGoneBeforeItsCookieLeavesNothingBehind) {
  ScreenSaverService service(buses.user, machine.launcher, held_);
  ASSERT_EQ(service.outcome(), ScreenSaverService::Outcome::Owned) << service.why();
  constexpr int kGone = 20;
  for (int i = 0; i < kGone; ++i) {
    Client gone;
    BusMessage call;
    sd_bus_message_new_method_call(gone.bus, call.out(), kSaverService.name, kSaverService.path,
                                   kSaverService.interface, "Inhibit");
    sd_bus_message_append(call.get(), "ss", "gone", "asked and left");
    ASSERT_GE(sd_bus_send(gone.bus, call.get(), nullptr), 0);
  }
  Client stays;
  alongside([&] { return stays.call(kSaverService, "Inhibit", nullptr, "ss", "stays", "here"); });
  EXPECT_TRUE(pumpUntil([&] { return service.registry().inhibitors().size() == 1; }))
      << service.registry().inhibitors().size() << " inhibitors held";
  settle();
  ASSERT_EQ(service.registry().inhibitors().size(), 1u);
  EXPECT_EQ(service.registry().inhibitors().front().client, stays.name());
}

// Who holds idle back, as each record says, and whether the session is
// locked, as the desktop's screen saver or logind says.
TEST_F(IdleBus, TheInhibitionCheckAsksEveryRecord) {
  SessionInhibition inhibition(buses);
  EXPECT_TRUE(inhibition.standing().empty());
  EXPECT_FALSE(inhibition.locked()) << "nobody to say";
  {
    // Asking whether GNOME's screen saver is active must not start one: it
    // would then answer for GNOME on this desktop.
    ScreenSaverWatch watch(buses.user, machine.launcher);
    settle();
    EXPECT_NE(::access((folder_.path + "/activated").c_str(), F_OK), 0)
        << "the bus started org.gnome.ScreenSaver for the launcher's questions";
  }
  {
    StandIn gnome("platform/inhibiting_session_manager.py");
    ASSERT_TRUE(gnome.ready);
    EXPECT_EQ(inhibition.standing(),
              std::vector<std::string>{"GNOME's session manager: idle inhibited"});
  }
  {
    StandIn kde("platform/kde_power_agent.py");
    ASSERT_TRUE(kde.ready);
    // KDE answers org.freedesktop.ScreenSaver itself: the launcher leaves it.
    ScreenSaverService service(buses.user, machine.launcher, held_);
    EXPECT_EQ(service.outcome(), ScreenSaverService::Outcome::DesktopOwnsIt);
    EXPECT_EQ(inhibition.standing(), std::vector<std::string>{"KDE: vlc: Playing a film"});
    EXPECT_EQ(kde.say("release"), "released");
    EXPECT_TRUE(inhibition.standing().empty());
  }
  StandIn logind("lib/fake_logind.py");
  ASSERT_TRUE(logind.ready);
  EXPECT_EQ(inhibition.locked(), false);
  Client mpv(true);
  BusMessage held = mpv.call(kLogindManager, "Inhibit", nullptr, "ssss", "idle", "mpv",
                             "Playing a film", "block");
  ASSERT_TRUE(held) << "logind's inhibitor, as systemd-inhibit takes it";
  EXPECT_EQ(inhibition.standing(), std::vector<std::string>{"logind: mpv: Playing a film"});
  held = BusMessage();  // its descriptor closes: the inhibitor ends
  mpv.call({kLogind, kSessionPath, kLogindSession}, "SetLockedHint", nullptr, "b", 1);
  EXPECT_EQ(inhibition.locked(), true);
  const auto none = [&] { return inhibition.standing().empty(); };
  EXPECT_TRUE(pumpUntil(none)) << inhibition.standing().front();
  StandIn gnomeSaver("lib/fake_screensaver.py", kGnomeSaver.name);
  ASSERT_TRUE(gnomeSaver.ready);
  EXPECT_EQ(inhibition.locked(), false) << "GNOME's screen saver is asked before logind";
}

struct LockCase {
  const char* name;
  const char* locker;       // --locker, or "" for the desktop's
  const char* standIn;      // beside the launcher, or ""
  bool lockedHint;          // logind's LockedHint set before the request
  const char* report;       // in the launcher's line
  int ends;                 // the saver ended under the lock
};

const LockCase kLockCases[] = {
    {"ALockerThatForksLocks", "true", "", false, "\"true\" locked and went to the background", 1},
    {"ALockerThatFailsDoesNot", "exit 3", "", false, "\"exit 3\" exited with status 3", 0},
    {"NothingToAsk", "", "", false, "no desktop locker, and logind cannot be asked", 0},
    {"LogindConfirmed", "", "lib/fake_logind.py", true, "(logind's LockSession)", 1},
    {"LogindUnconfirmed", "", "lib/fake_logind.py", false,
     "was accepted, but the desktop does not say it is locked", 0},
};

class IdleLock : public IdleBus, public testing::WithParamInterface<LockCase> {};

TEST_P(IdleLock, TellsOnlyWhatTheDesktopConfirmed) {
  const LockCase& c = GetParam();
  std::unique_ptr<StandIn> standIn;
  if (c.standIn[0] != '\0') standIn = std::make_unique<StandIn>(c.standIn);
  Client locker(true);
  if (c.lockedHint)
    locker.call({kLogind, kSessionPath, kLogindSession}, "SetLockedHint", nullptr, "b", 1);
  constexpr std::int64_t kTwoMinutesMs = 120'000;
  Machine locking(kTwoMinutesMs);
  locking.play("IMM");
  ASSERT_EQ(locking.lockRequests, 1);
  LockRequest request(buses, locking.launcher, c.locker);
  request.start();
  const auto told = [&] {
    for (const std::string& line : locking.effects.reports)
      if (line.find("lock") != std::string::npos) return true;
    return false;
  };
  ASSERT_TRUE(pumpUntil(told, {&request}));
  EXPECT_NE(locking.effects.reports.back().find(c.report), std::string::npos)
      << locking.effects.reports.back();
  EXPECT_EQ(locking.effects.ends, c.ends);
}

INSTANTIATE_TEST_SUITE_P(Requests, IdleLock, testing::ValuesIn(kLockCases),
                         [](const testing::TestParamInfo<LockCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tw::idle
