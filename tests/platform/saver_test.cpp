#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/driver/saver.h"
#include "platform/driver/tick_observer.h"
#include "tests/platform/offscreen_services.h"

namespace tw::platform {
namespace {

// Notes, whenever the core reads the time of day, whether the saver's window was
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
  VirtualTime time;
  WatchingServices services(time, 1024, 768, 12 * 3600 * 1000, folder.path().toStdString());
  Saver saver(services, time);
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

// Notes what the driver tells its observer, in order.
class RecordingObserver : public TickObserver {
 public:
  void beforeTick(const Timers& timers, int64_t nowNs) override {
    const int64_t nowMs = nowNs / kNsPerMs;
    bool anyDue = false;
    for (TimerId id : kTimerIds) anyDue = anyDue || (timers[id].running() && timers[id].due() <= nowMs);
    calls.push_back(anyDue ? "before, due" : "before, none due");
    tickTimesNs.push_back(nowNs);
  }
  void afterTick(const Timers&) override { calls.push_back("after"); }
  void firstFrame() override { calls.push_back("first frame"); }

  static constexpr int64_t kNsPerMs = 1'000'000;
  std::vector<std::string> calls;
  std::vector<int64_t> tickTimesNs;
};

// The seam the benchmark build's trace hangs on: every clock event the driver
// hands the core is announced before and after, with a timer due, and the
// first picture once.
TEST(SaverObserver, HearsTheFirstFrameOnceAndEveryTickBeforeAndAfter) {
  constexpr int kTicksWanted = 3;
  constexpr int kLimitMs = 20000;
  constexpr int kStepMs = 10;
  QTemporaryDir folder;
  VirtualTime time;
  test::OffscreenServices services(time, 1024, 768, 12 * 3600 * 1000, folder.path().toStdString());
  RecordingObserver observer;
  Saver saver(services, time, &observer);
  ASSERT_TRUE(saver.start());
  saver.awaitFirstFrame(kLimitMs);
  QElapsedTimer waited;
  waited.start();
  while (observer.tickTimesNs.size() < kTicksWanted && waited.elapsed() < kLimitMs)
    QCoreApplication::processEvents(QEventLoop::AllEvents, kStepMs);
  ASSERT_GE(observer.tickTimesNs.size(), size_t{kTicksWanted});

  EXPECT_EQ(std::count(observer.calls.begin(), observer.calls.end(), "first frame"), 1);
  std::vector<std::string> ticks;
  for (const std::string& call : observer.calls)
    if (call != "first frame") ticks.push_back(call);
  EXPECT_EQ(ticks.size() % 2, 0u);
  for (size_t i = 0; i + 1 < ticks.size(); i += 2) {
    EXPECT_EQ(ticks[i], "before, due") << "call " << i;
    EXPECT_EQ(ticks[i + 1], "after") << "call " << i + 1;
  }
  EXPECT_TRUE(std::is_sorted(observer.tickTimesNs.begin(), observer.tickTimesNs.end()));
  // The core was moved to the last announced time, in whole milliseconds.
  EXPECT_GE(time.now(), observer.tickTimesNs.back() / RecordingObserver::kNsPerMs);
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

  // A key event as the window system delivers it to `to` (the scene window
  // unless said otherwise); `native` is its keysym, 0 as on the offscreen
  // platform.
  void key(QEvent::Type type, int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier, bool repeat = false,
           quint32 native = 0, QWindow* to = nullptr) {
    QKeyEvent event(type, qtKey, mods, 0, native, 0, QString(), repeat);
    QCoreApplication::sendEvent(to ? to : saver.window(), &event);
  }
  void tap(int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier, quint32 native = 0, QWindow* to = nullptr) {
    key(QEvent::KeyPress, qtKey, mods, false, native, to);
    key(QEvent::KeyRelease, qtKey, mods, false, native, to);
  }
  void click(QPoint at, QWindow* to = nullptr, Qt::MouseButton button = Qt::LeftButton) {
    QWindow* w = to ? to : saver.window();
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), button, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
  }
  void move(QPoint at, QWindow* to) {
    QMouseEvent event(QEvent::MouseMove, at, to->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &event);
  }
  // A cover as the saver makes one for a screen besides the primary; the
  // offscreen platform has one screen, so it covers that one.
  std::unique_ptr<CoverWindow> cover() {
    auto made =
        std::make_unique<CoverWindow>(saver, QGuiApplication::primaryScreen(), saver.window()->icon());
    made->showOnItsScreen();
    return made;
  }

  QTemporaryDir folder;
  VirtualTime time;
  test::OffscreenServices services{time, 1024, 768, 12 * 3600 * 1000, folder.path().toStdString()};
  Saver saver{services, time};
};

TEST_F(SaverEvents, StartLoadsTheWindowShowsItAndPreparesTheLog) {
  EXPECT_TRUE(saver.window()->isVisible());
  EXPECT_EQ(saver.core().scene().message.caption(), "Press F1 for Help");
  EXPECT_EQ(records(), 0);
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

// Qt's Wayland support gives keypad + as Key_Plus without KeypadModifier; only
// the keysym tells it from the main keyboard's +.
TEST_F(SaverEvents, KeypadPlusKnownByItsKeysymShowsTheReport) {
  constexpr quint32 kKeysymKpAdd = 0xffab;
  tap(Qt::Key_Plus, Qt::NoModifier, kKeysymKpAdd);
  EXPECT_FALSE(saver.finished());
  EXPECT_EQ(saver.core().scene().message.caption().rfind("On file", 0), 0u) << saver.core().scene().message.caption();
  EXPECT_EQ(records(), 0);
}

TEST_F(SaverEvents, ClickOnTheClockBelongsToTheClock) {
  const Label& clock = saver.core().scene().clock;
  click(QPoint(static_cast<int>(std::ceil(clock.left / 15)) + 2, static_cast<int>(std::ceil(clock.top / 15)) + 2));
  EXPECT_FALSE(saver.finished());
}

TEST_F(SaverEvents, MouseMovesOnAnyWindowNeverEndTheRun) {
  auto c = cover();
  for (QPoint at : {QPoint(0, 0), QPoint(300, 200), QPoint(1023, 767)}) {
    move(at, c.get());
    move(at, saver.window());
  }
  EXPECT_FALSE(saver.finished());
  EXPECT_EQ(records(), 0);
}

// The desktop may give the keyboard to a cover (on Wayland, the focused
// output's window): keys there are the saver's keys all the same.
TEST_F(SaverEvents, F1AndKeypadPlusOnACoverAreCommands) {
  auto c = cover();
  tap(Qt::Key_F1, Qt::NoModifier, 0, c.get());
  EXPECT_NE(saver.core().scene().message.caption().find("Key    Function"), std::string::npos);
  tap(Qt::Key_Plus, Qt::NoModifier, 0xffab, c.get());
  EXPECT_EQ(saver.core().scene().message.caption().rfind("On file", 0), 0u) << saver.core().scene().message.caption();
  EXPECT_FALSE(saver.finished());
}

// The press went to the scene window and the release to a cover once the focus
// moved there: the focus loss forgets the key, so its release is no command.
TEST_F(SaverEvents, KeyHeldWhileTheFocusMovesToACoverIsForgotten) {
  auto c = cover();
  key(QEvent::KeyPress, Qt::Key_Escape);
  QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  QCoreApplication::sendEvent(saver.window(), &out);
  key(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, false, 0, c.get());
  EXPECT_FALSE(saver.finished());
  tap(Qt::Key_Escape, Qt::NoModifier, 0, c.get());
  EXPECT_TRUE(saver.finished());
  EXPECT_EQ(records(), 1);
}

TEST_F(SaverEvents, ACoverHeldAcrossAFocusLossForgetsItsKeysToo) {
  auto c = cover();
  key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, false, 0, c.get());
  QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  QCoreApplication::sendEvent(c.get(), &out);
  key(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, false, 0, c.get());
  EXPECT_FALSE(saver.finished());
}

TEST_F(SaverEvents, ACoverIsABlackFullScreenFramelessWindowOnItsScreen) {
  auto c = cover();
  EXPECT_TRUE(c->isVisible());
  EXPECT_EQ(c->screen(), QGuiApplication::primaryScreen());
  EXPECT_EQ(c->coveredScreen(), QGuiApplication::primaryScreen());
  EXPECT_EQ(c->geometry(), QGuiApplication::primaryScreen()->geometry());
  EXPECT_EQ(c->windowStates(), Qt::WindowFullScreen);
  EXPECT_TRUE(c->flags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(c->flags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(c->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(SaverEvents, OneScreenGetsNoCover) { EXPECT_TRUE(saver.covers().empty()); }

// What ends a run: a key (Q opening the maker's address first), a click on
// the ground, on a cover, of either button; an end asked from outside (a
// signal), as a key's end; and an end asked while a box is open, which closes
// it: the report's box, with the record, or a run-time error's (shown once
// the error ended the run), with none and a failure. A box is modal but holds
// no handler: the saver's loop runs on while it is open. Once the run has
// ended, nothing reaches the core: no end, key or click adds a record.
class SaverEnds;
struct EndCase {
  const char* name;
  void (*act)(SaverEnds&);
  bool box;
  int exitCode, records;
  std::vector<std::string> opened;
};

class SaverEnds : public SaverEvents, public ::testing::WithParamInterface<EndCase> {
 public:
  using SaverEvents::click;
  using SaverEvents::cover;
  using SaverEvents::logPath;
  using SaverEvents::saver;
  using SaverEvents::tap;
};

TEST_P(SaverEnds, EndTheRunAndCloseEveryWindow) {
  const EndCase& c = GetParam();
  services.realBoxes = true;
  c.act(*this);
  bool boxWasOpen = false;
  QElapsedTimer waited;
  waited.start();
  while (!saver.finished() && waited.elapsed() < 10'000) {
    if (!boxWasOpen && QApplication::activeModalWidget()) {
      boxWasOpen = true;
      saver.requestEnd();
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  EXPECT_EQ(boxWasOpen, c.box);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the box stayed open";
  EXPECT_EQ(services.boxes.size(), c.box ? 1u : 0u);
  EXPECT_TRUE(saver.finished());
  EXPECT_FALSE(saver.window()->isVisible());
  saver.requestEnd();
  tap(Qt::Key_Escape);
  click(QPoint(5, 700));
  EXPECT_EQ(saver.exitCode(), c.exitCode);
  EXPECT_EQ(records(), c.records);
  EXPECT_EQ(services.opened, c.opened);
}

INSTANTIATE_TEST_SUITE_P(
    EveryWay, SaverEnds,
    ::testing::Values(
        EndCase{"Escape", [](SaverEnds& t) { t.tap(Qt::Key_Escape); }, false, 0, 1, {}},
        EndCase{"RequestedEnd", [](SaverEnds& t) { t.saver.requestEnd(); }, false, 0, 1, {}},
        EndCase{"MainKeyboardPlus", [](SaverEnds& t) { t.tap(Qt::Key_Plus); }, false, 0, 1, {}},
        EndCase{"Q", [](SaverEnds& t) { t.tap(Qt::Key_Q); }, false, 0, 1, {"https://korvek.example"}},
        EndCase{"ClickOnEmptyGround", [](SaverEnds& t) { t.click(QPoint(5, 700)); }, false, 0, 1, {}},
        EndCase{"ClickOnACover", [](SaverEnds& t) { t.click(QPoint(5, 5), t.cover().get()); }, false, 0, 1, {}},
        EndCase{"RightClickOnACover",
                [](SaverEnds& t) { t.click(QPoint(700, 500), t.cover().get(), Qt::RightButton); }, false, 0, 1, {}},
        EndCase{"EscapeOnACover", [](SaverEnds& t) { t.tap(Qt::Key_Escape, Qt::NoModifier, 0, t.cover().get()); },
                false, 0, 1, {}},
        EndCase{"EndWhileTheReportsBoxIsOpen",
                [](SaverEnds& t) {
                  QFile::remove(t.logPath());
                  t.tap(Qt::Key_Plus, Qt::KeypadModifier);
                },
                true, 0, 1, {}},
        EndCase{"EndWhileARunTimeErrorsBoxIsOpen",
                [](SaverEnds& t) {
                  tw::test::Stage stage(t.saver.core());
                  stage.setFallsEnabled(false);
                  stage.setWalk(Direction::Leftward, 8);  // the next walk picture, 9, does not exist
                },
                true, 1, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The three ending signals, sent to this thread, which EndSignals blocks;
// every test drains and unblocks them again, so none reaches the test
// program's default action.
void unblockEndSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

TEST(SaverSignals, EachEndingSignalEndsTheRunWithOneRecord) {
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(signal));
    QTemporaryDir folder;
    VirtualTime time;
    test::OffscreenServices services{time, 1024, 768, 12 * 3600 * 1000,
                                     folder.path().toStdString()};
    {
      EndSignals endSignals;
      endSignals.open();
      ASSERT_GE(endSignals.fd(), 0);
      Saver saver{services, time};
      saver.endOn(endSignals);
      ASSERT_TRUE(saver.start());
      ASSERT_EQ(raise(signal), 0);
      ASSERT_EQ(raise(signal), 0);
      QElapsedTimer waited;
      waited.start();
      while (!saver.finished() && waited.elapsed() < 10'000) QCoreApplication::processEvents();
      EXPECT_TRUE(saver.finished());
      EXPECT_EQ(saver.exitCode(), 0);
      EXPECT_FALSE(endSignals.take()) << "a signal was left unread";
    }
    unblockEndSignals();
    QFile file(QDir(folder.path()).filePath(QStringLiteral("walked.log")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), 2) << "the banner and one record";
  }
}

// The heartbeat goes with the ticks: about once a second, never once a tick.
TEST(SaverHeartbeat, BeatsAboutOnceASecondFromTheEventLoop) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
  QTemporaryDir folder;
  VirtualTime time;
  test::OffscreenServices services{time, 1024, 768, 12 * 3600 * 1000, folder.path().toStdString()};
  Heartbeat heartbeat(ends[1]);
  Saver saver{services, time};
  saver.beatTo(heartbeat);
  ASSERT_TRUE(saver.start());
  QElapsedTimer waited;
  waited.start();
  int beats = 0;
  char bytes[64];
  while (beats < 3 && waited.elapsed() < 20'000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    const ssize_t n = ::read(ends[0], bytes, sizeof bytes);
    if (n > 0) beats += static_cast<int>(n);
  }
  const int64_t seconds = waited.elapsed() / 1000;
  EXPECT_GE(beats, 3);
  EXPECT_LE(beats, seconds + 2) << "more than one beat a second";
  ::close(ends[0]);
}

// The saver on two screens: ctest runs these on an offscreen platform
// configured with two (two_screens.json) and says so in
// TRENCHWALK_TEST_SCREENS; elsewhere they have nothing to test.
class SaverTwoScreens : public SaverEvents {
 protected:
  void SetUp() override {
    const int expected = qEnvironmentVariableIntValue("TRENCHWALK_TEST_SCREENS");
    if (expected == 0 && QGuiApplication::screens().size() < 2) GTEST_SKIP() << "one screen only";
    ASSERT_EQ(QGuiApplication::screens().size(), expected);
    SaverEvents::SetUp();
    ASSERT_EQ(saver.covers().size(), 1u);
  }
  QScreen* second() const { return QGuiApplication::screens().at(1); }
  CoverWindow* theCover() { return saver.covers().front().get(); }
};

TEST_F(SaverTwoScreens, TheSceneGoesOnThePrimaryAndABlackCoverOnTheOther) {
  QScreen* primary = QGuiApplication::primaryScreen();
  ASSERT_NE(second(), primary);
  EXPECT_EQ(saver.window()->screen(), primary);
  EXPECT_EQ(saver.window()->geometry(), primary->geometry());
  CoverWindow* c = theCover();
  EXPECT_TRUE(c->isVisible());
  EXPECT_EQ(c->screen(), second());
  EXPECT_EQ(c->coveredScreen(), second());
  EXPECT_EQ(c->geometry(), second()->geometry());
  EXPECT_EQ(c->windowStates(), Qt::WindowFullScreen);
  EXPECT_TRUE(c->flags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(c->flags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(SaverTwoScreens, TheSceneWindowHasTheKeyboardAtTheStart) {
  QCoreApplication::processEvents();
  EXPECT_EQ(QGuiApplication::focusWindow(), saver.window());
}

TEST_F(SaverTwoScreens, F1AndKeypadPlusOnTheCoverAreCommands) {
  tap(Qt::Key_F1, Qt::NoModifier, 0, theCover());
  EXPECT_NE(saver.core().scene().message.caption().find("Key    Function"), std::string::npos);
  tap(Qt::Key_Plus, Qt::KeypadModifier, 0xffab, theCover());
  EXPECT_EQ(saver.core().scene().message.caption().rfind("On file", 0), 0u) << saver.core().scene().message.caption();
  EXPECT_FALSE(saver.finished());
  EXPECT_EQ(records(), 0);
}

TEST_F(SaverTwoScreens, EscapeOnTheCoverEndsTheRunAndClosesEveryWindow) {
  tap(Qt::Key_Escape, Qt::NoModifier, 0, theCover());
  EXPECT_TRUE(saver.finished());
  EXPECT_EQ(records(), 1);
  EXPECT_FALSE(saver.window()->isVisible());
  EXPECT_FALSE(theCover()->isVisible());
}

TEST_F(SaverTwoScreens, AClickOnTheCoverEndsTheRun) {
  click(QPoint(400, 300), theCover());
  EXPECT_TRUE(saver.finished());
  EXPECT_EQ(records(), 1);
  EXPECT_FALSE(theCover()->isVisible());
}

// As sway does with an XWayland window when another output has the focus.
TEST_F(SaverTwoScreens, TheSceneMovedToTheOtherScreenSwapsTheCover) {
  QScreen* primary = QGuiApplication::primaryScreen();
  saver.window()->setScreen(second());
  ASSERT_EQ(saver.covers().size(), 1u);
  EXPECT_EQ(theCover()->coveredScreen(), primary);
  EXPECT_EQ(theCover()->geometry(), primary->geometry());
  EXPECT_TRUE(theCover()->isVisible());
  const QPointer<CoverWindow> former = theCover();
  saver.window()->setScreen(primary);
  ASSERT_EQ(saver.covers().size(), 1u);
  EXPECT_EQ(theCover()->coveredScreen(), second());
  EXPECT_TRUE(former.isNull()) << "the cover of the screen the scene took is still there";
  tap(Qt::Key_Escape, Qt::NoModifier, 0, theCover());
  EXPECT_TRUE(saver.finished());
  EXPECT_EQ(records(), 1);
}

TEST_F(SaverTwoScreens, MovesOverTheCoverDoNothing) {
  move(QPoint(10, 10), theCover());
  move(QPoint(790, 590), theCover());
  EXPECT_FALSE(saver.finished());
}

}  // namespace
}  // namespace tw::platform
