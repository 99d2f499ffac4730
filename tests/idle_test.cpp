#include <vector>

#include "tests/harness.h"

namespace tw::test {
namespace {

TEST(MessageTimeOut, StartHintIsHiddenAtExactlyTenSeconds) {
  Saver s;
  s.load();
  EXPECT_EQ(s->Label6.Caption(), "Press F1 for Help");
  EXPECT_TRUE(s->Label6.Visible);
  s->advanceTo(9999);
  EXPECT_TRUE(s->Label6.Visible);
  s->advanceTo(10000);
  EXPECT_FALSE(s->Label6.Visible);
  EXPECT_FALSE(s->Timer2.Enabled());
  EXPECT_EQ(s->Label6.Caption(), "Press F1 for Help") << "the time-out only hides";
  EXPECT_TRUE(s->Timer1.Enabled() || s->Timer3.Enabled());
}

TEST(Idle, HelpStopsTheWalkLiftsTheWalkerAndWaves) {
  Saver s;
  s.load();
  s->fallsEnabled = 0;
  s->advanceTo(2000);
  const float left = s->Image1.Left;
  s->keyUp(kKeyF1);
  EXPECT_FALSE(s->Timer1.Enabled());
  EXPECT_TRUE(s->Timer4.Enabled());
  EXPECT_EQ(s->Timer4.Interval(), 100);
  EXPECT_EQ(s->Image1.Top, static_cast<float>(s->walkerTop - 30));

  std::vector<int> shown;
  for (int i = 0; i < 12; ++i) {
    s->advanceBy(100);
    shown.push_back(s->Image1.Picture->index);
    ASSERT_EQ(s->Image1.Picture->set, 3);
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2}));
  EXPECT_EQ(s->Image1.Left, left) << "the wave does not move";
  EXPECT_EQ(s->Image1.Top, static_cast<float>(s->walkerTop - 30));

  s->advanceTo(2000 + 10'000);
  EXPECT_FALSE(s->Label6.Visible);
  EXPECT_FALSE(s->Timer4.Enabled());
  EXPECT_TRUE(s->Timer1.Enabled());
  EXPECT_EQ(s->Image1.Top, static_cast<float>(s->walkerTop));
  EXPECT_EQ(s->Image1.Picture->set, 3) << "the idle image stays until the next walk tick";
  s->advanceBy(100);
  EXPECT_EQ(s->Image1.Picture->set, 1);
  EXPECT_EQ(s->Image1.Left, left - 70 * (s->walkDirection == 1 ? 1 : -1));
}

TEST(Idle, ClockRunsWhileIdle) {
  Saver s;
  s.load();
  s->keyUp(kKeyF1);
  s->advanceBy(3000);
  EXPECT_EQ(s->Label1.Caption(), "12:00:03");
  EXPECT_EQ(s->Label5.Caption(), "12:00:03");
}

TEST(Idle, HelpAgainRearmsTheTimeOutWithoutASecondLift) {
  Saver s;
  s.load();
  s->keyUp(kKeyF1);
  s->advanceBy(450);
  const int frame = s->idleFrame;
  s->keyUp(kKeyF1);
  EXPECT_EQ(s->Image1.Top, static_cast<float>(s->walkerTop - 30));
  EXPECT_EQ(s->idleFrame, frame) << "the wave goes on where it was";
  s->advanceBy(9999);
  EXPECT_TRUE(s->Timer4.Enabled()) << "the time-out counts from the second F1";
  s->advanceBy(1);
  EXPECT_FALSE(s->Timer4.Enabled());
}

TEST(Idle, HelpDuringAFallStartsNoWave) {
  Saver s;
  s.load();
  s->StartFall();
  s->keyUp(kKeyF1);
  EXPECT_TRUE(s->Label6.Visible);
  EXPECT_TRUE(s->Timer2.Enabled());
  EXPECT_FALSE(s->Timer4.Enabled());
  EXPECT_TRUE(s->Timer3.Enabled());
}

TEST(Idle, HEndsTheWaveAndTheLaterTimeOutOnlyHides) {
  Saver s;
  s.load();
  s->keyUp(kKeyF1);
  s->advanceBy(500);
  s->keyUp(kKeyH);
  EXPECT_FALSE(s->Timer4.Enabled());
  EXPECT_TRUE(s->Timer1.Enabled());
  EXPECT_FALSE(s->Label6.Visible);
  EXPECT_EQ(s->Label6.Caption(), "");
  EXPECT_EQ(s->Image1.Top, static_cast<float>(s->walkerTop));
  EXPECT_TRUE(s->Timer2.Enabled()) << "H leaves the time-out armed";
  s->advanceBy(9500);
  EXPECT_FALSE(s->Timer2.Enabled());
  EXPECT_FALSE(s->Label6.Visible);
}

}  // namespace
}  // namespace tw::test
