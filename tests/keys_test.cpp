#include "input/key_filter.h"
#include "log/log_file.h"
#include "tests/harness.h"

namespace tw::test {
namespace {

TEST(Keys, HelpTextByteForByte) {
  Saver s;
  s.load();
  s->keyUp(kKeyF1);
  EXPECT_EQ(s->Label6.Caption(),
            "Key    Function\r\n"
            "\r\n"
            "+        Add and show logged distances\r\n"
            "H       Hide this menu and other blue displays\r\n"
            "D       Enable(default)/Disable trenchs \r\n"
            "Q       Go to https://korvek.example\r\n"
            "           All others stop execution and save log");
  EXPECT_TRUE(s->Label6.Visible);
}

TEST(Keys, HelpReadsTheAddressFromItsLabelEachTime) {
  Saver s;
  s.load();
  s->Label4.setCaption("https://elsewhere.example");
  s->keyUp(kKeyF1);
  EXPECT_NE(s->Label6.Caption().find("Q       Go to https://elsewhere.example\r\n"), std::string::npos);
}

TEST(Keys, DTogglesTheTrenchesWithoutArmingTheTimeOut) {
  Saver s;
  s.load();
  s->advanceBy(10'000);
  struct Step { const char* notice; int falls; };
  for (Step step : {Step{"Falls = Disabled", 0}, {"Falls = Enabled", 1}, {"Falls = Disabled", 0}}) {
    s->keyUp(kKeyD);
    EXPECT_EQ(s->Label6.Caption(), step.notice);
    EXPECT_TRUE(s->Label6.Visible);
    EXPECT_EQ(s->fallsEnabled, step.falls);
    EXPECT_FALSE(s->Timer2.Enabled());
  }
  s->advanceBy(60'000);
  EXPECT_TRUE(s->Label6.Visible) << "the notice stays until H";
  s->keyUp(kKeyH);
  EXPECT_FALSE(s->Label6.Visible);
}

TEST(Keys, DWhileHelpIsShownReplacesTheTextAndTheWaveGoesOn) {
  Saver s;
  s.load();
  s->keyUp(kKeyF1);
  s->advanceBy(1000);
  s->keyUp(kKeyD);
  EXPECT_EQ(s->Label6.Caption(), "Falls = Disabled");
  EXPECT_TRUE(s->Timer4.Enabled());
  s->advanceBy(9000);
  EXPECT_FALSE(s->Timer4.Enabled()) << "ended by the help's time-out";
  EXPECT_FALSE(s->Label6.Visible);
}

TEST(Keys, HWhileWalkingChangesNothingVisible) {
  Saver s;
  s.load();
  s->advanceBy(12'000);
  s->fallsEnabled = 0;
  ASSERT_FALSE(s->Label6.Visible);
  const float top = s->Image1.Top;
  s->keyUp(kKeyH);
  EXPECT_FALSE(s->Label6.Visible);
  EXPECT_EQ(s->Image1.Top, top);
  EXPECT_TRUE(s->Timer1.Enabled());
}

TEST(Keys, EveryOtherKeyAndAClickEndTheRunWithOneRecord) {
  // Escape, space, the main keyboard's +, Shift, Ctrl, Alt, letters, and a click.
  for (int code : {27, 32, 187, 16, 17, 18, 65, 13, 0, 113}) {
    Saver s;
    s.load();
    s->keyUp(code);
    EXPECT_TRUE(s->unloaded()) << code;
    EXPECT_EQ(readFile(s.log()).find("0 cm "), std::string(kLogBanner).size() + 2) << code;
  }
  Saver s;
  s.load();
  s->clickAt(1, 1);
  EXPECT_TRUE(s->unloaded());
}

TEST(Keys, QOpensTheAddressThenEnds) {
  Saver s;
  s.load();
  s->keyUp(kKeyQ);
  EXPECT_EQ(s.services.opened, std::vector<std::string>{"https://korvek.example"});
  EXPECT_TRUE(s->unloaded());
  EXPECT_NE(readFile(s.log()).find("0 cm "), std::string::npos);
}

TEST(Keys, ClicksOnALabelOrTheWalkerDoNothing) {
  Saver s;
  s.load();
  s->advanceBy(100);
  s->clickAt(s->Label1.Left + 5, s->Label1.Top + 5);
  s->clickAt(s->Label2.Left + 600, s->Label2.Top + 250);  // inside the fixed 615 × 255 box
  s->clickAt(s->Label6.Left + 1, s->Label6.Top + 1);
  s->clickAt(s->Image1.Left + 1, s->Image1.Top + 1);
  EXPECT_FALSE(s->unloaded());
  s->clickAt(s->Label7.Left + 1, s->Label7.Top + 1);  // hidden: a click on the window
  EXPECT_TRUE(s->unloaded());
}

TEST(Keys, AClickOnALineIsAClickOnTheWindow) {
  Saver s;
  s.load();
  s->clickAt(1, s->Line1.Y1);
  EXPECT_TRUE(s->unloaded());
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

}  // namespace
}  // namespace tw::test
