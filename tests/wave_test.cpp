#include <vector>

#include "tests/harness.h"

namespace tw::test {
namespace {

TEST(MessageTimeOut, StartHintIsHiddenAtExactlyTenSeconds) {
  Saver s;
  s.start();
  EXPECT_EQ(s.scene.message.Caption(), "Press F1 for Help");
  EXPECT_TRUE(s.scene.message.Visible);
  s->advanceTo(9999);
  EXPECT_TRUE(s.scene.message.Visible);
  s->advanceTo(10000);
  EXPECT_FALSE(s.scene.message.Visible);
  EXPECT_FALSE(s.timers.messageTimeout.Enabled());
  EXPECT_EQ(s.scene.message.Caption(), "Press F1 for Help") << "the time-out only hides";
  EXPECT_TRUE(s.timers.walkTimer.Enabled() || s.timers.fallTimer.Enabled());
}

TEST(Wave, HelpStopsTheWalkLiftsTheWalkerAndWaves) {
  Saver s;
  s.start();
  s.course.fallsEnabled = 0;
  s->advanceTo(2000);
  const float left = s.scene.walker.Left;
  s->keyUp(kKeyF1);
  EXPECT_FALSE(s.timers.walkTimer.Enabled());
  EXPECT_TRUE(s.timers.waveTimer.Enabled());
  EXPECT_EQ(s.timers.waveTimer.Interval(), 100);
  EXPECT_EQ(s.scene.walker.Top, static_cast<float>(s.course.walkerTop - 30));

  std::vector<int> shown;
  for (int i = 0; i < 12; ++i) {
    s->advanceBy(100);
    shown.push_back(s.scene.walker.Picture->index);
    ASSERT_EQ(s.scene.walker.Picture->set, 3);
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2}));
  EXPECT_EQ(s.scene.walker.Left, left) << "the wave does not move";
  EXPECT_EQ(s.scene.walker.Top, static_cast<float>(s.course.walkerTop - 30));

  s->advanceTo(2000 + 10'000);
  EXPECT_FALSE(s.scene.message.Visible);
  EXPECT_FALSE(s.timers.waveTimer.Enabled());
  EXPECT_TRUE(s.timers.walkTimer.Enabled());
  EXPECT_EQ(s.scene.walker.Top, static_cast<float>(s.course.walkerTop));
  EXPECT_EQ(s.scene.walker.Picture->set, 3) << "the idle image stays until the next walk tick";
  s->advanceBy(100);
  EXPECT_EQ(s.scene.walker.Picture->set, 1);
  EXPECT_EQ(s.scene.walker.Left, left - 70 * (s.course.direction == Direction::Leftward ? 1 : -1));
}

TEST(Wave, ClockRunsWhileIdle) {
  Saver s;
  s.start();
  s->keyUp(kKeyF1);
  s->advanceBy(3000);
  EXPECT_EQ(s.scene.clock.Caption(), "12:00:03");
  EXPECT_EQ(s.scene.clockShadow.Caption(), "12:00:03");
}

TEST(Wave, HelpAgainRearmsTheTimeOutWithoutASecondLift) {
  Saver s;
  s.start();
  s->keyUp(kKeyF1);
  s->advanceBy(450);
  const int frame = s.wave.waveFrame;
  s->keyUp(kKeyF1);
  EXPECT_EQ(s.scene.walker.Top, static_cast<float>(s.course.walkerTop - 30));
  EXPECT_EQ(s.wave.waveFrame, frame) << "the wave goes on where it was";
  s->advanceBy(9999);
  EXPECT_TRUE(s.timers.waveTimer.Enabled()) << "the time-out counts from the second F1";
  s->advanceBy(1);
  EXPECT_FALSE(s.timers.waveTimer.Enabled());
}

TEST(Wave, HelpDuringAFallStartsNoWave) {
  Saver s;
  s.start();
  s.course.startFall();
  s->keyUp(kKeyF1);
  EXPECT_TRUE(s.scene.message.Visible);
  EXPECT_TRUE(s.timers.messageTimeout.Enabled());
  EXPECT_FALSE(s.timers.waveTimer.Enabled());
  EXPECT_TRUE(s.timers.fallTimer.Enabled());
}

TEST(Wave, HEndsTheWaveAndTheLaterTimeOutOnlyHides) {
  Saver s;
  s.start();
  s->keyUp(kKeyF1);
  s->advanceBy(500);
  s->keyUp(kKeyH);
  EXPECT_FALSE(s.timers.waveTimer.Enabled());
  EXPECT_TRUE(s.timers.walkTimer.Enabled());
  EXPECT_FALSE(s.scene.message.Visible);
  EXPECT_EQ(s.scene.message.Caption(), "");
  EXPECT_EQ(s.scene.walker.Top, static_cast<float>(s.course.walkerTop));
  EXPECT_TRUE(s.timers.messageTimeout.Enabled()) << "H leaves the time-out armed";
  s->advanceBy(9500);
  EXPECT_FALSE(s.timers.messageTimeout.Enabled());
  EXPECT_FALSE(s.scene.message.Visible);
}

}  // namespace
}  // namespace tw::test
