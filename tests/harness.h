// A saver core on a fake machine, with its own temporary log folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <utility>

#include "app/core.h"
#include "tests/fake_services.h"
#include "tests/stage.h"

namespace tw::test {

inline std::filesystem::path freshFolder() {
  static std::mt19937_64 names{std::random_device{}()};
  auto dir = std::filesystem::temp_directory_path() / ("trenchwalk-test-" + std::to_string(names()));
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A file's bytes, or nothing when there is no file there.
inline std::optional<std::string> contentOf(const std::filesystem::path& p) {
  if (!std::filesystem::exists(p)) return std::nullopt;
  return readFile(p);
}

inline void writeFile(const std::filesystem::path& p, const std::string& content) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << content;
}

struct CoreUnderTest {
  explicit CoreUnderTest(int widthPx = 1024, int heightPx = 768, int64_t startMs = 12 * 3600 * 1000)
      : services(time, widthPx, heightPx, startMs), folder(freshFolder()),
        core((services.folder = folder.string(), std::make_unique<Core>(services, disk, time))),
        stage(*core), scene(std::as_const(*core).scene()), timers(core->timers()),
        course(stage.course()), fall(stage.fall()), wave(stage.wave()) {}
  ~CoreUnderTest() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  // An event delivered through `s->`: once it has run, what the core asked
  // for is carried out, as the driver does, each box answered at once.
  class Delivery {
   public:
    explicit Delivery(CoreUnderTest& s) : s_(s) {}
    Delivery(const Delivery&) = delete;
    Delivery& operator=(const Delivery&) = delete;
    ~Delivery() { s_.carryOut(); }
    Core* operator->() { return s_.core.get(); }

   private:
    CoreUnderTest& s_;
  };
  Delivery operator->() { return Delivery(*this); }
  CoreUnderTest& start() {
    (*this)->start();
    return *this;
  }
  void carryOut() {
    while (const std::optional<Request> request = core->takeRequest()) {
      services.carryOut(*request);
      if (isBox(*request)) core->boxAnswered();
    }
  }
  std::filesystem::path log() const { return folder / "walked.log"; }
  // The log's lines, each without its line feed.
  std::vector<std::string> logLines() const {
    std::istringstream in(readFile(log()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // --- Scenarios staged by hand.

  // Trenches stay closed, as after D.
  void disableFalls() { stage.setFallsEnabled(false); }
  // A course laid by hand: the walker at `walkerLeft` at the start of its
  // stride, the readout's trench edges where the test wants them (the
  // figure's left for a leftward course, the clock's for a rightward one), no
  // warning shown and the lane whole.
  void layCourse(Direction direction, float walkerLeft, float distanceLeft = 3000,
                 float clockLeft = 8000) {
    stage.setWalk(direction, direction == Direction::Leftward ? 0 : 4);
    Scene& w = stage.scene();
    w.walker.left = walkerLeft;
    w.distance.left = distanceLeft;
    w.clock.left = clockLeft;
    w.warning.visible = w.trenchNotice.visible = false;
    w.lane.visible = true;
    w.trenchLine.visible = false;
  }
  // Finds a time of day at which a new course goes in `direction`, so that the
  // next course laid is of the test's choosing.
  void steerNextCourse(Direction direction) {
    for (int64_t offset = 0;; offset += 7) {
      services.wall.shift(offset);
      setUpCourse();
      if (course.direction() == direction) return;
    }
  }
  // The walker, at (`left`, `top`) with the warning up, reaches the trench:
  // the walk hands over to a fall whose depth the first fall tick draws.
  void fallFrom(float top, float left) {
    Scene& w = stage.scene();
    w.walker.top = top;
    w.walker.left = left;
    w.warning.visible = w.trenchNotice.visible = true;
    startFall();
  }

  // --- One handler at a time, as the timers and the keys would run them.
  void setUpCourse() { stage.course().setUpCourse(); }
  void walkTick() { stage.course().walkTick(); }
  void openTrench() { stage.course().openTrench(); }
  void startFall() { stage.course().startFall(); }
  void fallTick() { stage.fall().fallTick(); }

  VirtualTime time;
  FakeServices services;
  FakeDisk disk;
  std::filesystem::path folder;
  std::unique_ptr<Core> core;
  // Where a test places elements by hand and sets state no handler takes
  // from outside.
  Stage stage;
  // What a test reads.
  const Scene& scene;
  const Timers& timers;
  const Course& course;
  const Fall& fall;
  const Wave& wave;
};

// Whether a started core's trenches may open, for a walk no fall interrupts.
enum class Falls { On, Off };

// A core already started, as most tests want it.
struct StartedCore : CoreUnderTest {
  explicit StartedCore(Falls falls = Falls::On, int widthPx = 1024, int heightPx = 768)
      : CoreUnderTest(widthPx, heightPx) {
    start();
    if (falls == Falls::Off) disableFalls();
  }
};

// The fixtures of suites whose tests each begin with a core of their own:
// made (for a test that stages its folder before the start), or started.
struct WithCore : testing::Test { CoreUnderTest s; };
struct WithStartedCore : testing::Test { StartedCore s; };

}  // namespace tw::test
