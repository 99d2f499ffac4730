#include "tests/harness.h"

namespace tw::test {
namespace {

// Ticks recorded by timer number, with their virtual times.
struct TickLog {
  std::vector<std::pair<int, int64_t>> ticks;
};

TEST(Scheduler, WalkTimerTicksEveryHundredMillisecondsFromLoad) {
  Saver s;
  s.start();
  s.course.fallsEnabled = 0;
  EXPECT_EQ(s->nextDue(), 100);
  s->advanceTo(60'000);
  // 600 walk ticks in a minute: the figure is a tenth of 600 × 1.7.
  EXPECT_EQ(s.scene.distance.Caption(), "1.02");
  EXPECT_EQ(s.scene.distanceUnit.Caption(), "mts");
}

TEST(Scheduler, EnablingStartsACountAndIntervalZeroNeverTicks) {
  Saver s;
  s.start();
  s.timers.walkTimer.setEnabled(false);
  s.timers.messageTimeout.setEnabled(false);
  s->advanceTo(1000);
  EXPECT_FALSE(s->nextDue().has_value()) << "no timer runs";
  s.timers.waveTimer.setEnabled(true);  // interval 0 at design time
  EXPECT_FALSE(s->nextDue().has_value());
  s.timers.waveTimer.setInterval(100);
  EXPECT_EQ(s->nextDue(), 1100);
}

TEST(Scheduler, ReEnablingOrWritingTheIntervalRestartsTheCount) {
  Saver s;
  s.start();
  s.timers.walkTimer.setEnabled(false);
  s->advanceTo(4000);
  s.timers.messageTimeout.setEnabled(true);  // armed at load, due at 10000: now due at 14000
  EXPECT_EQ(s.timers.messageTimeout.due(), 14000);
  s.timers.fallTimer.setEnabled(true);
  s->advanceTo(4050);
  s.timers.fallTimer.setInterval(100);
  EXPECT_EQ(s.timers.fallTimer.due(), 4150);
}

TEST(Scheduler, TimersDueTogetherTickInNumberOrder) {
  // At 10 s both the walk timer and the message time-out are due. The walk
  // tick comes first, so on that tick the hint is still visible.
  Saver s;
  s.start();
  s->advanceTo(9999);
  EXPECT_TRUE(s.scene.message.Visible);
  const float leftBefore = s.scene.walker.Left;
  s.timers.messageTimeout.setEnabled(false);
  s.timers.messageTimeout.setEnabled(true);  // due at 9999 + 10000
  s->advanceTo(19999);
  EXPECT_FALSE(s.scene.message.Visible);
  EXPECT_NE(s.scene.walker.Left, leftBefore);
}

TEST(Scheduler, AfterAStallEachOverdueTimerTicksOnceNotInABurst) {
  Saver s;
  s.start();
  s->catchUp(5000);  // fifty walk ticks overdue
  EXPECT_EQ(s.scene.distance.Caption(), "0") << "one tick adds 1.7, fifty would show 8";
  EXPECT_EQ(s->nextDue(), 5100);
  s->catchUp(5100);
  s->catchUp(5200);
  EXPECT_EQ(s.course.walkedDistance, static_cast<float>(static_cast<float>(static_cast<float>(1.7) + 1.7) + 1.7));
}

TEST(Scheduler, RealTimeKeepsThePhaseWhenOnTime) {
  Saver s;
  s.start();
  s.course.fallsEnabled = 0;
  // A little late each time: the next due time stays on the 100 ms grid.
  for (int64_t t = 103; t < 60'000; t += 100) s->catchUp(t);
  EXPECT_EQ(s->nextDue(), 60'000);
  EXPECT_EQ(s.scene.distance.Caption(), "1.01") << "599 ticks so far";
}

TEST(Scheduler, NothingRunsAfterTheWindowIsUnloaded) {
  Saver s;
  s.start();
  s->keyUp(27);
  EXPECT_TRUE(s->ended());
  EXPECT_FALSE(s->nextDue().has_value());
  const float left = s.scene.walker.Left;
  s->advanceTo(10'000);
  s->keyUp(27);
  s->clickAt(0, 0);
  EXPECT_EQ(s.scene.walker.Left, left);
  EXPECT_EQ(s->exitStatus(), ExitStatus::Success);
}

}  // namespace
}  // namespace tw::test
