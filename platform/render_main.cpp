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

#include "platform/qt_services.h"
#include "platform/scene_paint.h"
#include "platform/sprites.h"
#include "shell/scene.h"

namespace {

using tw::platform::QtServices;

constexpr int kWidth = 1024, kHeight = 768;
constexpr int64_t kSearchStep = 100;

// Real fonts, but a fixed screen, a clock that runs on the window's virtual
// time, and a throw-away log folder.
class RenderServices : public QtServices {
 public:
  RenderServices(int64_t startMs, std::string folder) : startMs_(startMs), folder_(std::move(folder)) {}
  void attach(const tw::ScreenS& screen) { screen_ = &screen; }

  tw::Extent screenSize() override {
    return {kWidth * tw::platform::kTwipsPerPixel, kHeight * tw::platform::kTwipsPerPixel};
  }
  tw::LocalTime localTime() override {
    const int64_t ms = startMs_ + (screen_ ? screen_->now() : 0);
    const int64_t day = ms % (24LL * 3600 * 1000);
    return tw::LocalTime{2026, 6, 1, static_cast<int>(day / 3600000), static_cast<int>(day / 60000 % 60),
                         static_cast<int>(day / 1000 % 60), static_cast<int>(day % 1000)};
  }
  std::string executableFolder() override { return folder_; }
  void syncToDisk(const std::string&) override {}
  void messageBox(const std::string& text, const std::string& title) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  }
  void openAddress(const std::string&) override {}
  void runTimeErrorBox(const tw::RunTimeError& error) override {
    std::fprintf(stderr, "Run-time error %d: %s\n", error.number(), error.what());
  }

 private:
  int64_t startMs_;
  std::string folder_;
  const tw::ScreenS* screen_ = nullptr;
};

bool writeFrame(const tw::ScreenS& screen, const tw::platform::SpriteSet& sprites,
                tw::platform::FontCache& fonts, const QString& path) {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    tw::platform::paintScene(painter, screen, sprites, fonts, image.rect());
  }
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// Steps the virtual clock until `done` holds; false when it never did.
bool advanceUntil(tw::ScreenS& screen, int64_t limitMs, const std::function<bool()>& done) {
  while (!done()) {
    if (screen.now() >= limitMs || screen.unloaded()) return false;
    screen.advanceBy(kSearchStep);
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
  RenderServices services(kTwentyPastNine, logFolder.path().toStdString());
  tw::ScreenS screen(services);
  services.attach(screen);
  const tw::platform::SpriteSet sprites;
  screen.load();

  constexpr int64_t kSearchLimit = 30 * 60 * 1000;
  if (screenshot) {
    // Past the hint, the walker in the middle third of the screen and walking.
    const bool found = advanceUntil(screen, kSearchLimit, [&] {
      const float third = screen.ScreenWidth() / 3;
      return screen.now() > 10000 && screen.Timer1.Enabled() && !screen.Line2.Visible &&
             screen.Image1.Left > third && screen.Image1.Left < 2 * third;
    });
    if (!found) std::fprintf(stderr, "no walker mid-course; drawing the scene as it is\n");
    return writeFrame(screen, sprites, services.fonts(), target) ? 0 : 1;
  }

  if (!QDir().mkpath(target)) {
    std::fprintf(stderr, "cannot make %s\n", qPrintable(target));
    return 1;
  }
  if (!advanceUntil(screen, kSearchLimit, [&] { return screen.Line2.Visible; })) {
    std::fprintf(stderr, "no trench opened within %lld s\n", static_cast<long long>(kSearchLimit / 1000));
    return 1;
  }
  // From the trench opening until the walker is back on a new course; an
  // umbrella fall down a tall screen takes the better part of a minute.
  int frame = 0;
  bool fell = false;
  constexpr int64_t kLongestFallMs = 5 * 60 * 1000;
  const int64_t mostFrames = kLongestFallMs / step + 1;
  while (frame < mostFrames && !screen.unloaded()) {
    const QString path = QDir(target).filePath(QStringLiteral("fall_%1.png").arg(frame, 4, 10, QLatin1Char('0')));
    if (!writeFrame(screen, sprites, services.fonts(), path)) return 1;
    ++frame;
    if (screen.Timer3.Enabled()) fell = true;
    if (fell && !screen.Timer3.Enabled()) break;
    screen.advanceBy(step);
  }
  std::printf("%d frames in %s\n", frame, qPrintable(target));
  return 0;
}
