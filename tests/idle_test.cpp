// The idle launcher's decisions, driven by a fake idle source and a fake
// clock: when the saver starts, when it must not start again, what a lock, a
// blank, a held keyboard and a hung saver do, how long a source that went
// away is looked for, and what is reported when the saver cannot start or
// ends badly.

#include <optional>
#include <string_view>

#include "idle/decide/command_line.h"
#include "idle/dark/dark_screen.h"
#include "idle/decide/inhibitor_registry.h"
#include "idle/decide/launcher.h"
#include "idle/decide/saver_liveness.h"
#include "idle/decide/signal_sender.h"
#include "idle/inhibit/xdg_screensaver.h"
#include "tests/idle_machine.h"

namespace tw::idle {
namespace {

using S = LauncherState;

// Each story's events, and how many saver starts, reports, asked ends and
// restarts of the idle period it makes and the state it ends in; with
// --lock-after, how many locks it asks.
struct Story {
  const char* name;
  const char* events;
  int starts;
  LauncherState state;
  int reports;
  int ends;      // the saver asked to end
  int restarts;  // the idle period restarted
  std::int64_t lockAfterMs = 0;
  int lockRequests = 0;
};

constexpr std::int64_t kTwoMinMs = 120'000;
// How each of the launcher's lines begins, and how those after a failed run end.
const std::string kSaid = "trenchwalk-idle: ";
const std::string kWaiting = "; waiting for the next idle period";

const Story kStories[] = {
    {"NothingHappensWhileTheUserIsActive", "AAA", 0, S::Waiting, 0, 0, 0},
    {"IdleStartsTheSaver", "I", 1, S::SaverRunning, 0, 0, 0},
    {"AKeyEndsItTheNextStartNeedsANewIdlePeriod", "IAE", 1, S::Waiting, 0, 0, 0},
    {"TheEndSeenBeforeTheKeysActivityStillWaits", "IE", 1, S::SaverEnded, 0, 0, 0},
    {"ActivityAfterTheEndArmsItAgain", "IEA", 1, S::Waiting, 0, 0, 0},
    // The key arrives as activity, the end follows; any number of ends and
    // activity events without a new idle period start nothing.
    {"NeverStartsRightAfterAKeyEndedTheSaver", "IAEAEAE", 1, S::Waiting, 0, 0, 0},
    {"StartsAgainOnlyAtTheNextIdlePeriod", "IAEAEAEI", 2, S::SaverRunning, 0, 0, 0},
    {"ItStartsAgainAfterActivityAndAnotherIdlePeriod", "IAEI", 2, S::SaverRunning, 0, 0, 0},
    {"ActivityWhileItRunsStartsNoSecondCopy", "IAIA", 1, S::SaverRunning, 0, 0, 0},
    {"IdleAgainWhileItRunsWaitsForActivityAfterTheEnd", "IAIE", 1, S::SaverEnded, 0, 0, 0},
    {"ACrashWithTheUserAwayIsNotRestarted", "ITC", 1, S::SaverEnded, 1, 0, 0},
    {"ACrashRestartsAfterActivityAndIdle", "ITCAI", 2, S::SaverRunning, 1, 0, 0},
    {"AFailedStartIsReportedOnce", "IF", 1, S::SaverEnded, 1, 0, 0},
    {"InhibitedIdleStartsNothing", "NI", 0, S::Idle, 1, 0, 0},
    {"InhibitedThenActiveWaitsAgain", "NIA", 0, S::Waiting, 1, 0, 0},
    {"TheNextIdlePeriodAfterTheInhibitionStarts", "NIAnI", 1, S::SaverRunning, 1, 0, 0},
    {"StillInhibitedAtTheNextIdlePeriod", "NIAI", 0, S::Idle, 2, 0, 0},
    {"ASpawnThatFailsIsReportedAndRearms", "SI", 0, S::Idle, 1, 0, 0},
    {"AfterASpawnFailureTheNextIdlePeriodStarts", "SIAsI", 1, S::SaverRunning, 1, 0, 0},
    {"AnEndOfNoSaverOfOursIsIgnored", "EC", 0, S::Waiting, 0, 0, 0},
    {"AnOrdinaryEndIsNotReported", "ITTE", 1, S::SaverEnded, 0, 0, 0},
    // Locked or blanked: nothing starts; the lock ends a running saver.
    {"LockedFirstThenTheDelayStartsNothing", "LI", 0, S::Locked, 0, 0, 0},
    {"KeysTypedIntoTheLockerStartNothing", "LIAIA", 0, S::Locked, 0, 0, 0},
    {"TheLockEndsTheRunningSaver", "IL", 1, S::SaverEnding, 0, 1, 0},
    {"TheSaverEndedByTheLockWaitsForTheUnlock", "ILE", 1, S::Locked, 0, 1, 0},
    {"TheUnlockRestartsTheIdlePeriod", "ILEU", 1, S::Waiting, 0, 1, 1},
    {"AfterTheUnlockANewIdlePeriodStartsIt", "ILEUI", 2, S::SaverRunning, 0, 1, 1},
    {"UnlockedBeforeTheSaverEndedRestartsAtItsEnd", "ILUE", 1, S::Waiting, 0, 1, 1},
    {"UnlockedWithoutALockChangesNothing", "UkgI", 1, S::SaverRunning, 0, 0, 0},
    {"ALockWhileWaitingAfterACrashWaitsForTheUnlock", "ITCLUI", 2, S::SaverRunning, 1, 0, 1},
    {"ALockAfterAnInhibitedPeriodStillRestarts", "NILUnI", 1, S::SaverRunning, 1, 0, 1},
    {"TwoLocksHoldUntilBothAreGone", "LKUI", 0, S::Locked, 0, 0, 0},
    // GNOME Shell's own name alone (no program started its proxy), and both
    // saying the same.
    {"TheShellsOwnLockEndsTheRunningSaver", "IW", 1, S::SaverEnding, 0, 1, 0},
    {"TheShellsOwnLockFirstStartsNothing", "WIAI", 0, S::Locked, 0, 0, 0},
    {"TheShellsOwnUnlockRestarts", "WIwI", 1, S::SaverRunning, 0, 0, 1},
    {"TheShellAndItsProxyUnlockOnce", "WLIwUI", 1, S::SaverRunning, 0, 0, 1},
    {"TheLastLockGoneRestarts", "LKUkI", 1, S::SaverRunning, 0, 0, 1},
    {"ASaverThatIgnoresTheLockIsKilledAndReported", "ILQ", 1, S::Locked, 1, 1, 0},
    {"ANewLockWhileEndingAsksOnce", "ILKUk", 1, S::SaverEnding, 0, 1, 0},
    // A locker holding the keyboard on X11, found by the test before a start.
    {"AHeldKeyboardStartsNothing", "GI", 0, S::Locked, 1, 0, 0},
    {"TheKeyboardLetGoRestartsTheIdlePeriod", "GIg", 0, S::Waiting, 1, 0, 1},
    {"AfterTheKeyboardIsLetGoANewIdlePeriodStartsIt", "GIgI", 1, S::SaverRunning, 1, 0, 1},
    {"AReleaseUnseenIsFoundAtTheNextIdlePeriod", "GIArI", 0, S::Waiting, 1, 0, 1},
    {"AGrabStillHeldAtTheNextIdlePeriodStillHolds", "GIAI", 0, S::Locked, 1, 0, 0},
    {"AGrabUnderABusLockWaitsForBoth", "LGIArI", 0, S::Locked, 0, 0, 0},
    // A dark screen is a blank: nothing starts, a running saver ends, and
    // the screen back on starts a whole new idle period.
    {"DarkFirstThenTheDelayStartsNothing", "BIAI", 0, S::Locked, 0, 0, 0},
    {"DarkEndsTheRunningSaver", "IB", 1, S::SaverEnding, 0, 1, 0},
    {"TheSaverEndedInTheDarkWaitsForTheLight", "IBE", 1, S::Locked, 0, 1, 0},
    {"BackOnRestartsTheIdlePeriod", "IBEb", 1, S::Waiting, 0, 1, 1},
    {"BackOnThenANewIdlePeriodStartsIt", "IBEbI", 2, S::SaverRunning, 0, 1, 1},
    {"TheMonitorStillOffHoldsAfterTheBlankEnds", "IPBEbAI", 1, S::Locked, 0, 1, 0},
    {"BothBackOnRestartsOnce", "BPbpI", 1, S::SaverRunning, 0, 0, 1},
    {"DarkUnderALockWaitsForTheUnlockToo", "LBbI", 0, S::Locked, 0, 0, 0},
    // A saver that stopped answering: ended, said once, and the next idle
    // period (counted from its end) starts a fresh one.
    {"AHungSaverIsEndedWithOneLine", "IH", 1, S::SaverEnding, 1, 1, 0},
    {"AHungSaverKilledIsNotReportedTwice", "IHQ", 1, S::Waiting, 1, 1, 1},
    {"AHungSaverThatEndsOnTheSignalIsNotReportedTwice", "IHE", 1, S::Waiting, 1, 1, 1},
    {"TheNextIdlePeriodAfterAHangStartsAFreshOne", "IHQI", 2, S::SaverRunning, 1, 1, 1},
    {"HungWhileEndingForALockIsNotReported", "ILH", 1, S::SaverEnding, 0, 1, 0},
    {"ALockWhileEndingAHungSaverWaitsForTheUnlock", "IHLQ", 1, S::Locked, 1, 1, 0},
    {"SilenceAfterTheEndIsIgnored", "IAEH", 1, S::Waiting, 0, 0, 0},
    // The inhibitors held through the launcher's own
    // org.freedesktop.ScreenSaver: their end restarts the idle period, so the
    // saver comes a whole delay later, with or without input in between.
    {"HeldBackThenReleasedRestartsTheIdlePeriod", "NIR", 0, S::Idle, 1, 0, 1},
    {"ReleasedThenANewIdlePeriodStartsWithoutInput", "NIRI", 1, S::SaverRunning, 1, 0, 1},
    {"ReleasedWhileTheUserIsActiveRestartsToo", "NAR", 0, S::Waiting, 0, 0, 1},
    {"ReleasedWhileTheSaverRunsChangesNothing", "IR", 1, S::SaverRunning, 0, 0, 0},
    {"ReleasedAfterACrashTriesOnceMoreAfterADelay", "ITCRI", 2, S::SaverRunning, 1, 0, 1},
    {"HeldAgainAtTheNextPeriodStillStartsNothing", "NIRNI", 0, S::Idle, 2, 0, 1},
    // The settings file: off starts nothing and says so; on again, or a new
    // delay, counts a whole new idle period from then; a running saver runs on.
    {"SwitchedOffStartsNothingAndSaysSo", "OIAI", 0, S::Idle, 2, 0, 0},
    {"SwitchedOnAgainCountsANewIdlePeriod", "OIoI", 1, S::SaverRunning, 1, 0, 1},
    {"SwitchedOnWhenOnChangesNothing", "oI", 1, S::SaverRunning, 0, 0, 0},
    {"SwitchedOffLetsARunningSaverRun", "IOA", 1, S::SaverRunning, 0, 0, 0},
    {"ANewDelayCountsFromNow", "OIDoI", 1, S::SaverRunning, 1, 0, 2},
    {"ANewDelayLeavesARunningSaverRunning", "ID", 1, S::SaverRunning, 0, 0, 1},
    // --lock-after 2: the lock is asked once, two minutes into a run, never
    // before, never without a saver; a confirmed lock ends the saver (which
    // keeps its record) as a lock signal does, an unconfirmed one leaves it
    // running and says so.
    {"WithoutTheOptionNothingLocks", "IMMMM", 1, S::SaverRunning, 0, 0, 0},
    {"AnAnswerToNoRequestIsIgnored", "IMMYX", 1, S::SaverRunning, 0, 0, 0, kTwoMinMs * 3, 0},
    {"NotBeforeTheGracePeriod", "IM", 1, S::SaverRunning, 0, 0, 0, kTwoMinMs, 0},
    {"AskedOnceTheGracePeriodHasPassed", "IMM", 1, S::SaverRunning, 0, 0, 0, kTwoMinMs, 1},
    {"AskedOnlyOncePerRun", "IMMMM", 1, S::SaverRunning, 0, 0, 0, kTwoMinMs, 1},
    {"AConfirmedLockEndsTheSaver", "IMMY", 1, S::SaverEnding, 1, 1, 0, kTwoMinMs, 1},
    {"ItsEndAfterAConfirmedLockRestartsTheIdlePeriod", "IMMYE", 1, S::Waiting, 1, 1, 1, kTwoMinMs,
     1},
    {"ItsEndUnderTheLocksSignalWaitsForTheUnlock", "IMMYKE", 1, S::Locked, 1, 1, 0, kTwoMinMs, 1},
    {"AnUnconfirmedLockLeavesTheSaverRunning", "IMMX", 1, S::SaverRunning, 1, 0, 0, kTwoMinMs, 1},
    {"AKeyBeforeTheGracePeriodEndsItWithoutALock", "IMAEMM", 1, S::Waiting, 0, 0, 0, kTwoMinMs, 0},
    {"NoSaverNoLock", "NIMMM", 0, S::Idle, 1, 0, 0, kTwoMinMs, 0},
    {"TheNextRunCountsItsOwnGracePeriod", "IMMYEAIM", 2, S::SaverRunning, 1, 1, 1, kTwoMinMs, 1},
    {"TheNextRunLocksAgain", "IMMYEAIMM", 2, S::SaverRunning, 1, 1, 1, kTwoMinMs, 2},
    {"ALockConfirmedAfterTheSaverEndedEndsNothing", "IMMEY", 1, S::SaverEnded, 1, 0, 0, kTwoMinMs,
     1},
};

class LauncherStory : public testing::TestWithParam<Story> {};

TEST_P(LauncherStory, StartsAndReportsAsExpected) {
  const Story& story = GetParam();
  Machine machine(story.lockAfterMs);
  machine.play(story.events);
  EXPECT_EQ(machine.effects.starts, story.starts);
  EXPECT_EQ(machine.launcher.state(), story.state);
  EXPECT_EQ(static_cast<int>(machine.effects.reports.size()), story.reports);
  EXPECT_EQ(machine.effects.ends, story.ends);
  EXPECT_EQ(machine.effects.restarts, story.restarts);
  EXPECT_EQ(machine.lockRequests, story.lockRequests);
}

INSTANTIATE_TEST_SUITE_P(Stories, LauncherStory, testing::ValuesIn(kStories),
                         [](const testing::TestParamInfo<Story>& info) { return info.param.name; });

TEST(Launcher, TheLockIsDueExactlyTheGracePeriodAfterTheStart) {
  Machine machine(kTwoMinMs);
  EXPECT_EQ(machine.launcher.lockDueAtMs(), std::nullopt);
  const std::int64_t started = machine.clock.now;
  machine.play("I");
  EXPECT_EQ(machine.launcher.lockDueAtMs(), started + kTwoMinMs);
  // Early: asked for nothing, still due.
  machine.clock.now = started + kTwoMinMs - 1;
  EXPECT_FALSE(machine.launcher.lockDue());
  EXPECT_EQ(machine.launcher.lockDueAtMs(), started + kTwoMinMs);
  machine.clock.now = started + kTwoMinMs;
  EXPECT_TRUE(machine.launcher.lockDue());
  EXPECT_EQ(machine.launcher.lockDueAtMs(), std::nullopt);
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

struct RemoveCase { const char* name; const char* client; bool useRealCookie; bool removed; };

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

struct SenderCase { const char* sender; const char* owner; bool taken; };

TEST(SignalSender, OnlyTheNamesOwnerNowSpeaksForIt) {
  const SenderCase cases[] = {
      {":1.7", ":1.7", true},
      {":1.8", ":1.7", false},  // another program, sending straight to us
      {":1.8", "", false},      // nobody owns the name
      {"", "", false},
      {"org.gnome.ScreenSaver", "org.gnome.ScreenSaver", false},  // a claimed name
      {"org.gnome.ScreenSaver", ":1.7", false},
  };
  for (const SenderCase& c : cases)
    EXPECT_EQ(speaksFor(c.sender, c.owner), c.taken) << c.sender << " for " << c.owner;
}

TEST(XdgScreensaver, OnlyWindowsWhoseWatcherStillRunsAreSuspended) {
  struct Case { const char* record; std::vector<std::string> windows; };
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

// What each window system says of its screen, read as dark, lit, or
// nothing known.
TEST(DarkScreen, EachWindowSystemsWordIsReadAsDarkOrLit) {
  constexpr std::optional<bool> kDark = true;
  constexpr std::optional<bool> kLit = false;
  constexpr std::optional<bool> kUnknown = std::nullopt;
  const struct {
    const char* what;
    std::optional<bool> read;
    std::optional<bool> expected;
  } kCases[] = {
      {"X screen saver Off", x11ScreenSaverDark(0), kLit},
      {"X screen saver On", x11ScreenSaverDark(1), kDark},
      {"X screen saver Cycle", x11ScreenSaverDark(2), kDark},
      {"X screen saver Disabled", x11ScreenSaverDark(3), kLit},
      {"X screen saver state 4", x11ScreenSaverDark(4), kUnknown},
      {"DPMS On", dpmsDark(true, 0), kLit},
      {"DPMS Standby", dpmsDark(true, 1), kDark},
      {"DPMS Off", dpmsDark(true, 3), kDark},
      {"DPMS disabled, level Off", dpmsDark(false, 3), kLit},
      {"wlr off", wlrOutputOff(0), kDark},
      {"wlr on", wlrOutputOff(1), kLit},
      {"wlr mode 2", wlrOutputOff(2), kUnknown},
      {"KDE On", kdeDpmsOff(0), kLit},
      {"KDE Suspend", kdeDpmsOff(2), kDark},
      {"KDE Off", kdeDpmsOff(3), kDark},
      {"KDE mode 4", kdeDpmsOff(4), kUnknown},
      {"mutter On", mutterPowerSaveDark(0), kLit},
      {"mutter Standby", mutterPowerSaveDark(1), kDark},
      {"mutter Off", mutterPowerSaveDark(3), kDark},
      {"mutter unknown", mutterPowerSaveDark(-1), kUnknown},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.read, c.expected) << c.what;
}

// The walk shows on every output: dark only once every known output is off.
TEST(DarkScreen, DarkOnlyWhenEveryOutputIsOff) {
  OutputPowers outputs;
  EXPECT_FALSE(outputs.dark()) << "no outputs known";
  outputs.set(1, true);
  EXPECT_TRUE(outputs.dark());
  outputs.set(2, false);
  EXPECT_FALSE(outputs.dark()) << "a second output still lit";
  outputs.set(2, true);
  EXPECT_TRUE(outputs.dark());
  outputs.set(3, false);
  outputs.remove(3);
  EXPECT_TRUE(outputs.dark()) << "the lit output was unplugged";
  EXPECT_EQ(darkLine(""), "no");
  EXPECT_EQ(darkLine("the X server's screen saver"), "yes (the X server's screen saver)");
}

// What the launcher says after each story, in one line each: what went
// wrong, the run time read from the clock (exit status 1 right after the
// start is a failed start, after a long run an ended run), a hung saver, a
// keyboard held, and whether the lock came.
TEST(Launcher, SaysWhatHappenedInOneLineEach) {
  struct Case { const char* events; std::int64_t lockAfterMs; std::vector<std::string> lines; };
  const Case cases[] = {
      {"NIAnSIAsITTC", 0,
       {kSaid + "the desktop inhibits idle; not starting the saver" + kWaiting,
        kSaid + "cannot start the saver: /opt/tw/trenchwalk: No such file or directory" + kWaiting,
        kSaid + "the saver was killed by signal 11 (SIGSEGV) after 10.0 s" + kWaiting}},
      {"IF", 0, {kSaid + "the saver failed to start (exit status 1)" + kWaiting}},
      {"ITF", 0, {kSaid + "the saver ended with exit status 1 after 5.0 s" + kWaiting}},
      {"IH", 0,
       {kSaid + "the saver stopped answering (no sign of life for 6.0 s); ending it" + kWaiting}},
      {"GI", 0,
       {kSaid + "another program holds the keyboard (a screen locker?); not starting the saver "
                "until it lets go"}},
      {"IMMY", kTwoMinMs,
       {kSaid + "locked the session after 2 min of the saver (\"i3lock -n\" is up)"}},
      {"IMMMX", kTwoMinMs + 30'000,
       {kSaid + "the lock after 2 min 30 s did not come: logind's LockSession was accepted, but "
                "the desktop does not say it is locked; the saver goes on"}},
  };
  for (const Case& c : cases) {
    Machine machine(c.lockAfterMs);
    machine.play(c.events);
    EXPECT_EQ(machine.effects.reports, c.lines) << c.events;
    for (const std::string& line : machine.effects.reports)
      EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  }
}

struct EndCase {
  SaverEnd end;
  std::int64_t ranMs;
  const char* what;  // in "the saver ...; waiting for the next idle period", or none
};

TEST(Launcher, DescribesEachKindOfEnd) {
  const EndCase cases[] = {
      {{false, 0}, 100, ""},
      {{false, 0}, 3'600'000, ""},
      {{false, 1}, 200, "failed to start (exit status 1)"},
      {{false, 1}, kStartWindowMs - 1, "failed to start (exit status 1)"},
      {{false, 1}, kStartWindowMs, "ended with exit status 1 after 3.0 s"},
      {{false, 127}, 65'432, "ended with exit status 127 after 65.4 s"},
      {{true, 9}, 12'345, "was killed by signal 9 (SIGKILL) after 12.3 s"},
      {{true, 6}, 50, "was killed by signal 6 (SIGABRT) after 0.0 s"},
  };
  for (const EndCase& c : cases) {
    const std::string line = *c.what == '\0' ? "" : kSaid + "the saver " + c.what + kWaiting;
    EXPECT_EQ(describeEnd(c.end, c.ranMs), line) << c.end.signaled << " " << c.end.code;
  }
}

// Each look for a source that went away: how long after the loss it
// happens, and what the launcher then says to do.
struct LookCase { std::int64_t atMs; bool again; std::int64_t afterMs; };

TEST(Launcher, LooksForAGoneSourceLessAndLessOftenThenLeaves) {
  Machine machine;
  const std::int64_t lostAt = machine.clock.now;
  // 250 ms, doubling to 4 s, and the last look at the 20 s mark.
  const LookCase looks[] = {
      {0, true, 250},          {250, true, 500},        {750, true, 1000},
      {1750, true, 2000},      {3750, true, 4000},      {7750, true, 4000},
      {11'750, true, 4000},    {15'750, true, 4000},    {19'750, true, 250},
      {kSourceGoneForMs, false, 0},
  };
  for (const LookCase& look : looks) {
    machine.clock.now = lostAt + look.atMs;
    const SourceRetry retry = machine.launcher.sourceLost("X11 idle time (SYNC IDLETIME, :5)");
    EXPECT_EQ(retry.again, look.again) << "at " << look.atMs << " ms";
    EXPECT_EQ(retry.afterMs, look.afterMs) << "at " << look.atMs << " ms";
  }
  // One line when it went, one when the launcher gives up.
  EXPECT_EQ(machine.effects.reports,
            (std::vector<std::string>{kSaid + "the idle source went away (X11 idle time (SYNC "
                                              "IDLETIME, :5)); looking for it again for 20.0 s",
                                      kSaid + "no idle source came back (X11 idle time (SYNC "
                                              "IDLETIME, :5)); the session has ended; leaving"}));
}

TEST(Launcher, ASourceFoundAgainGetsTheWholeTimeAtItsNextLoss) {
  Machine machine;
  machine.play("I");
  EXPECT_TRUE(machine.launcher.sourceLost("GNOME's idle monitor (D-Bus)").again);
  machine.clock.now += kSourceGoneForMs - 1;
  machine.launcher.sourceFound("GNOME's idle monitor (D-Bus)");
  // The saver the launcher started still runs, and is still its own.
  EXPECT_EQ(machine.launcher.state(), LauncherState::SaverRunning);
  machine.clock.now += kSourceGoneForMs;
  const SourceRetry retry = machine.launcher.sourceLost("GNOME's idle monitor (D-Bus)");
  EXPECT_TRUE(retry.again);
  EXPECT_EQ(retry.afterMs, kFirstLookAfterMs);
  ASSERT_EQ(machine.effects.reports.size(), 3u);
  EXPECT_EQ(machine.effects.reports[1],
            "trenchwalk-idle: idle source back: GNOME's idle monitor (D-Bus)");
}

// The saver's heartbeat, step by step: one letter per event at the time
// given: s it starts, b it beats, e it is asked to end, x it ended, and ?
// asks what is due, which must be the verdict named.
struct BeatStep { std::int64_t atMs; char event; SaverLiveness::Verdict verdict; };

struct BeatCase {
  const char* name;
  std::vector<BeatStep> steps;
  std::optional<std::int64_t> dueMs;  // when something is due after the last step, or nothing
};

TEST(SaverLiveness, TellsAHungSaverFromASlowOne) {
  using V = SaverLiveness::Verdict;
  const BeatCase cases[] = {
      {"NoSaverNothingIsDue", {}, {}},
      {"ASlowStartHasFifteenSeconds",
       {{0, 's', V::Fine}, {kFirstBeatWithinMs - 1, '?', V::Fine}}, kFirstBeatWithinMs},
      {"NoFirstBeatIsHung", {{0, 's', V::Fine}, {kFirstBeatWithinMs, '?', V::Hung}}, {}},
      {"BeatsKeepItFine",
       {{0, 's', V::Fine}, {1000, 'b', V::Fine}, {6000, 'b', V::Fine},
        {11'999, '?', V::Fine}}, 6000 + kBeatWithinMs},
      {"SixSecondsOfSilenceAfterABeatIsHung",
       {{0, 's', V::Fine}, {1000, 'b', V::Fine}, {1000 + kBeatWithinMs, '?', V::Hung}}, {}},
      {"HungIsSaidOnce",
       {{0, 's', V::Fine}, {1000, 'b', V::Fine}, {8000, '?', V::Hung}, {9000, '?', V::Fine}}, {}},
      {"AskedToEndItIsKilledTwoSecondsLater",
       {{0, 's', V::Fine}, {100, 'b', V::Fine}, {500, 'e', V::Fine},
        {500 + kKillAfterMs - 1, '?', V::Fine}, {500 + kKillAfterMs, '?', V::Kill}}, {}},
      {"BeatsDoNotSaveASaverAskedToEnd",
       {{0, 's', V::Fine}, {500, 'e', V::Fine}, {2000, 'b', V::Fine}, {2500, '?', V::Kill}}, {}},
      {"ASaverThatEndedHasNothingDue",
       {{0, 's', V::Fine}, {500, 'e', V::Fine}, {600, 'x', V::Fine}, {60'000, '?', V::Fine}}, {}},
      {"ANewRunStartsWithTheSlowStartAgain",
       {{0, 's', V::Fine}, {1000, 'b', V::Fine}, {2000, 'x', V::Fine},
        {3000, 's', V::Fine}}, 3000 + kFirstBeatWithinMs},
  };
  for (const BeatCase& c : cases) {
    SaverLiveness liveness;
    for (const BeatStep& step : c.steps) {
      ASSERT_NE(std::string_view("sbex?").find(step.event), std::string_view::npos)
          << "unknown step " << step.event;
      if (step.event == 's') liveness.started(step.atMs);
      if (step.event == 'b') liveness.beat(step.atMs);
      if (step.event == 'e') liveness.endAsked(step.atMs);
      if (step.event == 'x') liveness.ended();
      if (step.event == '?') {
        EXPECT_EQ(liveness.check(step.atMs), step.verdict) << c.name << " at " << step.atMs;
      }
    }
    EXPECT_EQ(liveness.dueMs(), c.dueMs) << c.name;
  }
}

struct LockArgumentsCase {
  std::vector<std::string> arguments;
  CommandLine::Action action;
  unsigned delay;
  unsigned lockAfter;
  const char* locker;
};

TEST(IdleCommandLine, TakesOneWholeNumberOfSecondsAWholeNumberOfMinutesAndALocker) {
  using A = CommandLine::Action;
  std::vector<LockArgumentsCase> cases = {
      {{}, A::Run, kDefaultDelaySeconds, 0, ""},
      {{"5"}, A::Run, 5, 0, ""},
      {{"1"}, A::Run, 1, 0, ""},
      {{"0300"}, A::Run, 300, 0, ""},
      {{"86400"}, A::Run, kLongestDelaySeconds, 0, ""},
      {{"--help"}, A::Help, kDefaultDelaySeconds, 0, ""},
      {{"-h"}, A::Help, kDefaultDelaySeconds, 0, ""},
      {{"--status"}, A::Status, kDefaultDelaySeconds, 0, ""},
      {{"--lock-after", "10"}, A::Run, kDefaultDelaySeconds, 10, ""},
      {{"60", "--lock-after", "1"}, A::Run, 60, 1, ""},
      {{"--lock-after", "5", "120"}, A::Run, 120, 5, ""},
      {{"--lock-after", "2", "--locker", "swaylock -f"}, A::Run, kDefaultDelaySeconds, 2,
       "swaylock -f"},
      {{"--locker", "i3lock -n", "--lock-after", "3", "30"}, A::Run, 30, 3, "i3lock -n"},
      {{"--lock-after", "1440"}, A::Run, kDefaultDelaySeconds, kLongestLockAfterMinutes, ""},
  };
  // Each of these is refused and leaves every setting at its default.
  const std::vector<std::string> refused[] = {
      {"0"}, {"86401"}, {"99999999999999999999999"}, {"-5"}, {"+5"}, {"5s"}, {" 5"}, {"0x10"}, {""},
      {"--delay=5"}, {"5", "6"}, {"--status", "5"}, {"--help", "5"}, {"--lock-after", "1441"},
      {"--lock-after", "0"}, {"--lock-after", "2.5"}, {"--lock-after", "-1"}, {"--lock-after"},
      {"--lock-after", "2", "--lock-after", "3"}, {"--locker", "swaylock"},
      {"--lock-after", "2", "--locker", " "}, {"--lock-after", "2", "--locker"},
      {"--lock-after", "2", "--status"}, {"--lock-after", "2", "5", "6"},
  };
  for (const std::vector<std::string>& arguments : refused)
    cases.push_back({arguments, A::BadUsage, kDefaultDelaySeconds, 0, ""});
  for (const LockArgumentsCase& c : cases) {
    std::string shown;
    for (const std::string& a : c.arguments) shown += "\"" + a + "\" ";
    const CommandLine line = parseCommandLine(c.arguments);
    EXPECT_EQ(line.action, c.action) << shown;
    EXPECT_EQ(line.delaySeconds, c.delay) << shown;
    EXPECT_EQ(line.lockAfterMinutes, c.lockAfter) << shown;
    EXPECT_EQ(line.locker, c.locker) << shown;
    EXPECT_EQ(line.error.empty(), c.action != A::BadUsage) << shown;
    EXPECT_EQ(line.delayGiven, line.action == A::Run && line.delaySeconds != kDefaultDelaySeconds)
        << shown;
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
