// The scene window on a real X server (Xvfb, started by tests/lib/xvfb.sh): what
// the server shows in the window must be, pixel for pixel, what paintScene
// draws for the scene at that moment, however the saver got it there (boxes
// painted a tile at a time and put straight into the window, the black ground
// filled by the server after an expose).
#include <QPixmap>
#include <QRasterWindow>

#include "platform/surface/x11_surface.h"
#include "tests/platform/on_screen.h"

namespace tw::platform {
namespace {

// Runs the events for `ms` milliseconds of real time.
void runFor(int ms) { test::runEventsUntil([] { return false; }, ms); }

// A window that leaves white behind wherever the saver does not paint again.
class White : public QRasterWindow {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(0, 0), size()), Qt::white);
  }
};

class OnX11 : public test::OnScreen {
 protected:
  // The window as the X server holds it, and the scene as paintScene draws it.
  void expectScreenShowsTheScene(const char* when) {
    SCOPED_TRACE(when);
    SceneWindow& window = *saver->window();
    const QImage shown = window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    // At a scale (QT_SCALE_FACTOR, set by its add_test) the
    // server holds device pixels: the scene is drawn at that ratio.
    const QImage drawn = drawnScene(window.size() * window.devicePixelRatio(), window.devicePixelRatio());
    ASSERT_EQ(shown.size(), drawn.size());
    const test::Difference d = test::compare(shown, drawn);
    EXPECT_EQ(d.pixels, 0) << test::describe(d);
  }
};

TEST_F(OnX11, PaintsStraightIntoTheWindow) {
  // Straight to the server at scale 1; through Qt's backing store at others.
  EXPECT_EQ(dynamic_cast<const X11Surface*>(saver->window()->surface()) != nullptr,
            saver->window()->devicePixelRatio() == 1.0);
}

TEST_F(OnX11, TheFirstFrameAndEveryMomentOfTheWalkAreTheScene) {
  expectScreenShowsTheScene("first frame");
  // Over three seconds: steps, new walking pictures, the clock's seconds and
  // the distance figure changing.
  for (int i = 0; i < 12 && !HasFailure(); ++i) {
    runFor(250);
    expectScreenShowsTheScene(("after " + std::to_string((i + 1) * 250) + " ms").c_str());
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
