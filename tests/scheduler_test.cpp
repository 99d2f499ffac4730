#include "log/log_file.h"
#include "tests/harness.h"
#include "walk/motion.h"

namespace tw::test {
namespace {

// A scheduler on timers and virtual time of its own, recording the ticks it
// runs with the time at each.
struct Clockwork : TickHandler {
  void tick(TimerId id) override { ticks.emplace_back(id, time.now()); }
  bool ended() const override { return false; }
  VirtualTime time;
  Timers timers{time};
  Scheduler scheduler{time, timers};
  std::vector<std::pair<TimerId, int64_t>> ticks;
};

TEST(Scheduler, WalkTimerTicksEveryHundredMillisecondsFromLoad) {
  StartedCore s(Falls::Off);
  EXPECT_EQ(s->nextDue(), 100);
  s->advanceTo(60'000);
  // 600 walk ticks in a minute: the figure is a tenth of 600 × 1.7.
  EXPECT_EQ(s.scene.distance.caption(), "1.02");
  EXPECT_EQ(s.scene.distanceUnit.caption(), "mts");
}

TEST(Scheduler, EnablingStartsACountAndIntervalZeroNeverTicks) {
  Clockwork w;
  w.timers.walkTimer.setEnabled(false);
  w.scheduler.advanceTo(1000, w);
  EXPECT_FALSE(w.scheduler.nextDue().has_value()) << "no timer runs";
  w.timers.waveTimer.setEnabled(true);  // interval 0 at design time
  EXPECT_FALSE(w.scheduler.nextDue().has_value());
  w.timers.waveTimer.setInterval(100);
  EXPECT_EQ(w.scheduler.nextDue(), 1100);
}

TEST(Scheduler, ReEnablingOrWritingTheIntervalRestartsTheCount) {
  Clockwork w;
  w.timers.messageTimeout.setEnabled(true);  // armed at the start, due at 10000
  w.timers.walkTimer.setEnabled(false);
  w.scheduler.advanceTo(4000, w);
  w.timers.messageTimeout.setEnabled(true);  // now due at 14000
  EXPECT_EQ(w.timers.messageTimeout.due(), 14000);
  w.timers.fallTimer.setEnabled(true);
  w.scheduler.advanceTo(4050, w);
  w.timers.fallTimer.setInterval(100);
  EXPECT_EQ(w.timers.fallTimer.due(), 4150);
}

TEST(Scheduler, TimersDueTogetherTickInNumberOrder) {
  // Started last to first, all four due at once: the walk ticks first, so on
  // the tick at which the message times out the hint is still up.
  for (const bool realTime : {false, true}) {
    Clockwork w;
    for (TimerId id : {TimerId::Wave, TimerId::Fall, TimerId::MessageTimeout, TimerId::Walk}) {
      w.timers[id].setInterval(1000);
      w.timers[id].setEnabled(true);
    }
    if (realTime) {
      w.scheduler.catchUp(1500, w);
    } else {
      w.scheduler.advanceTo(1500, w);
    }
    const int64_t at = realTime ? 1500 : 1000;
    EXPECT_EQ(w.ticks, (std::vector<std::pair<TimerId, int64_t>>{
                           {TimerId::Walk, at}, {TimerId::MessageTimeout, at}, {TimerId::Fall, at},
                           {TimerId::Wave, at}}))
        << (realTime ? "real time" : "virtual time");
  }
}

// Three timers with one owner: after any switch exactly the new mode's timer
// runs, its count starting at the switch.
TEST(Motion, EachSwitchRunsOnlyTheNewModesTimerFromAFreshCount) {
  struct Case { const char* name; void (*to)(Motion&); Mode mode; int32_t interval; };
  const Case cases[] = {
      {"walk", [](Motion& m) { m.walk(); }, Mode::Walking, Timers::kWalkInterval},
      {"fall", [](Motion& m) { m.fall(); }, Mode::Falling, Timers::kFirstFallInterval},
      {"wave", [](Motion& m) { m.wave(250); }, Mode::Waving, 250}};
  for (const Case& from : cases) {
    for (const Case& to : cases) {
      VirtualTime time;
      Timers timers(time);
      Motion motion(timers.walkTimer, timers.fallTimer, timers.waveTimer);
      from.to(motion);
      time.set(1234);
      to.to(motion);
      SCOPED_TRACE(std::string(from.name) + " then " + to.name);
      EXPECT_EQ(motion.mode(), to.mode);
      EXPECT_EQ(timers.walkTimer.enabled(), to.mode == Mode::Walking);
      EXPECT_EQ(timers.fallTimer.enabled(), to.mode == Mode::Falling);
      EXPECT_EQ(timers.waveTimer.enabled(), to.mode == Mode::Waving);
      EXPECT_EQ(&motion.timerOf(to.mode), &timers[to.mode == Mode::Walking   ? TimerId::Walk
                                                   : to.mode == Mode::Falling ? TimerId::Fall
                                                                              : TimerId::Wave]);
      EXPECT_EQ(motion.timerOf(to.mode).due(), 1234 + to.interval);
      EXPECT_FALSE(timers.messageTimeout.enabled()) << "the message's time-out is not the walk's";
    }
  }
}

TEST(Motion, TheWalkerWalksFromTheStartAndTheFallSetsItsOwnPace) {
  VirtualTime time;
  Timers timers(time);
  Motion motion(timers.walkTimer, timers.fallTimer, timers.waveTimer);
  EXPECT_EQ(motion.mode(), Mode::Walking);
  EXPECT_TRUE(timers.walkTimer.enabled());
  motion.fall();
  time.set(500);
  motion.setFallPace(10);
  EXPECT_EQ(timers.fallTimer.interval(), 10);
  EXPECT_EQ(timers.fallTimer.due(), 510);
  EXPECT_EQ(motion.mode(), Mode::Falling);
}

TEST(Motion, HWhileWalkingStartsTheWalksCountAfresh) {
  StartedCore s;
  s->advanceTo(12'050);
  ASSERT_EQ(s->mode(), Mode::Walking);
  ASSERT_EQ(s->nextDue(), 12'100);
  s->keyUp(kKeyH);
  EXPECT_EQ(s->mode(), Mode::Walking);
  EXPECT_EQ(s->nextDue(), 12'150);
}

TEST(Scheduler, AfterAStallEachOverdueTimerTicksOnceNotInABurst) {
  StartedCore s;
  s->catchUp(5000);  // fifty walk ticks overdue
  EXPECT_EQ(s.scene.distance.caption(), "0") << "one tick adds 1.7, fifty would show 8";
  EXPECT_EQ(s->nextDue(), 5100);
  s->catchUp(5100);
  s->catchUp(5200);
  EXPECT_EQ(s.course.walkedDistance(),
            static_cast<float>(static_cast<float>(static_cast<float>(1.7) + 1.7) + 1.7));
}

TEST(Scheduler, RealTimeKeepsThePhaseWhenOnTime) {
  StartedCore s(Falls::Off);
  // A little late each time: the next due time stays on the 100 ms grid.
  for (int64_t t = 103; t < 60'000; t += 100) s->catchUp(t);
  EXPECT_EQ(s->nextDue(), 60'000);
  EXPECT_EQ(s.scene.distance.caption(), "1.01") << "599 ticks so far";
}

TEST(Scheduler, NothingRunsAfterTheRunHasEnded) {
  StartedCore s;
  s->keyUp(27);
  EXPECT_TRUE(s->ended());
  EXPECT_FALSE(s->nextDue().has_value());
  const float left = s.scene.walker.left;
  s->advanceTo(10'000);
  s->keyUp(27);
  s->clickAt(0, 0);
  EXPECT_EQ(s.scene.walker.left, left);
  EXPECT_TRUE(s->ended() && s->exitStatus() == ExitStatus::Success);
}

TEST(Core, AnUntrappedRunTimeErrorIsShownAndEndsTheRunAsAFailure) {
  StartedCore s(Falls::Off);
  s.stage.setWalk(Direction::Leftward, 8);  // the next walk picture, 9, does not exist
  s->advanceBy(100);
  EXPECT_EQ(s.services.errors, std::vector<std::string>{"35600 Index out of bounds"});
  EXPECT_TRUE(s->ended());
  EXPECT_EQ(s->exitStatus(), ExitStatus::AfterRunTimeError);
  EXPECT_NE(s->exitStatus(), ExitStatus::RecordNotKept) << "told apart from a lost record";
  EXPECT_EQ(exitCodeOf(s->exitStatus()), 1);
  EXPECT_FALSE(s->nextDue().has_value());
  EXPECT_EQ(readFile(s.log()), std::string(kLogBanner) + kCrLf) << "no record after an error";
}

}  // namespace
}  // namespace tw::test
