// trenchwalk-render: draws the scene offscreen into PNG files, on a fixed
// 1024x768 screen from a fixed time of day, for the documentation.
//
//   trenchwalk-render screenshot OUT.png   the walker mid-course with the readout
//   trenchwalk-render fall OUTDIR [STEP_MS]
//       numbered frames every STEP_MS (default 100) ms of virtual time, from
//       the trench opening until the walker is back on a new course
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>

#include "app/core.h"
#include "platform/paint/scene_paint.h"
#include "platform/paint/sprites.h"
#include "platform/driver/qt_services.h"
#include "shell/virtual_time.h"

namespace {

using tw::platform::QtServices;

constexpr int kWidth = 1024, kHeight = 768;
constexpr int64_t kSearchStep = 100;

// Real fonts, but a fixed screen, a wall clock that runs on the saver's
// virtual time, and a throw-away log folder.
class RenderServices : public QtServices {
 public:
  RenderServices(const tw::VirtualTime& time, int64_t startMs, std::string folder)
      : wall_(time, startMs), folder_(std::move(folder)) {}

  tw::Extent screenSize() override {
    return {kWidth * tw::kTwipsPerPixel, kHeight * tw::kTwipsPerPixel};
  }
  tw::LocalTime localTime() override { return wall_.localTime(); }
  std::string logFolder() override { return folder_; }
  tw::LogDisk& logDisk() override { return disk_; }
  // A box is told on the standard error stream and counts as closed at once;
  // no address is opened.
  bool openBox(const std::string& text, const std::string& title, std::function<void()>) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return false;
  }
  void openAddress(const std::string&) override {}

 private:
  // Real files, without the flush to the disk that a throw-away folder needs not.
  class UnflushedDisk : public tw::PosixLogDisk {
   public:
    int syncToDisk(const std::string&) override { return 0; }
  };

  UnflushedDisk disk_;
  tw::VirtualWallClock wall_;
  std::string folder_;
};

bool writeFrame(const tw::Scene& scene, const tw::platform::SpriteSet& sprites,
                tw::platform::FontCache& fonts, const QString& path) {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    tw::platform::paintScene(painter, scene, sprites, fonts, image.rect());
  }
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// Moves the virtual clock on, then carries out what the core asked for.
void advance(tw::Core& core, RenderServices& services, int64_t ms) {
  core.advanceBy(ms);
  while (const std::optional<tw::Request> request = core.takeRequest()) {
    services.carryOut(*request, {});
    if (tw::isBox(*request)) core.boxAnswered();
  }
}

// Steps the virtual clock until `done` holds; false when it never did.
bool advanceUntil(tw::Core& core, RenderServices& services, int64_t limitMs, const std::function<bool()>& done) {
  while (!done()) {
    if (core.now() >= limitMs || core.ended()) return false;
    advance(core, services, kSearchStep);
  }
  return true;
}

int usage() {
  std::fprintf(stderr, "usage: trenchwalk-render screenshot OUT.png | fall OUTDIR [STEP_MS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 3) return usage();
  const QString mode = QString::fromLocal8Bit(argv[1]);
  const QString target = QString::fromLocal8Bit(argv[2]);
  const bool screenshot = mode == QLatin1String("screenshot");
  if (!(screenshot && argc == 3) && !(mode == QLatin1String("fall") && argc <= 4)) return usage();
  int64_t step = 100;
  if (argc == 4) {
    bool ok = false;
    step = QString::fromLocal8Bit(argv[3]).toLongLong(&ok);
    if (!ok || step < 1 || step > 60000) return usage();
  }

  QTemporaryDir logFolder;
  if (!logFolder.isValid()) {
    std::fprintf(stderr, "no temporary folder\n");
    return 1;
  }
  constexpr int64_t kTwentyPastNine = (9 * 3600 + 20 * 60) * 1000LL;
  tw::VirtualTime time;
  RenderServices services(time, kTwentyPastNine, logFolder.path().toStdString());
  tw::Core core(services, services.logDisk(), time);
  const tw::Scene& scene = std::as_const(core).scene();
  const tw::platform::SpriteSet sprites;
  core.start();

  constexpr int64_t kSearchLimit = 30 * 60 * 1000;
  if (screenshot) {
    // Past the hint, the walker in the middle third of the screen and walking.
    const bool found = advanceUntil(core, services, kSearchLimit, [&] {
      const float third = scene.width() / 3;
      return core.now() > 10000 && core.mode() == tw::Mode::Walking && !scene.trenchLine.visible &&
             scene.walker.left > third && scene.walker.left < 2 * third;
    });
    if (!found) std::fprintf(stderr, "no walker mid-course; drawing the scene as it is\n");
    return writeFrame(scene, sprites, services.fonts(), target) ? 0 : 1;
  }

  if (!QDir().mkpath(target)) {
    std::fprintf(stderr, "cannot make %s\n", qPrintable(target));
    return 1;
  }
  if (!advanceUntil(core, services, kSearchLimit, [&] { return scene.trenchLine.visible; })) {
    std::fprintf(stderr, "no trench opened within %lld s\n", static_cast<long long>(kSearchLimit / 1000));
    return 1;
  }
  // From the trench opening until the walker is back on a new course; an
  // umbrella fall down a tall screen takes the better part of a minute.
  int frame = 0;
  bool fell = false;
  constexpr int64_t kLongestFallMs = 5 * 60 * 1000;
  const int64_t mostFrames = kLongestFallMs / step + 1;
  while (frame < mostFrames && !core.ended()) {
    const QString path = QDir(target).filePath(QStringLiteral("fall_%1.png").arg(frame, 4, 10, QLatin1Char('0')));
    if (!writeFrame(scene, sprites, services.fonts(), path)) return 1;
    ++frame;
    const bool falling = core.mode() == tw::Mode::Falling;
    if (falling) fell = true;
    if (fell && !falling) break;
    advance(core, services, step);
  }
  std::printf("%d frames in %s\n", frame, qPrintable(target));
  return 0;
}
