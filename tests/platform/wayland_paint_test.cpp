// The scene window on a real compositor (a headless sway, started by
// wayland_paint.sh): the boxes go into buffers of the saver's own, at most two
// the window's size, and each commit damages only what changed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <utility>

#include "platform/saver.h"
#include "platform/scene_paint.h"
#include "tests/platform/offscreen_services.h"

namespace tw::platform {
namespace {

// How long a test waits for a commit before it gives up, by the clock; the
// saver commits ten times a second.
constexpr int kCommitLimitMs = 3000;
constexpr int kStepMs = 5;
constexpr int kTicksWatched = 20;
constexpr int kMostFullBuffers = 2;

class OnWayland : public ::testing::Test {
 protected:
  void SetUp() override {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    services = std::make_unique<test::OffscreenServices>(clock, screen.width(), screen.height(), 12 * 3600 * 1000,
                                                         folder.path().toStdString());
    saver = std::make_unique<Saver>(*services, clock);
    ASSERT_TRUE(saver->start());
    saver->awaitFirstFrame(5000);
    ASSERT_TRUE(saver->window()->painted());
  }

  const WaylandSurface& surface() { return *saver->window()->wayland(); }

  // Runs the events until the surface has committed once more; the scene as
  // it was before and after.
  bool nextCommit(SceneSnapshot& before, SceneSnapshot& after) {
    const Scene& scene = std::as_const(saver->core()).scene();
    const int commits = surface().commits();
    QElapsedTimer waited;
    waited.start();
    while (surface().commits() == commits) {
      if (waited.elapsed() > kCommitLimitMs) return false;
      before = snapshotScene(scene, saver->window()->devicePixelRatio());
      QCoreApplication::processEvents(QEventLoop::AllEvents, kStepMs);
    }
    after = snapshotScene(scene, saver->window()->devicePixelRatio());
    return surface().commits() == commits + 1;
  }

  QTemporaryDir folder;
  Clock clock;
  std::unique_ptr<test::OffscreenServices> services;
  std::unique_ptr<Saver> saver;
};

TEST_F(OnWayland, PaintsIntoBuffersOfItsOwn) {
  ASSERT_NE(saver->window()->wayland(), nullptr);
  EXPECT_GE(surface().commits(), 1);
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
      allowed += QRect((QPointF(r.topLeft()) * scale).toPoint(), (QSizeF(r.size()) * scale).toSize());
    const QRegion damage = surface().lastDamage();
    EXPECT_FALSE(damage.isEmpty());
    EXPECT_TRUE((damage - allowed).isEmpty())
        << "tick " << i << ": damage " << damage.boundingRect().x() << "," << damage.boundingRect().y() << " "
        << damage.boundingRect().width() << "x" << damage.boundingRect().height() << " beyond the changed boxes";
  }
  EXPECT_EQ(ticks, kTicksWatched) << "most commits sent the whole window";
}

}  // namespace
}  // namespace tw::platform
