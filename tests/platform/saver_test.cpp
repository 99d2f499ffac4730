#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QMouseEvent>
#include <cmath>

#include "platform/saver.h"
#include "tests/platform/offscreen_services.h"

namespace tw::platform {
namespace {

// Notes, whenever the core reads the clock, whether the saver's window was
// on the screen then.
class WatchingServices : public test::OffscreenServices {
 public:
  using OffscreenServices::OffscreenServices;
  LocalTime localTime() override {
    if (watched) shownAtClockReads.push_back(watched->isVisible());
    return OffscreenServices::localTime();
  }
  QWindow* watched = nullptr;
  std::vector<bool> shownAtClockReads;
};

TEST(SaverStart, LoadRunsBeforeTheWindowIsShown) {
  QTemporaryDir folder;
  Clock clock;
  WatchingServices services(clock, 1024, 768, 12 * 3600 * 1000, folder.path().toStdString());
  Saver saver(services, clock);
  services.watched = saver.window();
  ASSERT_TRUE(saver.start());
  ASSERT_FALSE(services.shownAtClockReads.empty());
  EXPECT_FALSE(services.shownAtClockReads.front());
  EXPECT_TRUE(saver.window()->isVisible());
  EXPECT_TRUE(saver.window()->flags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(saver.window()->flags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(saver.window()->geometry(), QGuiApplication::primaryScreen()->geometry());
  EXPECT_EQ(saver.window()->cursor().shape(), Qt::BitmapCursor);
  EXPECT_EQ(saver.window()->cursor().hotSpot(), QPoint(0, 0));
}

// The saver's windows on the offscreen platform, fed events by hand.
class SaverEvents : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(saver.start()); }

  QString logPath() const { return QDir(folder.path()).filePath(QStringLiteral("walked.log")); }
  int records() {
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly)) return -1;
    return static_cast<int>(file.readAll().count("\r\n")) - 1;  // less the banner
  }

  void key(QEvent::Type type, int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier, bool repeat = false) {
    QKeyEvent event(type, qtKey, mods, QString(), repeat);
    QCoreApplication::sendEvent(saver.window(), &event);
  }
  void tap(int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    key(QEvent::KeyPress, qtKey, mods);
    key(QEvent::KeyRelease, qtKey, mods);
  }
  void click(QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, saver.window()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(saver.window(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, saver.window()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(saver.window(), &release);
  }

  QTemporaryDir folder;
  Clock clock;
  test::OffscreenServices services{clock, 1024, 768, 12 * 3600 * 1000, folder.path().toStdString()};
  Saver saver{services, clock};
};

TEST_F(SaverEvents, StartLoadsTheWindowShowsItAndPreparesTheLog) {
  EXPECT_TRUE(saver.window()->isVisible());
  EXPECT_EQ(saver.core().scene().message.caption(), "Press F1 for Help");
  EXPECT_EQ(records(), 0);
}

TEST_F(SaverEvents, EscapeEndsTheRunWithOneRecord) {
  tap(Qt::Key_Escape);
  EXPECT_TRUE(saver.finished());
  EXPECT_FALSE(saver.window()->isVisible());
  EXPECT_EQ(saver.exitCode(), 0);
  EXPECT_EQ(records(), 1);
}

TEST_F(SaverEvents, ReleaseOfAKeyPressedBeforeTheWindowIsIgnored) {
  key(QEvent::KeyRelease, Qt::Key_Return);
  EXPECT_FALSE(saver.finished());
  EXPECT_EQ(records(), 0);
}

TEST_F(SaverEvents, AutoRepeatReleasesAreIgnored) {
  key(QEvent::KeyPress, Qt::Key_Space);
  key(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, true);
  key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, true);
  EXPECT_FALSE(saver.finished());
  key(QEvent::KeyRelease, Qt::Key_Space);
  EXPECT_TRUE(saver.finished());
}

TEST_F(SaverEvents, KeysHeldWhenTheFocusWentAreForgotten) {
  key(QEvent::KeyPress, Qt::Key_Escape);
  QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  QCoreApplication::sendEvent(saver.window(), &out);
  key(QEvent::KeyRelease, Qt::Key_Escape);
  EXPECT_FALSE(saver.finished());
}

TEST_F(SaverEvents, CommandKeysKeepTheSaverRunning) {
  tap(Qt::Key_F1);
  EXPECT_NE(saver.core().scene().message.caption().find("Key    Function"), std::string::npos);
  tap(Qt::Key_D);
  EXPECT_EQ(saver.core().scene().message.caption(), "Falls = Disabled");
  tap(Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(saver.core().scene().message.caption().rfind("On file", 0), 0u) << saver.core().scene().message.caption();
  tap(Qt::Key_H);
  EXPECT_FALSE(saver.core().scene().message.visible);
  EXPECT_FALSE(saver.finished());
  EXPECT_EQ(records(), 0);
  EXPECT_TRUE(services.boxes.empty());
}

TEST_F(SaverEvents, MainKeyboardPlusEndsTheRun) {
  tap(Qt::Key_Plus);
  EXPECT_TRUE(saver.finished());
  EXPECT_EQ(records(), 1);
}

TEST_F(SaverEvents, QOpensTheAddressAndEnds) {
  tap(Qt::Key_Q);
  EXPECT_TRUE(saver.finished());
  EXPECT_EQ(services.opened, std::vector<std::string>{"https://korvek.example"});
  EXPECT_EQ(records(), 1);
}

TEST_F(SaverEvents, ClickOnEmptyGroundEnds) {
  click(QPoint(5, 700));
  EXPECT_TRUE(saver.finished());
  EXPECT_EQ(records(), 1);
}

TEST_F(SaverEvents, ClickOnTheClockBelongsToTheClock) {
  const Label& clock = saver.core().scene().clock;
  click(QPoint(static_cast<int>(std::ceil(clock.left / 15)) + 2, static_cast<int>(std::ceil(clock.top / 15)) + 2));
  EXPECT_FALSE(saver.finished());
}

TEST_F(SaverEvents, ClickOnACoverWindowCountsAsAClickOnTheForm) {
  saver.clickedOutside();
  EXPECT_TRUE(saver.finished());
  EXPECT_EQ(records(), 1);
}

TEST_F(SaverEvents, NothingReachesTheCoreAfterTheEnd) {
  tap(Qt::Key_Escape);
  ASSERT_TRUE(saver.finished());
  tap(Qt::Key_Escape);
  click(QPoint(5, 700));
  EXPECT_EQ(records(), 1);
}

}  // namespace
}  // namespace tw::platform
