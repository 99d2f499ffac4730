// The idle launcher's decisions, driven by a fake idle source and a fake
// clock: when the saver starts, when it must not start again, and what is
// reported when it cannot start or ends badly.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "idle/command_line.h"
#include "idle/launcher.h"

namespace tw::idle {
namespace {

class FakeEffects : public LauncherEffects {
 public:
  bool inhibited = false;
  bool spawnFails = false;
  int starts = 0;
  std::vector<std::string> reports;

  bool idleInhibited() override { return inhibited; }
  StartResult startSaver() override {
    if (spawnFails) return {false, "/opt/tw/trenchwalk: No such file or directory"};
    ++starts;
    return {true, {}};
  }
  void report(const std::string& line) override { reports.push_back(line); }
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

  // One letter per event: I the session goes idle, A input, E the saver ends
  // with status 0, C it crashes (SIGSEGV), F it exits with status 1, N the
  // desktop inhibits idle, n it stops, S starting fails, s starting works,
  // T five seconds pass.
  void play(const std::string& events) {
    constexpr std::int64_t kStepMs = 5000;
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
  };
  for (const ArgumentsCase& c : cases) {
    const CommandLine line = parseCommandLine(c.arguments);
    const std::string shown = c.arguments.empty() ? "(none)" : "\"" + c.arguments.front() + "\"";
    EXPECT_EQ(line.action, c.action) << shown;
    EXPECT_EQ(line.delaySeconds, c.delay) << shown;
    EXPECT_EQ(line.error.empty(), c.action != CommandLine::Action::BadUsage) << shown;
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
