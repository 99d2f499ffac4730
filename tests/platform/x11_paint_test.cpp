// The scene window on a real X server (Xvfb, started by tests/lib/xvfb.sh): what
// the server shows in the window must be, pixel for pixel, what paintScene
// draws for the scene at that moment, however the saver got it there (boxes
// painted a tile at a time and put straight into the window, the black ground
// filled by the server after an expose).
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRasterWindow>
#include <QScreen>
#include <utility>

#include "platform/paint/scene_paint.h"
#include "platform/driver/saver.h"
#include "platform/surface/x11_surface.h"
#include "tests/platform/offscreen_services.h"

namespace tw::platform {
namespace {

// Runs the events for `ms` milliseconds of real time.
void runFor(int ms) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (elapsed.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A window that leaves white behind wherever the saver does not paint again.
class White : public QRasterWindow {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(0, 0), size()), Qt::white);
  }
};

class OnX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    services = std::make_unique<test::OffscreenServices>(time, screen.width(), screen.height(), 12 * 3600 * 1000,
                                                         folder.path().toStdString());
    saver = std::make_unique<Saver>(*services, time);
    ASSERT_TRUE(saver->start());
    saver->awaitFirstFrame(5000);
    ASSERT_TRUE(saver->window()->painted());
  }

  // The window as the X server holds it, and the scene as paintScene draws it.
  void expectScreenShowsTheScene(const char* when) {
    SCOPED_TRACE(when);
    SceneWindow& window = *saver->window();
    const QImage shown = window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    // At a scale (QT_SCALE_FACTOR, set by its add_test) the
    // server holds device pixels: the scene is drawn at that ratio.
    QImage drawn(window.size() * window.devicePixelRatio(), QImage::Format_RGB32);
    drawn.setDevicePixelRatio(window.devicePixelRatio());
    drawn.fill(Qt::white);
    {
      QPainter painter(&drawn);
      paintScene(painter, std::as_const(saver->core()).scene(), sprites, services->fonts(),
                 QRect(QPoint(0, 0), window.size()));
    }
    ASSERT_EQ(shown.size(), drawn.size());
    int wrong = 0;
    QRect where;
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x)
        if ((shown.pixel(x, y) & 0xffffff) != (drawn.pixel(x, y) & 0xffffff)) {
          ++wrong;
          where |= QRect(x, y, 1, 1);
        }
    EXPECT_EQ(wrong, 0) << "pixels differ within " << where.x() << "," << where.y() << " " << where.width() << "x"
                        << where.height();
  }

  QTemporaryDir folder;
  VirtualTime time;
  std::unique_ptr<test::OffscreenServices> services;
  std::unique_ptr<Saver> saver;
  SpriteSet sprites;
};

TEST_F(OnX11, PaintsStraightIntoTheWindow) {
  // Straight to the server at scale 1; through Qt's backing store at others.
  EXPECT_EQ(dynamic_cast<const X11Surface*>(saver->window()->surface()) != nullptr,
            saver->window()->devicePixelRatio() == 1.0);
}

TEST_F(OnX11, FirstFrameIsTheScene) { expectScreenShowsTheScene("first frame"); }

TEST_F(OnX11, EveryMomentOfTheWalkIsTheScene) {
  // Over three seconds: steps, new walking pictures, the clock's seconds and
  // the distance figure changing.
  for (int i = 0; i < 12; ++i) {
    runFor(250);
    expectScreenShowsTheScene(("after " + std::to_string((i + 1) * 250) + " ms").c_str());
    if (HasFailure()) return;
  }
}

TEST_F(OnX11, AnExposedWindowIsPaintedAgain) {
  runFor(300);
  // A window appears over nearly all of the saver and goes away again: the
  // server forgets what was under it, and the saver paints it anew, ground
  // and elements.
  White over;
  over.setFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  over.setGeometry(QRect(QPoint(0, 0), saver->window()->size()).adjusted(8, 8, -8, -8));
  over.show();
  runFor(300);
  over.hide();
  runFor(300);
  expectScreenShowsTheScene("after an expose");
}

}  // namespace
}  // namespace tw::platform
