#include "tests/harness.h"

namespace tw::test {
namespace {

// Ticks recorded by timer number, with their virtual times.
struct TickLog {
  std::vector<std::pair<int, int64_t>> ticks;
};

TEST(Scheduler, WalkTimerTicksEveryHundredMillisecondsFromLoad) {
  Saver s;
  s.load();
  s->fallsEnabled = 0;
  EXPECT_EQ(s->nextDue(), 100);
  s->advanceTo(60'000);
  // 600 walk ticks in a minute: the figure is a tenth of 600 × 1.7.
  EXPECT_EQ(s->Label2.Caption(), "1.02");
  EXPECT_EQ(s->Label3.Caption(), "mts");
}

TEST(Scheduler, EnablingStartsACountAndIntervalZeroNeverTicks) {
  Saver s;
  s.load();
  s->Timer1.setEnabled(false);
  s->Timer2.setEnabled(false);
  s->advanceTo(1000);
  EXPECT_FALSE(s->nextDue().has_value()) << "no timer runs";
  s->Timer4.setEnabled(true);  // interval 0 at design time
  EXPECT_FALSE(s->nextDue().has_value());
  s->Timer4.setInterval(100);
  EXPECT_EQ(s->nextDue(), 1100);
}

TEST(Scheduler, ReEnablingOrWritingTheIntervalRestartsTheCount) {
  Saver s;
  s.load();
  s->Timer1.setEnabled(false);
  s->advanceTo(4000);
  s->Timer2.setEnabled(true);  // armed at load, due at 10000: now due at 14000
  EXPECT_EQ(s->Timer2.due(), 14000);
  s->Timer3.setEnabled(true);
  s->advanceTo(4050);
  s->Timer3.setInterval(100);
  EXPECT_EQ(s->Timer3.due(), 4150);
}

TEST(Scheduler, TimersDueTogetherTickInNumberOrder) {
  // At 10 s both the walk timer and the message time-out are due. The walk
  // tick comes first, so on that tick the hint is still visible.
  Saver s;
  s.load();
  s->advanceTo(9999);
  EXPECT_TRUE(s->Label6.Visible);
  const float leftBefore = s->Image1.Left;
  s->Timer2.setEnabled(false);
  s->Timer2.setEnabled(true);  // due at 9999 + 10000
  s->advanceTo(19999);
  EXPECT_FALSE(s->Label6.Visible);
  EXPECT_NE(s->Image1.Left, leftBefore);
}

TEST(Scheduler, AfterAStallEachOverdueTimerTicksOnceNotInABurst) {
  Saver s;
  s.load();
  s->catchUp(5000);  // fifty walk ticks overdue
  EXPECT_EQ(s->Label2.Caption(), "0") << "one tick adds 1.7, fifty would show 8";
  EXPECT_EQ(s->nextDue(), 5100);
  s->catchUp(5100);
  s->catchUp(5200);
  EXPECT_EQ(s->walkedDistance, static_cast<float>(static_cast<float>(static_cast<float>(1.7) + 1.7) + 1.7));
}

TEST(Scheduler, RealTimeKeepsThePhaseWhenOnTime) {
  Saver s;
  s.load();
  s->fallsEnabled = 0;
  // A little late each time: the next due time stays on the 100 ms grid.
  for (int64_t t = 103; t < 60'000; t += 100) s->catchUp(t);
  EXPECT_EQ(s->nextDue(), 60'000);
  EXPECT_EQ(s->Label2.Caption(), "1.01") << "599 ticks so far";
}

TEST(Scheduler, NothingRunsAfterTheWindowIsUnloaded) {
  Saver s;
  s.load();
  s->keyUp(27);
  EXPECT_TRUE(s->unloaded());
  EXPECT_FALSE(s->nextDue().has_value());
  const float left = s->Image1.Left;
  s->advanceTo(10'000);
  s->keyUp(27);
  s->clickAt(0, 0);
  EXPECT_EQ(s->Image1.Left, left);
  EXPECT_EQ(s.services.unloads, 1);
}

}  // namespace
}  // namespace tw::test
