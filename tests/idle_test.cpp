// The idle launcher's decisions, driven by a fake idle source and a fake
// clock: when the saver starts, when it must not start again, and what is
// reported when it cannot start or ends badly.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "idle/command_line.h"
#include "idle/inhibitor_registry.h"
#include "idle/launcher.h"
#include "idle/xdg_screensaver.h"

namespace tw::idle {
namespace {

class FakeEffects : public LauncherEffects {
 public:
  // Called for restartIdlePeriod: the source starts a new period.
  std::function<void()> onRestart;
  bool inhibited = false;
  bool spawnFails = false;
  int starts = 0;
  int restarts = 0;
  int lockRequests = 0;
  int saverEnds = 0;
  std::vector<std::string> reports;

  bool idleInhibited() override { return inhibited; }
  StartResult startSaver() override {
    if (spawnFails) return {false, "/opt/tw/trenchwalk: No such file or directory"};
    ++starts;
    return {true, {}};
  }
  void report(const std::string& line) override { reports.push_back(line); }
  void restartIdlePeriod() override {
    ++restarts;
    if (onRestart) onRestart();
  }
  void requestLock() override { ++lockRequests; }
  void endSaver() override { ++saverEnds; }
};

class FakeClock : public MonotonicClock {
 public:
  std::int64_t now = 1'000'000;
  std::int64_t nowMs() override { return now; }
};

// Stands for a desktop's idle notifications as the protocols define them:
// idle once per idle period, active once at the first input after it.
class FakeIdleSource {
 public:
  explicit FakeIdleSource(IdleEvents& events) : events_(events) {}
  void goIdle() {
    ASSERT_FALSE(idle_) << "a source reports idle once per idle period";
    idle_ = true;
    events_.sessionIdle();
  }
  // A new idle period from now, as a Wayland source with a new notification:
  // idle again only after a whole delay, and no activity reported.
  void restart() { idle_ = false; }
  void input() {
    if (!idle_) return;
    idle_ = false;
    events_.sessionActive();
  }

 private:
  IdleEvents& events_;
  bool idle_ = false;
};

struct Machine {
  FakeEffects effects;
  FakeClock clock;
  Launcher launcher{effects, clock};
  FakeIdleSource source{launcher};
  Machine() {
    effects.onRestart = [this] { source.restart(); };
  }

  // One letter per event: I the session goes idle, A input, E the saver ends
  // with status 0, C it crashes (SIGSEGV), F it exits with status 1, N the
  // desktop inhibits idle, n it stops, S starting fails, s starting works,
  // T five seconds pass, U the last inhibitor held through the launcher
  // ends, M a minute passes and the loop's lock deadline is checked, Y the
  // desktop confirms the lock, X it does not.
  void play(const std::string& events) {
    constexpr std::int64_t kStepMs = 5000;
    constexpr std::int64_t kMinuteMs = 60'000;
    constexpr int kSegfault = 11;
    for (const char event : events) {
      switch (event) {
        case 'I':
          source.goIdle();
          break;
        case 'A':
          source.input();
          break;
        case 'E':
          launcher.saverEnded({false, 0});
          break;
        case 'C':
          launcher.saverEnded({true, kSegfault});
          break;
        case 'F':
          launcher.saverEnded({false, 1});
          break;
        case 'N':
          effects.inhibited = true;
          break;
        case 'n':
          effects.inhibited = false;
          break;
        case 'S':
          effects.spawnFails = true;
          break;
        case 's':
          effects.spawnFails = false;
          break;
        case 'T':
          clock.now += kStepMs;
          break;
        case 'U':
          effects.inhibited = false;
          launcher.inhibitionEnded();
          break;
        case 'M':
          clock.now += kMinuteMs;
          if (launcher.lockDueAtMs() != Launcher::kNoLockDue &&
              clock.now >= launcher.lockDueAtMs())
            launcher.lockDue();
          break;
        case 'Y':
          launcher.lockAnswered(true, "\"i3lock -n\" is up");
          break;
        case 'X':
          launcher.lockAnswered(false, "logind's LockSession was accepted, but the desktop does "
                                       "not say it is locked");
          break;
        default:
          FAIL() << "unknown event " << event;
      }
    }
  }
};

struct Story {
  const char* name;
  const char* events;
  int starts;
  LauncherState state;
  int reports;
};

const Story kStories[] = {
    {"NothingHappensWhileTheUserIsActive", "AAA", 0, LauncherState::Waiting, 0},
    {"IdleStartsTheSaver", "I", 1, LauncherState::SaverRunning, 0},
    {"AKeyEndsItTheNextStartNeedsANewIdlePeriod", "IAE", 1, LauncherState::Waiting, 0},
    {"TheEndSeenBeforeTheKeysActivityStillWaits", "IE", 1, LauncherState::SaverEnded, 0},
    {"ActivityAfterTheEndArmsItAgain", "IEA", 1, LauncherState::Waiting, 0},
    {"ItStartsAgainAfterActivityAndAnotherIdlePeriod", "IAEI", 2, LauncherState::SaverRunning, 0},
    {"ActivityWhileItRunsStartsNoSecondCopy", "IAIA", 1, LauncherState::SaverRunning, 0},
    {"IdleAgainWhileItRunsWaitsForActivityAfterTheEnd", "IAIE", 1, LauncherState::SaverEnded, 0},
    {"ACrashWithTheUserAwayIsNotRestarted", "ITC", 1, LauncherState::SaverEnded, 1},
    {"ACrashRestartsAfterActivityAndIdle", "ITCAI", 2, LauncherState::SaverRunning, 1},
    {"AFailedStartIsReportedOnce", "IF", 1, LauncherState::SaverEnded, 1},
    {"InhibitedIdleStartsNothing", "NI", 0, LauncherState::Idle, 1},
    {"InhibitedThenActiveWaitsAgain", "NIA", 0, LauncherState::Waiting, 1},
    {"TheNextIdlePeriodAfterTheInhibitionStarts", "NIAnI", 1, LauncherState::SaverRunning, 1},
    {"StillInhibitedAtTheNextIdlePeriod", "NIAI", 0, LauncherState::Idle, 2},
    {"ASpawnThatFailsIsReportedAndRearms", "SI", 0, LauncherState::Idle, 1},
    {"AfterASpawnFailureTheNextIdlePeriodStarts", "SIAsI", 1, LauncherState::SaverRunning, 1},
    {"AnEndOfNoSaverOfOursIsIgnored", "EC", 0, LauncherState::Waiting, 0},
    {"AnOrdinaryEndIsNotReported", "ITTE", 1, LauncherState::SaverEnded, 0},
};

class LauncherStory : public testing::TestWithParam<Story> {};

TEST_P(LauncherStory, StartsAndReportsAsExpected) {
  const Story& story = GetParam();
  Machine machine;
  machine.play(story.events);
  EXPECT_EQ(machine.effects.starts, story.starts);
  EXPECT_EQ(machine.launcher.state(), story.state);
  EXPECT_EQ(static_cast<int>(machine.effects.reports.size()), story.reports);
}

INSTANTIATE_TEST_SUITE_P(Stories, LauncherStory, testing::ValuesIn(kStories),
                         [](const testing::TestParamInfo<Story>& info) { return info.param.name; });

// The inhibitors held through the launcher's own org.freedesktop.ScreenSaver:
// their end restarts the idle period, so the saver comes a whole delay later,
// with or without input in between.
struct InhibitionStory {
  const char* name;
  const char* events;
  int starts;
  int restarts;
  LauncherState state;
};

const InhibitionStory kInhibitionStories[] = {
    {"HeldBackThenReleasedRestartsTheIdlePeriod", "NIU", 0, 1, LauncherState::Idle},
    {"ReleasedThenANewIdlePeriodStartsWithoutInput", "NIUI", 1, 1, LauncherState::SaverRunning},
    {"ReleasedWhileTheUserIsActiveRestartsToo", "NAU", 0, 1, LauncherState::Waiting},
    {"ReleasedWhileTheSaverRunsChangesNothing", "IU", 1, 0, LauncherState::SaverRunning},
    {"ReleasedAfterACrashTriesOnceMoreAfterADelay", "ITCUI", 2, 1, LauncherState::SaverRunning},
    {"HeldAgainAtTheNextPeriodStillStartsNothing", "NIUNI", 0, 1, LauncherState::Idle},
};

class LauncherInhibitionStory : public testing::TestWithParam<InhibitionStory> {};

TEST_P(LauncherInhibitionStory, StartsAndRestartsAsExpected) {
  const InhibitionStory& story = GetParam();
  Machine machine;
  machine.play(story.events);
  EXPECT_EQ(machine.effects.starts, story.starts);
  EXPECT_EQ(machine.effects.restarts, story.restarts);
  EXPECT_EQ(machine.launcher.state(), story.state);
}

INSTANTIATE_TEST_SUITE_P(
    Inhibitions, LauncherInhibitionStory, testing::ValuesIn(kInhibitionStories),
    [](const testing::TestParamInfo<InhibitionStory>& info) { return info.param.name; });

// --lock-after 2: the lock is asked once, two minutes into a run, never
// before, never without a saver; a confirmed lock ends the saver (which keeps
// its record), an unconfirmed one leaves it running and says so.
struct LockStory {
  const char* name;
  const char* events;
  std::int64_t lockAfterMs;
  int lockRequests;
  int saverEnds;
  int reports;
};

constexpr std::int64_t kTwoMinutesMs = 120'000;

const LockStory kLockStories[] = {
    {"WithoutTheOptionNothingLocks", "IMMMM", 0, 0, 0, 0},
    {"AnAnswerToNoRequestIsIgnored", "IMMYX", kTwoMinutesMs * 3, 0, 0, 0},
    {"NotBeforeTheGracePeriod", "IM", kTwoMinutesMs, 0, 0, 0},
    {"AskedOnceTheGracePeriodHasPassed", "IMM", kTwoMinutesMs, 1, 0, 0},
    {"AskedOnlyOncePerRun", "IMMMM", kTwoMinutesMs, 1, 0, 0},
    {"AConfirmedLockEndsTheSaver", "IMMY", kTwoMinutesMs, 1, 1, 1},
    {"AnUnconfirmedLockLeavesTheSaverRunning", "IMMX", kTwoMinutesMs, 1, 0, 1},
    {"AKeyBeforeTheGracePeriodEndsItWithoutALock", "IMAEMM", kTwoMinutesMs, 0, 0, 0},
    {"NoSaverNoLock", "NIMMM", kTwoMinutesMs, 0, 0, 1},
    {"TheNextRunCountsItsOwnGracePeriod", "IMMYEAIM", kTwoMinutesMs, 1, 1, 1},
    {"TheNextRunLocksAgain", "IMMYEAIMM", kTwoMinutesMs, 2, 1, 1},
    {"ALockConfirmedAfterTheSaverEndedEndsNothing", "IMMEY", kTwoMinutesMs, 1, 0, 1},
};

class LauncherLockStory : public testing::TestWithParam<LockStory> {};

TEST_P(LauncherLockStory, LocksAsExpected) {
  const LockStory& story = GetParam();
  Machine machine;
  machine.launcher.setLockAfterMs(story.lockAfterMs);
  machine.play(story.events);
  EXPECT_EQ(machine.effects.lockRequests, story.lockRequests);
  EXPECT_EQ(machine.effects.saverEnds, story.saverEnds);
  EXPECT_EQ(static_cast<int>(machine.effects.reports.size()), story.reports);
}

INSTANTIATE_TEST_SUITE_P(Locks, LauncherLockStory, testing::ValuesIn(kLockStories),
                         [](const testing::TestParamInfo<LockStory>& info) {
                           return info.param.name;
                         });

TEST(Launcher, TheLockIsDueExactlyTheGracePeriodAfterTheStart) {
  Machine machine;
  machine.launcher.setLockAfterMs(kTwoMinutesMs);
  EXPECT_EQ(machine.launcher.lockDueAtMs(), Launcher::kNoLockDue);
  const std::int64_t started = machine.clock.now;
  machine.play("I");
  EXPECT_EQ(machine.launcher.lockDueAtMs(), started + kTwoMinutesMs);
  // Early: asked for nothing, still due.
  machine.clock.now = started + kTwoMinutesMs - 1;
  machine.launcher.lockDue();
  EXPECT_EQ(machine.effects.lockRequests, 0);
  machine.clock.now = started + kTwoMinutesMs;
  machine.launcher.lockDue();
  EXPECT_EQ(machine.effects.lockRequests, 1);
  EXPECT_EQ(machine.launcher.lockDueAtMs(), Launcher::kNoLockDue);
}

TEST(Launcher, SaysWhetherTheLockCameInOneLine) {
  Machine locked;
  locked.launcher.setLockAfterMs(kTwoMinutesMs);
  locked.play("IMMY");
  Machine unlocked;
  unlocked.launcher.setLockAfterMs(kTwoMinutesMs + 30'000);
  unlocked.play("IMMMX");
  ASSERT_EQ(locked.effects.reports.size(), 1u);
  ASSERT_EQ(unlocked.effects.reports.size(), 1u);
  EXPECT_EQ(locked.effects.reports[0],
            "trenchwalk-idle: locked the session after 2 min of the saver (\"i3lock -n\" is up)");
  EXPECT_EQ(unlocked.effects.reports[0],
            "trenchwalk-idle: the lock after 2 min 30 s did not come: logind's LockSession was "
            "accepted, but the desktop does not say it is locked; the saver goes on");
}

TEST(InhibitorRegistry, CookiesAreNeverZeroAndNeverRepeatOneHeld) {
  InhibitorRegistry registry;
  const std::uint32_t first = registry.add(":1.5", "vlc", "Playing a film");
  const std::uint32_t second = registry.add(":1.5", "vlc", "Playing a film");
  const std::uint32_t third = registry.add(":1.9", "firefox", "video-playing");
  EXPECT_NE(first, 0u);
  EXPECT_NE(first, second);
  EXPECT_NE(second, third);
  EXPECT_NE(first, third);
  EXPECT_EQ(registry.inhibitors().size(), 3u);
}

struct RemoveCase {
  const char* name;
  const char* client;
  bool useRealCookie;
  bool removed;
};

TEST(InhibitorRegistry, OnlyTheClientThatMadeACookieEndsIt) {
  const RemoveCase cases[] = {
      {"its own cookie", ":1.5", true, true},
      {"another client's cookie", ":1.6", true, false},
      {"a cookie never given", ":1.5", false, false},
  };
  for (const RemoveCase& c : cases) {
    InhibitorRegistry registry;
    const std::uint32_t cookie = registry.add(":1.5", "vlc", "film");
    EXPECT_EQ(registry.remove(c.client, c.useRealCookie ? cookie : cookie + 100), c.removed)
        << c.name;
    EXPECT_EQ(registry.empty(), c.removed) << c.name;
  }
}

TEST(InhibitorRegistry, AClientLeavingTheBusLosesAllOfItsInhibitors) {
  InhibitorRegistry registry;
  registry.add(":1.5", "vlc", "film");
  registry.add(":1.5", "vlc", "second window");
  registry.add(":1.7", "impress", "presentation");
  EXPECT_EQ(registry.dropClient(":1.5"), 2u);
  EXPECT_EQ(registry.heldBy(":1.5"), 0u);
  EXPECT_EQ(registry.heldBy(":1.7"), 1u);
  EXPECT_EQ(registry.dropClient(":1.5"), 0u);
  EXPECT_EQ(registry.dropClient(":1.7"), 1u);
  EXPECT_TRUE(registry.empty());
}

TEST(InhibitorRegistry, OneClientCannotGrowItWithoutBound) {
  InhibitorRegistry registry;
  for (std::size_t i = 0; i < kMostInhibitorsPerClient; ++i)
    ASSERT_NE(registry.add(":1.5", "loop", "again"), 0u) << i;
  EXPECT_EQ(registry.add(":1.5", "loop", "again"), 0u);
  // Others still get theirs, up to the limit for everyone together.
  EXPECT_NE(registry.add(":1.6", "vlc", "film"), 0u);
  for (std::size_t client = 0; registry.inhibitors().size() < kMostInhibitors; ++client)
    for (std::size_t i = 0; i < kMostInhibitorsPerClient && registry.inhibitors().size() < kMostInhibitors; ++i)
      ASSERT_NE(registry.add(":2." + std::to_string(client), "many", "clients"), 0u);
  EXPECT_EQ(registry.add(":3.1", "late", "full"), 0u);
  // One freed place can be taken again.
  EXPECT_TRUE(registry.remove(":1.6", registry.inhibitors()[kMostInhibitorsPerClient].cookie));
  EXPECT_NE(registry.add(":3.1", "late", "full"), 0u);
}

TEST(InhibitorRegistry, TextsAreCutToOnePrintableLine) {
  const std::string huge(1 << 20, 'x');
  InhibitorRegistry registry;
  registry.add(":1.5", huge, "line one\nline two\x1b[31m\xc3\xa9");
  const Inhibitor& held = registry.inhibitors().front();
  EXPECT_EQ(held.application.size(), kLongestInhibitorText);
  EXPECT_EQ(held.reason, "line one?line two?[31m??");
  EXPECT_EQ(oneLineText(""), "");
}

bool onlyPid42Watches(long pid) { return pid == 42; }

TEST(XdgScreensaver, OnlyWindowsWhoseWatcherStillRunsAreSuspended) {
  struct Case {
    const char* record;
    std::vector<std::string> windows;
  };
  const Case cases[] = {
      {"", {}},
      {"0x2400007:42\n", {"0x2400007"}},
      {"0x2400007:42\n0x2600001:43\n", {"0x2400007"}},
      {"0x2400007:43\n", {}},
      {"0x2400007:42", {"0x2400007"}},
      {":42\n0x1:\n0x1:4x2\n0x1:-42\nnonsense\n0x1:99999999999\n", {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(xdgSuspendedWindows(c.record, onlyPid42Watches), c.windows) << c.record;
}

TEST(XdgScreensaver, TheRecordIsNamedAsXdgScreensaverNamesIt) {
  EXPECT_EQ(xdgScreensaverFile("alice", ":0"), "/tmp/xdg-screensaver-alice--0");
  EXPECT_EQ(xdgScreensaverFile("bob", ":12.0"), "/tmp/xdg-screensaver-bob--12.0");
  EXPECT_EQ(xdgScreensaverFile("", "localhost:1"), "/tmp/xdg-screensaver--localhost-1");
}

TEST(Launcher, NeverStartsRightAfterAKeyEndedTheSaver) {
  // The key arrives as activity, the end follows; any number of ends and
  // activity events without a new idle period start nothing.
  Machine machine;
  machine.play("IAE");
  machine.play("AEAE");
  EXPECT_EQ(machine.effects.starts, 1);
  machine.play("I");
  EXPECT_EQ(machine.effects.starts, 2);
}

TEST(Launcher, ReportsWhatWentWrongInOneLine) {
  Machine machine;
  machine.play("NI");
  machine.play("AnSI");
  machine.play("AsITTC");
  ASSERT_EQ(machine.effects.reports.size(), 3u);
  EXPECT_EQ(machine.effects.reports[0],
            "trenchwalk-idle: the desktop inhibits idle; not starting the saver; waiting for "
            "the next idle period");
  EXPECT_EQ(machine.effects.reports[1],
            "trenchwalk-idle: cannot start the saver: /opt/tw/trenchwalk: No such file or "
            "directory; waiting for the next idle period");
  EXPECT_EQ(machine.effects.reports[2],
            "trenchwalk-idle: the saver was killed by signal 11 (SIGSEGV) after 10.0 s; waiting "
            "for the next idle period");
  for (const std::string& line : machine.effects.reports)
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
}

struct EndCase {
  SaverEnd end;
  std::int64_t ranMs;
  const char* line;
};

TEST(Launcher, DescribesEachKindOfEnd) {
  const EndCase cases[] = {
      {{false, 0}, 100, ""},
      {{false, 0}, 3'600'000, ""},
      {{false, 1},
       200,
       "trenchwalk-idle: the saver failed to start (exit status 1); waiting for the next idle "
       "period"},
      {{false, 1},
       kStartWindowMs - 1,
       "trenchwalk-idle: the saver failed to start (exit status 1); waiting for the next idle "
       "period"},
      {{false, 1},
       kStartWindowMs,
       "trenchwalk-idle: the saver ended with exit status 1 after 3.0 s; waiting for the next "
       "idle period"},
      {{false, 127},
       65'432,
       "trenchwalk-idle: the saver ended with exit status 127 after 65.4 s; waiting for the "
       "next idle period"},
      {{true, 9},
       12'345,
       "trenchwalk-idle: the saver was killed by signal 9 (SIGKILL) after 12.3 s; waiting for "
       "the next idle period"},
      {{true, 6},
       50,
       "trenchwalk-idle: the saver was killed by signal 6 (SIGABRT) after 0.0 s; waiting for "
       "the next idle period"},
  };
  for (const EndCase& c : cases)
    EXPECT_EQ(describeEnd(c.end, c.ranMs), c.line) << c.end.signaled << " " << c.end.code;
}

TEST(Launcher, TheRunTimeComesFromTheClock) {
  // Exit status 1 right after the start is a failed start; the same status
  // after a long run is an ended run: the clock tells them apart.
  Machine quick;
  quick.play("IF");
  ASSERT_EQ(quick.effects.reports.size(), 1u);
  EXPECT_NE(quick.effects.reports[0].find("failed to start"), std::string::npos);
  Machine slow;
  slow.play("ITF");
  ASSERT_EQ(slow.effects.reports.size(), 1u);
  EXPECT_NE(slow.effects.reports[0].find("after 5.0 s"), std::string::npos);
}

struct ArgumentsCase {
  std::vector<std::string> arguments;
  CommandLine::Action action;
  unsigned delay;
};

TEST(IdleCommandLine, AcceptsOneWholeNumberOfSecondsOrHelp) {
  const ArgumentsCase cases[] = {
      {{}, CommandLine::Action::Run, kDefaultDelaySeconds},
      {{"5"}, CommandLine::Action::Run, 5},
      {{"1"}, CommandLine::Action::Run, 1},
      {{"0300"}, CommandLine::Action::Run, 300},
      {{"86400"}, CommandLine::Action::Run, kLongestDelaySeconds},
      {{"--help"}, CommandLine::Action::Help, kDefaultDelaySeconds},
      {{"-h"}, CommandLine::Action::Help, kDefaultDelaySeconds},
      {{"0"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{"86401"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{"99999999999999999999999"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{"-5"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{"+5"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{"5s"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{" 5"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{"0x10"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{""}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{"--delay=5"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{"5", "6"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{"--status"}, CommandLine::Action::Status, kDefaultDelaySeconds},
      {{"--status", "5"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
      {{"--help", "5"}, CommandLine::Action::BadUsage, kDefaultDelaySeconds},
  };
  for (const ArgumentsCase& c : cases) {
    const CommandLine line = parseCommandLine(c.arguments);
    const std::string shown = c.arguments.empty() ? "(none)" : "\"" + c.arguments.front() + "\"";
    EXPECT_EQ(line.action, c.action) << shown;
    EXPECT_EQ(line.delaySeconds, c.delay) << shown;
    EXPECT_EQ(line.error.empty(), c.action != CommandLine::Action::BadUsage) << shown;
  }
}

struct LockArgumentsCase {
  std::vector<std::string> arguments;
  CommandLine::Action action;
  unsigned delay;
  unsigned lockAfter;
  const char* locker;
};

TEST(IdleCommandLine, LockAfterTakesWholeMinutesAndTheLockerACommand) {
  using A = CommandLine::Action;
  const LockArgumentsCase cases[] = {
      {{"--lock-after", "10"}, A::Run, kDefaultDelaySeconds, 10, ""},
      {{"60", "--lock-after", "1"}, A::Run, 60, 1, ""},
      {{"--lock-after", "5", "120"}, A::Run, 120, 5, ""},
      {{"--lock-after", "2", "--locker", "swaylock -f"}, A::Run, kDefaultDelaySeconds, 2,
       "swaylock -f"},
      {{"--locker", "i3lock -n", "--lock-after", "3", "30"}, A::Run, 30, 3, "i3lock -n"},
      {{"--lock-after", "1440"}, A::Run, kDefaultDelaySeconds, kLongestLockAfterMinutes, ""},
      {{"--lock-after", "1441"}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
      {{"--lock-after", "0"}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
      {{"--lock-after", "2.5"}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
      {{"--lock-after", "-1"}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
      {{"--lock-after"}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
      {{"--lock-after", "2", "--lock-after", "3"}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
      {{"--locker", "swaylock"}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
      {{"--lock-after", "2", "--locker", " "}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
      {{"--lock-after", "2", "--locker"}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
      {{"--lock-after", "2", "--status"}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
      {{"--lock-after", "2", "5", "6"}, A::BadUsage, kDefaultDelaySeconds, 0, ""},
  };
  for (const LockArgumentsCase& c : cases) {
    std::string shown;
    for (const std::string& a : c.arguments) shown += "\"" + a + "\" ";
    const CommandLine line = parseCommandLine(c.arguments);
    EXPECT_EQ(line.action, c.action) << shown;
    EXPECT_EQ(line.delaySeconds, c.delay) << shown;
    EXPECT_EQ(line.lockAfterMinutes, c.lockAfter) << shown;
    EXPECT_EQ(line.locker, c.locker) << shown;
    EXPECT_EQ(line.error.empty(), c.action != A::BadUsage) << shown;
  }
}

TEST(IdleCommandLine, TheDefaultStartsBeforeGnomeBlanks) {
  // GNOME's idle-delay, 300 s by default; older releases dim at four fifths
  // of it.
  constexpr unsigned kGnomeIdleDelay = 300;
  constexpr unsigned kOlderGnomeDim = kGnomeIdleDelay * 4 / 5;
  EXPECT_LT(kDefaultDelaySeconds, kGnomeIdleDelay);
  EXPECT_LT(kDefaultDelaySeconds, kOlderGnomeDim);
  EXPECT_NE(helpText().find(std::to_string(kDefaultDelaySeconds)), std::string::npos);
  EXPECT_EQ(helpText().rfind(usageLine(), 0), 0u);
}

}  // namespace
}  // namespace tw::idle
