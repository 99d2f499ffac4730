// The scene window on a real compositor (a headless sway, started by
// wayland_paint.sh, its first output at scale 2 and a second one for a cover):
// the boxes go into buffers of the saver's own, at most two the window's size;
// every buffer committed holds, pixel for pixel, what paintScene draws for the
// scene at that moment; each commit damages only what changed; a cover commits
// one black buffer and never again.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QScreen>
#include <string>
#include <utility>

#include "platform/paint/scene_paint.h"
#include "platform/windows/saver.h"
#include "tests/platform/offscreen_services.h"

namespace tw::platform {
namespace {

// How long a test waits for a commit before it gives up, by the clock; the
// saver commits ten times a second.
constexpr int kCommitLimitMs = 3000;
constexpr int kStepMs = 5;
constexpr int kTicksWatched = 20;
constexpr int kMostFullBuffers = 2;
// The scale wayland_paint.sh gives the scene's output.
constexpr qreal kOutputScale = 2;

class OnWayland : public ::testing::Test {
 protected:
  void SetUp() override {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    services = std::make_unique<test::OffscreenServices>(
        time, screen.width(), screen.height(), 12 * 3600 * 1000, folder.path().toStdString());
    saver = std::make_unique<Saver>(*services, time);
    ASSERT_TRUE(saver->start());
    saver->awaitFirstFrame(5000);
    ASSERT_TRUE(saver->window()->painted());
    // The window learns its output's scale once the compositor says which
    // output it is on, after the first frame: the tests watch from the first
    // picture at that scale.
    QElapsedTimer waited;
    waited.start();
    while (!settled() && waited.elapsed() < kCommitLimitMs)
      QCoreApplication::processEvents(QEventLoop::AllEvents, kStepMs);
  }

  bool settled() const {
    const WaylandSurface* s = saver->window()->wayland();
    return s && s->fits() &&
           s->lastPicture().devicePixelRatio() == saver->window()->devicePixelRatio() &&
           saver->window()->devicePixelRatio() == kOutputScale;
  }

  const WaylandSurface& surface() { return *saver->window()->wayland(); }

  // Runs the events until the surface has committed again, with no change
  // left waiting for a buffer; the scene as it was before and after. Two ticks
  // can fall into one wait on a busy machine.
  bool nextCommit(SceneSnapshot& before, SceneSnapshot& after) {
    const Scene& scene = std::as_const(saver->core()).scene();
    const int commits = surface().commits();
    QElapsedTimer waited;
    waited.start();
    while (surface().commits() == commits || surface().waiting()) {
      if (waited.elapsed() > kCommitLimitMs) {
        ADD_FAILURE() << "no commit within " << kCommitLimitMs << " ms";
        return false;
      }
      // The scene as last shown, up to the event that changes it.
      if (surface().commits() == commits && !surface().waiting())
        before = snapshotScene(scene, saver->window()->devicePixelRatio());
      QCoreApplication::processEvents(QEventLoop::AllEvents, kStepMs);
    }
    after = snapshotScene(scene, saver->window()->devicePixelRatio());
    return true;
  }

  // The picture last committed, and the scene as paintScene draws it now.
  void expectPictureIsTheScene(int tick) {
    SCOPED_TRACE("commit " + std::to_string(tick));
    const QImage shown = surface().lastPicture();
    ASSERT_FALSE(shown.isNull());
    QImage drawn(shown.size(), QImage::Format_RGB32);
    drawn.setDevicePixelRatio(shown.devicePixelRatio());
    drawn.fill(Qt::white);
    {
      QPainter painter(&drawn);
      paintScene(painter, std::as_const(saver->core()).scene(), sprites, services->fonts(),
                 QRect(QPoint(0, 0), saver->window()->size()));
    }
    int wrong = 0;
    QRect where;
    for (int y = 0; y < drawn.height(); ++y) {
      const auto* a = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
      const auto* b = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
      for (int x = 0; x < drawn.width(); ++x)
        if ((a[x] & 0xffffff) != (b[x] & 0xffffff)) {
          ++wrong;
          where |= QRect(x, y, 1, 1);
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels differ within " << where.x() << "," << where.y() << " "
                        << where.width() << "x" << where.height();
  }

  QTemporaryDir folder;
  VirtualTime time;
  std::unique_ptr<test::OffscreenServices> services;
  std::unique_ptr<Saver> saver;
  SpriteSet sprites;
};

TEST_F(OnWayland, PaintsIntoBuffersOfItsOwn) {
  ASSERT_NE(saver->window()->wayland(), nullptr);
  EXPECT_GE(surface().commits(), 1);
}

TEST_F(OnWayland, PaintsAtTheOutputsWholeScale) {
  ASSERT_NE(saver->window()->wayland(), nullptr);
  EXPECT_EQ(saver->window()->devicePixelRatio(), kOutputScale);
  EXPECT_EQ(surface().lastPicture().size(), saver->window()->size() * kOutputScale);
}

TEST_F(OnWayland, EveryBufferCommittedIsTheScene) {
  ASSERT_NE(saver->window()->wayland(), nullptr);
  expectPictureIsTheScene(0);
  SceneSnapshot before, after;
  // Over two seconds: steps, new walking pictures, the clock's seconds, each
  // buffer brought up to date with what the other showed meanwhile.
  for (int i = 1; i <= kTicksWatched; ++i) {
    ASSERT_TRUE(nextCommit(before, after)) << "no commit after tick " << i;
    expectPictureIsTheScene(i);
    if (HasFailure()) return;
  }
}

TEST_F(OnWayland, ACoverCommitsOneBlackBufferOnce) {
  ASSERT_EQ(saver->covers().size(), 1u) << "wayland_paint.sh gives sway two outputs";
  SceneSnapshot before, after;
  for (int i = 0; i < kTicksWatched; ++i)
    ASSERT_TRUE(nextCommit(before, after)) << "no commit after tick " << i;
  const WaylandSurface* cover = saver->covers().front()->wayland();
  ASSERT_NE(cover, nullptr);
  EXPECT_EQ(cover->commits(), 1);
  EXPECT_EQ(cover->fullBuffers(), 1);
}

TEST_F(OnWayland, HoldsAtMostTwoWindowSizedBuffers) {
  ASSERT_NE(saver->window()->wayland(), nullptr);
  SceneSnapshot before, after;
  for (int i = 0; i < kTicksWatched; ++i) {
    ASSERT_TRUE(nextCommit(before, after)) << "no commit after tick " << i;
    EXPECT_LE(surface().fullBuffers(), kMostFullBuffers);
  }
}

TEST_F(OnWayland, EachCommitDamagesOnlyTheBoxesThatChanged) {
  ASSERT_NE(saver->window()->wayland(), nullptr);
  const qreal scale = saver->window()->devicePixelRatio();
  const QRect window(QPoint(0, 0), saver->window()->size() * scale);
  SceneSnapshot before, after;
  int ticks = 0;
  for (int i = 0; i < 2 * kTicksWatched && ticks < kTicksWatched; ++i) {
    ASSERT_TRUE(nextCommit(before, after)) << "no commit after tick " << i;
    // An expose (the compositor's configure at the start) sends the whole
    // window, and only an expose does.
    if (surface().lastDamage() == QRegion(window)) continue;
    ++ticks;
    const QRegion changed = changedRegion(before, after);
    ASSERT_FALSE(changed.isEmpty()) << "a commit with nothing changed, tick " << i;
    QRegion allowed;
    for (const QRect& r : changed)
      allowed +=
          QRect((QPointF(r.topLeft()) * scale).toPoint(), (QSizeF(r.size()) * scale).toSize());
    const QRegion damage = surface().lastDamage();
    EXPECT_FALSE(damage.isEmpty());
    EXPECT_TRUE((damage - allowed).isEmpty())
        << "tick " << i << ": damage " << damage.boundingRect().x() << ","
        << damage.boundingRect().y() << " " << damage.boundingRect().width() << "x"
        << damage.boundingRect().height() << " beyond the changed boxes";
  }
  EXPECT_EQ(ticks, kTicksWatched) << "most commits sent the whole window";
}

}  // namespace
}  // namespace tw::platform
