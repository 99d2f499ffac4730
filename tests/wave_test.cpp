#include "tests/harness.h"

namespace tw::test {
namespace {

TEST(MessageTimeOut, StartHintIsHiddenAtExactlyTenSeconds) {
  StartedCore s;
  EXPECT_EQ(s.scene.message.caption(), "Press F1 for Help");
  EXPECT_TRUE(s.scene.message.visible);
  s->advanceTo(9999);
  EXPECT_TRUE(s.scene.message.visible);
  s->advanceTo(10000);
  EXPECT_FALSE(s.scene.message.visible);
  EXPECT_FALSE(s.timers.messageTimeout.enabled());
  EXPECT_EQ(s.scene.message.caption(), "Press F1 for Help") << "the time-out only hides";
  EXPECT_TRUE(s.timers.walkTimer.enabled() || s.timers.fallTimer.enabled());
}

class Wave : public WithStartedCore {};

TEST_F(Wave, HelpStopsTheWalkLiftsTheWalkerAndWaves) {
  s.disableFalls();
  s->advanceTo(2000);
  const float left = s.scene.walker.left;
  s->keyUp(kKeyF1);
  EXPECT_FALSE(s.timers.walkTimer.enabled());
  EXPECT_TRUE(s.timers.waveTimer.enabled());
  EXPECT_EQ(s.timers.waveTimer.interval(), 100);
  EXPECT_EQ(s.scene.walker.top, static_cast<float>(s.course.walkerTop() - 30));

  std::vector<int> shown;
  for (int i = 0; i < 12; ++i) {
    s->advanceBy(100);
    shown.push_back(s.scene.walker.picture->index);
    ASSERT_EQ(s.scene.walker.picture->set, 3);
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2}));
  EXPECT_EQ(s.scene.walker.left, left) << "the wave does not move";
  EXPECT_EQ(s.scene.walker.top, static_cast<float>(s.course.walkerTop() - 30));

  s->advanceTo(2000 + 10'000);
  EXPECT_FALSE(s.scene.message.visible);
  EXPECT_FALSE(s.timers.waveTimer.enabled());
  EXPECT_TRUE(s.timers.walkTimer.enabled());
  EXPECT_EQ(s.scene.walker.top, static_cast<float>(s.course.walkerTop()));
  EXPECT_EQ(s.scene.walker.picture->set, 3) << "the idle image stays until the next walk tick";
  s->advanceBy(100);
  EXPECT_EQ(s.scene.walker.picture->set, 1);
  EXPECT_EQ(s.scene.walker.left,
            left - 70 * (s.course.direction() == Direction::Leftward ? 1 : -1));
}

TEST_F(Wave, ClockRunsWhileIdle) {
  s->keyUp(kKeyF1);
  s->advanceBy(3000);
  EXPECT_EQ(s.scene.clock.caption(), "12:00:03");
  EXPECT_EQ(s.scene.clockShadow.caption(), "12:00:03");
}

TEST_F(Wave, HelpAgainRearmsTheTimeOutWithoutASecondLift) {
  s->keyUp(kKeyF1);
  s->advanceBy(450);
  const int frame = s.wave.waveFrame();
  s->keyUp(kKeyF1);
  EXPECT_EQ(s.scene.walker.top, static_cast<float>(s.course.walkerTop() - 30));
  EXPECT_EQ(s.wave.waveFrame(), frame) << "the wave goes on where it was";
  s->advanceBy(9999);
  EXPECT_TRUE(s.timers.waveTimer.enabled()) << "the time-out counts from the second F1";
  s->advanceBy(1);
  EXPECT_FALSE(s.timers.waveTimer.enabled());
}

TEST_F(Wave, HelpDuringAFallStartsNoWave) {
  s.startFall();
  s->keyUp(kKeyF1);
  EXPECT_TRUE(s.scene.message.visible);
  EXPECT_TRUE(s.timers.messageTimeout.enabled());
  EXPECT_FALSE(s.timers.waveTimer.enabled());
  EXPECT_TRUE(s.timers.fallTimer.enabled());
}

TEST_F(Wave, HEndsTheWaveAndTheLaterTimeOutOnlyHides) {
  s->keyUp(kKeyF1);
  s->advanceBy(500);
  s->keyUp(kKeyH);
  EXPECT_FALSE(s.timers.waveTimer.enabled());
  EXPECT_TRUE(s.timers.walkTimer.enabled());
  EXPECT_FALSE(s.scene.message.visible);
  EXPECT_EQ(s.scene.message.caption(), "");
  EXPECT_EQ(s.scene.walker.top, static_cast<float>(s.course.walkerTop()));
  EXPECT_TRUE(s.timers.messageTimeout.enabled()) << "H leaves the time-out armed";
  s->advanceBy(9500);
  EXPECT_FALSE(s.timers.messageTimeout.enabled());
  EXPECT_FALSE(s.scene.message.visible);
}

}  // namespace
}  // namespace tw::test
