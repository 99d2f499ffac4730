#include <algorithm>
#include <array>
#include <utility>

#include "shell/scene.h"
#include "shell/text.h"

namespace tw {
namespace {

// Design-time fonts. The platform picks the nearest face it has.
Font verdana(float size) { return Font{"Verdana", size, 400}; }
Font arial(float size) { return Font{"Arial", size, 400}; }
Font sansSerif(float size, int weight) { return Font{"MS Sans Serif", size, weight}; }
constexpr int kBold = 700;

}  // namespace

ScreenS::ScreenS(Services& services)
    : Label1(services, {"00:00:00", RGB(255, 255, 255), verdana(8.25f), true, true, true,
                        3420, 3480, 780, 195}),
      Label2(services, {"0", RGB(128, 128, 128), sansSerif(8.25f, kBold), false, true, false,
                        1800, 4020, 615, 255}),
      Label3(services, {"cm", RGB(128, 128, 128), sansSerif(8.25f, kBold), false, true, false,
                        2460, 4020, 615, 255}),
      Label4(services, {kMakerAddress, RGB(128, 128, 128), sansSerif(8.25f, 400), true, true,
                        false, 4920, 5340, 2700, 195}),
      Label5(services, {"", RGB(0, 0, 0), arial(8.25f), true, true, false, 3435, 3840, 45, 210}),
      Label6(services, {"_", RGB(0, 0, 255), sansSerif(9.75f, kBold), true, false, false,
                        660, 540, 135, 240}),
      Label7(services, {"WARNING", RGB(255, 0, 0), Font{"Arial Black", 14.25f, kBold}, true,
                        false, false, 3900, 240, 1680, 405}),
      Label8(services, {"OPEN TRENCH", RGB(255, 128, 0), sansSerif(8.25f, kBold), true, false,
                        false, 4080, 660, 1350, 195}),
      Image1{3480, 3300, true, std::nullopt},
      Line1{60, 1620, 6540, 1620, RGB(128, 128, 128), false},
      Line2{600, 1380, 1200, 1380, RGB(255, 0, 0), false},
      ImageList1(1, {{18, 21}, {19, 21}, {15, 21}, {18, 22}, {18, 21}, {19, 21}, {15, 21}, {18, 22}}),
      ImageList2(2, {{32, 32}, {32, 32}, {32, 32}, {32, 32}, {32, 32}, {32, 32}}),
      ImageList3(3, {{31, 25}, {31, 25}, {31, 25}, {31, 25}, {31, 25},
                     {31, 25}, {31, 25}, {31, 25}, {31, 25}, {31, 25}}),
      services_(services),
      Timer1(now_, true, 100),
      Timer2(now_, false, 10000),
      Timer3(now_, false, 100),
      Timer4(now_, false, 0) {}

// The clock is refreshed many times a second; its text is only rebuilt when
// the second changes.
const std::string& ScreenS::nowTimeText() {
  const LocalTime t = services_.localTime();
  if (t.second != clockSecond_.second || t.minute != clockSecond_.minute ||
      t.hour != clockSecond_.hour || clockText_.empty()) {
    clockSecond_ = t;
    clockText_ = timeText(t);
  }
  return clockText_;
}

template <class Handler>
void ScreenS::dispatch(Handler&& handler) {
  if (unloaded_ || busy_) return;
  busy_ = true;
  try {
    std::forward<Handler>(handler)();
  } catch (const RunTimeError& error) {
    // No handler traps its own errors: the error is shown and the program ends.
    busy_ = false;
    unloaded_ = true;
    services_.runTimeErrorBox(error);
    services_.unloadWindow();
    return;
  }
  busy_ = false;
}

void ScreenS::load() {
  dispatch([this] { Form_Load(); });
}

void ScreenS::keyUp(int keyCode) {
  dispatch([this, keyCode] { Form_KeyUp(keyCode); });
}

void ScreenS::clickAt(float x, float y) {
  auto inside = [x, y](float left, float top, float width, float height) {
    return x >= left && x < left + width && y >= top && y < top + height;
  };
  for (const Label* label : {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6, &Label7, &Label8}) {
    if (label->Visible && inside(label->Left, label->Top, label->Width(), label->Height())) return;
  }
  if (Image1.Visible && Image1.Picture) {
    const ImageList& set = Image1.Picture->set == 1   ? ImageList1
                           : Image1.Picture->set == 2 ? ImageList2
                                                      : ImageList3;
    const PixelSize size = set.size(Image1.Picture->index);
    constexpr float kTwipsPerPixel = 15;
    if (inside(Image1.Left, Image1.Top, size.width * kTwipsPerPixel, size.height * kTwipsPerPixel))
      return;
  }
  dispatch([this] { Form_Click(); });
}

Timer& ScreenS::timer(int number) {
  return const_cast<Timer&>(std::as_const(*this).timer(number));
}

const Timer& ScreenS::timer(int number) const {
  switch (number) {
    case 1: return Timer1;
    case 2: return Timer2;
    case 3: return Timer3;
    default: return Timer4;
  }
}

void ScreenS::tick(int number) {
  switch (number) {
    case 1: dispatch([this] { Timer1_Timer(); }); break;
    case 2: dispatch([this] { Timer2_Timer(); }); break;
    case 3: dispatch([this] { Timer3_Timer(); }); break;
    default: dispatch([this] { Timer4_Timer(); }); break;
  }
}

std::optional<int64_t> ScreenS::nextDue() const {
  if (unloaded_) return std::nullopt;
  std::optional<int64_t> next;
  for (int n = 1; n <= 4; ++n) {
    const Timer& t = timer(n);
    if (t.running() && (!next || t.due() < *next)) next = t.due();
  }
  return next;
}

void ScreenS::advanceTo(int64_t ms) {
  if (busy_) return;
  while (!unloaded_) {
    // The earliest due timer runs next; timers due together run in number order.
    int first = 0;
    for (int n = 1; n <= 4; ++n) {
      const Timer& t = timer(n);
      if (t.running() && t.due() <= ms && (first == 0 || t.due() < timer(first).due())) first = n;
    }
    if (first == 0) break;
    Timer& t = timer(first);
    const int64_t due = t.due();
    now_ = due;
    tick(first);
    // A handler that restarted its own count has set its next due time itself.
    if (t.due() == due) t.setDue(due + t.Interval());
  }
  now_ = std::max(now_, ms);
}

void ScreenS::catchUp(int64_t ms) {
  if (busy_ || unloaded_) return;
  now_ = std::max(now_, ms);
  std::array<bool, 5> ticked{};
  while (!unloaded_) {
    int first = 0;
    for (int n = 1; n <= 4; ++n) {
      const Timer& t = timer(n);
      if (!ticked[static_cast<size_t>(n)] && t.running() && t.due() <= now_ &&
          (first == 0 || t.due() < timer(first).due()))
        first = n;
    }
    if (first == 0) break;
    ticked[static_cast<size_t>(first)] = true;
    Timer& t = timer(first);
    const int64_t due = t.due();
    tick(first);
    if (t.due() == due) {
      // Keep the phase, so a minute holds its 600 walk ticks; after a stall the
      // missed ticks are dropped rather than run in a burst.
      int64_t next = due + t.Interval();
      if (next <= now_) next = now_ + t.Interval();
      t.setDue(next);
    }
  }
}

std::string ScreenS::logPath() const {
  // An unknown folder means no log at all, never one in the root folder.
  const std::string folder = services_.executableFolder();
  return folder.empty() ? std::string() : folder + "/walked.log";
}

}  // namespace tw
