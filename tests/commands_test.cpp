#include "input/key_filter.h"
#include "log/log_file.h"
#include "tests/harness.h"

namespace tw::test {
namespace {

class Commands : public WithStartedCore {};

TEST_F(Commands, HelpTextByteForByte) {
  s->keyUp(kKeyF1);
  EXPECT_EQ(s.scene.message.caption(),
            "Key    Function\r\n"
            "\r\n"
            "+        Add and show logged distances\r\n"
            "H       Hide this menu and other blue displays\r\n"
            "D       Enable(default)/Disable trenchs \r\n"
            "Q       Go to https://korvek.example\r\n"
            "           All others stop execution and save log");
  EXPECT_TRUE(s.scene.message.visible);
}

TEST_F(Commands, HelpReadsTheAddressFromItsLabelEachTime) {
  s.stage.scene().address.setCaption("https://elsewhere.example");
  s->keyUp(kKeyF1);
  EXPECT_NE(s.scene.message.caption().find("Q       Go to https://elsewhere.example\r\n"), std::string::npos);
}

TEST_F(Commands, DTogglesTheTrenchesWithoutArmingTheTimeOut) {
  s->advanceBy(10'000);
  struct Step { const char* notice; bool falls; };
  for (Step step : {Step{"Falls = Disabled", false}, {"Falls = Enabled", true},
                    {"Falls = Disabled", false}}) {
    s->keyUp(kKeyD);
    EXPECT_EQ(s.scene.message.caption(), step.notice);
    EXPECT_TRUE(s.scene.message.visible);
    EXPECT_EQ(s.course.fallsEnabled(), step.falls);
    EXPECT_FALSE(s.timers.messageTimeout.enabled());
  }
  s->advanceBy(60'000);
  EXPECT_TRUE(s.scene.message.visible) << "the notice stays until H";
  s->keyUp(kKeyH);
  EXPECT_FALSE(s.scene.message.visible);
}

TEST_F(Commands, DWhileHelpIsShownReplacesTheTextAndTheWaveGoesOn) {
  s->keyUp(kKeyF1);
  s->advanceBy(1000);
  s->keyUp(kKeyD);
  EXPECT_EQ(s.scene.message.caption(), "Falls = Disabled");
  EXPECT_TRUE(s.timers.waveTimer.enabled());
  s->advanceBy(9000);
  EXPECT_FALSE(s.timers.waveTimer.enabled()) << "ended by the help's time-out";
  EXPECT_FALSE(s.scene.message.visible);
}

TEST_F(Commands, HWhileWalkingChangesNothingVisible) {
  s->advanceBy(12'000);
  s.disableFalls();
  ASSERT_FALSE(s.scene.message.visible);
  const float top = s.scene.walker.top;
  s->keyUp(kKeyH);
  EXPECT_FALSE(s.scene.message.visible);
  EXPECT_EQ(s.scene.walker.top, top);
  EXPECT_TRUE(s.timers.walkTimer.enabled());
}

TEST_F(Commands, EveryOtherKeyAndAClickEndTheRunWithOneRecord) {
  // Escape, space, the main keyboard's +, Shift, Ctrl, Alt, letters, and a click.
  for (int code : {27, 32, 187, 16, 17, 18, 65, 13, 0, 113}) {
    StartedCore s;
    s->keyUp(code);
    EXPECT_TRUE(s->ended()) << code;
    EXPECT_EQ(readFile(s.log()).find("0 cm "), std::string(kLogBanner).size() + 2) << code;
  }
  // A click on empty ground, or on a line, is a click on the window.
  for (const bool onLine : {false, true}) {
    StartedCore s;
    s->clickAt(1, onLine ? s.scene.lane.y1 : 1);
    EXPECT_TRUE(s->ended()) << onLine;
  }
}

TEST_F(Commands, QOpensTheAddressThenEnds) {
  s->keyUp(kKeyQ);
  EXPECT_EQ(s.services.opened, std::vector<std::string>{"https://korvek.example"});
  EXPECT_TRUE(s->ended());
  EXPECT_NE(readFile(s.log()).find("0 cm "), std::string::npos);
}

TEST_F(Commands, ClicksOnALabelOrTheWalkerDoNothing) {
  s->advanceBy(100);
  s->clickAt(s.scene.clock.left + 5, s.scene.clock.top + 5);
  s->clickAt(s.scene.distance.left + 600, s.scene.distance.top + 250);  // inside the fixed 615 × 255 box
  s->clickAt(s.scene.message.left + 1, s.scene.message.top + 1);
  s->clickAt(s.scene.walker.left + 1, s.scene.walker.top + 1);
  EXPECT_FALSE(s->ended());
  s->clickAt(s.scene.warning.left + 1, s.scene.warning.top + 1);  // hidden: a click on the window
  EXPECT_TRUE(s->ended());
}

TEST(KeyFilter, OnlyReleasesOfKeysPressedInTheWindowCount) {
  KeyFilter f;
  EXPECT_FALSE(f.release(13, false)) << "the Enter that started the program";
  f.press(68, false);
  f.press(68, true);
  EXPECT_FALSE(f.release(68, true)) << "auto-repeat";
  f.press(68, true);
  EXPECT_TRUE(f.release(68, false));
  EXPECT_FALSE(f.release(68, false)) << "released once";
  f.press(16, false);
  f.press(68, false);
  EXPECT_TRUE(f.release(68, false));
  EXPECT_TRUE(f.release(16, false)) << "Shift after Shift+D";
  f.press(27, false);
  f.forgetAll();
  EXPECT_FALSE(f.release(27, false));
}

// What the core asks the platform to do comes out in the order it was asked;
// a box holds what comes after it until it is answered, and work left for
// after a box runs once the last box before it is answered, at once without.
TEST(Outbox, GivesRequestsInOrderAndABoxHoldsTheRestUntilAnswered) {
  Outbox out;
  std::string ran, taken;
  out.then([&] { ran += "a"; });
  out.push(TellUser{"1"});
  out.push(MessageBox{"2", "box"});
  out.then([&] { ran += "b"; });
  out.push(OpenAddress{"3"});
  out.push(RunTimeErrorBox{4, "error"});
  out.then([&] { ran += "c"; });
  EXPECT_EQ(ran, "a");
  // Takes requests (by their place in Request) until a box holds the rest, then answers it.
  const auto takeAndAnswer = [&] {
    while (const std::optional<Request> r = out.take()) taken += std::to_string(r->index());
    EXPECT_TRUE(out.holdsBox());
    for (const auto& next : out.answered()) next();
    return taken + " " + ran;
  };
  EXPECT_EQ(takeAndAnswer(), "30 ab");
  EXPECT_EQ(takeAndAnswer(), "3021 abc");
  EXPECT_FALSE(out.holdsBox());
  EXPECT_FALSE(out.take());
}

}  // namespace
}  // namespace tw::test
