// What the tests on a real display share: the saver started at the primary
// screen's size, and its scene as paintScene draws it, to hold against what
// the display shows.
#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <memory>
#include <string>
#include <utility>

#include "platform/driver/saver.h"
#include "platform/paint/scene_paint.h"
#include "tests/platform/offscreen_services.h"

namespace tw::platform::test {

// Where two pictures of one size differ: the count and the bounding box.
struct Difference {
  int pixels = 0;
  QRect where;
};
inline Difference compare(const QImage& a, const QImage& b) {
  Difference d;
  for (int y = 0; y < a.height(); ++y) {
    const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
    const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
    for (int x = 0; x < a.width(); ++x)
      if ((p[x] & 0xffffff) != (q[x] & 0xffffff)) {
        ++d.pixels;
        d.where |= QRect(x, y, 1, 1);
      }
  }
  return d;
}
inline std::string describe(const Difference& d) {
  return std::to_string(d.pixels) + " pixels differ within " + std::to_string(d.where.x()) + "," +
         std::to_string(d.where.y()) + " " + std::to_string(d.where.width()) + "x" +
         std::to_string(d.where.height());
}

// The saver on the display, its first frame painted.
class OnScreen : public ::testing::Test {
 protected:
  static constexpr int kFirstFrameLimitMs = 5000;

  void SetUp() override {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    services = std::make_unique<OffscreenServices>(time, screen.width(), screen.height(), kNoonMs,
                                                   folder.path().toStdString());
    saver = std::make_unique<Saver>(*services, time);
    ASSERT_TRUE(saver->start());
    saver->awaitFirstFrame(kFirstFrameLimitMs);
    ASSERT_TRUE(saver->window()->painted());
  }

  // The scene as paintScene draws it now, on white, in `device` pixels at `ratio`.
  QImage drawnScene(const QSize& device, qreal ratio) {
    QImage drawn(device, QImage::Format_RGB32);
    drawn.setDevicePixelRatio(ratio);
    drawn.fill(Qt::white);
    {
      QPainter painter(&drawn);
      paintScene(painter, std::as_const(saver->core()).scene(), sprites, services->fonts(),
                 QRect(QPoint(0, 0), saver->window()->size()));
    }
    return drawn;
  }

  QTemporaryDir folder;
  VirtualTime time;
  std::unique_ptr<OffscreenServices> services;
  std::unique_ptr<Saver> saver;
  SpriteSet sprites;
};

}  // namespace tw::platform::test
