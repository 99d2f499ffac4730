#include "walk/course.h"

#include <cmath>

#include "shell/text.h"

namespace tw {
namespace {

// Where a course starts: a leftward walker just inside the right edge, a
// rightward one off the left edge, so that it walks into view.
constexpr float kLeftwardStartInset = 16;
constexpr float kRightwardStartLeft = -320;
// The walk picture before the first of a direction's four (1 to 4 leftward,
// 5 to 8 rightward).
constexpr int kLeftwardFrameBase = 0;
constexpr int kRightwardFrameBase = 4;
constexpr int kFramesPerDirection = 4;
// How far one walk tick moves the walker, and how far it counts as walked.
constexpr float kStep = 70;
constexpr double kStepDistance = 1.7;
// The figure shows tenths of the distance: centimetres up to 99, then metres.
constexpr double kTenths = 10;
constexpr double kLargestCentimetreFigure = 99;
constexpr double kCentimetresPerMetre = 100;

// The lane's place: the draw keeps it above the window's bottom margin, and
// the clock under it above the screen's.
constexpr float kLaneBottomMargin = 150;
constexpr float kClockBottomMargin = 500;
// The readout's place: the draw keeps it left of the window's right margin,
// and the clock left of the screen's.
constexpr float kReadoutRightMargin = 350;
constexpr float kClockRightMargin = 400;
// The smallest draws: the lane at the top, the figure's left edge at 1.
constexpr int32_t kSmallestLane = 1;
constexpr int32_t kSmallestReadout = 1921;

// Everything around a drawn height y and readout x: the walker's top 15 twips
// above y; the clock 300 below y and 300 left of x, its shadow just off it;
// the figure 1620 left of the clock, the unit 960 left of it and a pixel
// lower; the address 300 under the clock, below the figure. The lane runs 5
// twips above the clock's top.
constexpr float kClockBelowDraw = 300;
constexpr float kClockLeftOfDraw = 300;
constexpr float kShadowDown = 10;
constexpr float kShadowRight = 15;
constexpr float kUnitDown = 15;
constexpr float kAddressBelowClock = 300;
constexpr float kWalkerAboveDraw = 15;
constexpr float kDistanceLeftOfClock = 1620;
constexpr float kUnitLeftOfClock = 960;
constexpr float kLaneAboveClock = 5;
constexpr float kClockFontSize = 16;
// The colours of a course: the clock in a warm orange over a darker shadow,
// a dark blue lane, and the trench in red.
constexpr Rgb kClockColour = RGB(240, 139, 95);
constexpr Rgb kClockShadowColour = RGB(180, 60, 0);
constexpr Rgb kLaneColour = RGB(5, 10, 100);
constexpr Rgb kTrenchColour = RGB(200, 0, 0);

}  // namespace

void Course::setUpCourse() {
  try {
    scene_.coverScreen();
    scene_.trenchLine.visible = false;

    random_.reseed(secondsSinceMidnight(services_.localTime()));
    direction_ = static_cast<Direction>(static_cast<int>(std::floor(random_.next() * 2)) + 1);

    rollTrenchChance();

    if (direction_ == Direction::Leftward) {
      scene_.walker.left = scene_.width() - kLeftwardStartInset;
      walkFrame_ = kLeftwardFrameBase;
    } else {
      scene_.walker.left = kRightwardStartLeft;
      walkFrame_ = kRightwardFrameBase;
    }

    placeByDraw(kSmallestLane, scene_.height(), kLaneBottomMargin, &Course::layLane,
                &Course::laneAccepted);
    placeByDraw(kSmallestReadout, scene_.width(), kReadoutRightMargin, &Course::layReadout,
                &Course::readoutAccepted);

    Line& lane = scene_.lane;
    lane.x1 = 0;
    lane.x2 = scene_.width();
    lane.y1 = scene_.clock.top - kLaneAboveClock;
    lane.y2 = lane.y1;
    lane.color = kLaneColour;
    lane.visible = true;
  } catch (const RunTimeError&) {
  }
}

void Course::placeByDraw(int32_t smallest, float span, float margin, void (Course::*lay)(int32_t),
                         bool (Course::*accepted)() const) {
  // The bounds only ever get harder to meet as a draw grows, so the smallest
  // draw tells whether any draw can be accepted. On a screen too small for
  // them the element takes the nearest place that exists instead of drawing
  // for ever.
  (this->*lay)(smallest);
  if (!(this->*accepted)()) return;
  do {
    int32_t at;
    do {
      at = toInt32(random_.next() * span + 1);
    } while (at > span - margin);
    (this->*lay)(at);
  } while (!(this->*accepted)());
}

void Course::layLane(int32_t y) {
  Label& clock = scene_.clock;
  clock.top = static_cast<float>(y) + kClockBelowDraw;
  scene_.distance.top = clock.top;
  scene_.clockShadow.top = clock.top + kShadowDown;
  scene_.distanceUnit.top = scene_.distance.top + kUnitDown;
  scene_.address.top = clock.top + kAddressBelowClock;
  scene_.walker.top = static_cast<float>(y) - kWalkerAboveDraw;
  walkerTop_ = toInt32(scene_.walker.top);

  clock.setFontSize(kClockFontSize);
  scene_.clockShadow.setFontSize(kClockFontSize);
  clock.setFontName(kLaneClockFace);
  scene_.clockShadow.color = kClockShadowColour;
  clock.color = kClockColour;
}

bool Course::laneAccepted() const {
  const float y = scene_.walker.top + kWalkerAboveDraw;
  return y <= scene_.height() - kLaneBottomMargin &&
         scene_.clock.top < scene_.height() - kClockBottomMargin;
}

void Course::layReadout(int32_t x) {
  Label& clock = scene_.clock;
  clock.left = static_cast<float>(x) - kClockLeftOfDraw;
  scene_.distance.left = clock.left - kDistanceLeftOfClock;
  scene_.clockShadow.left = clock.left + kShadowRight;
  scene_.distanceUnit.left = clock.left - kUnitLeftOfClock;
  scene_.address.left = scene_.distance.left;
}

bool Course::readoutAccepted() const {
  const Label& clock = scene_.clock;
  const float x = clock.left + kClockLeftOfDraw;
  return x <= scene_.width() - kReadoutRightMargin &&
         clock.left + clock.width() < scene_.width() - kClockRightMargin &&
         scene_.distance.left > 0;
}

void Course::rollTrenchChance() {
  constexpr int kChances = 100;
  random_.reseed(secondsSinceMidnight(services_.localTime()));
  trenchChance_ = trenchChanceOfDraw(static_cast<int>(std::floor(random_.next() * kChances)) + 1);
}

void Course::walkTick() {
  if (direction_ == Direction::Leftward) {
    walkLeftward();
  } else {
    walkRightward();
  }
  walkedDistance_ = static_cast<float>(static_cast<double>(walkedDistance_) + kStepDistance);
  scene_.showTimeOfDay();
  showDistance();
}

void Course::walkLeftward() {
  // The trench's edge is the figure's left edge: the warning shows from 3500
  // to 1000 twips before it, and the walker falls 200 past it.
  constexpr float kWarningFar = 3500;
  constexpr float kWarningNear = 1000;
  constexpr float kFallPast = 200;
  Sprite& walker = scene_.walker;
  const float edge = scene_.distance.left;
  if (fallsEnabled_) {
    // A leftward course always opens its trench.
    trenchChance_ = TrenchChance::Opens;
    if (edge + kWarningNear < walker.left && edge + kWarningFar > walker.left) warnOfTrench();
    if (edge - kFallPast >= walker.left) startFall();
  }
  ++walkFrame_;
  walker.picture = scene_.walkFrames.picture(walkFrame_);
  walker.left = walker.left - kStep;
  if (!(walker.left > 0)) setUpCourse();
  if (walkFrame_ == kLeftwardFrameBase + kFramesPerDirection) walkFrame_ = kLeftwardFrameBase;
}

void Course::walkRightward() {
  // The trench's edge is the clock's right edge: the warning shows from 1000
  // to 500 twips before the clock's left, and the walker falls once within 60
  // of the edge.
  constexpr float kWarningFar = 1000;
  constexpr float kWarningNear = 500;
  constexpr float kFallShort = 60;
  Sprite& walker = scene_.walker;
  const Label& clock = scene_.clock;
  if (fallsEnabled_ && trenchChance_ == TrenchChance::Opens) {
    if (clock.left - kWarningFar < walker.left && clock.left - kWarningNear > walker.left)
      warnOfTrench();
    if (!(clock.width() + clock.left - kFallShort > walker.left)) startFall();
  }
  ++walkFrame_;
  walker.picture = scene_.walkFrames.picture(walkFrame_);
  walker.left = walker.left + kStep;
  if (walker.left >= scene_.width()) setUpCourse();
  if (walkFrame_ == kRightwardFrameBase + kFramesPerDirection) walkFrame_ = kRightwardFrameBase;
}

void Course::warnOfTrench() {
  scene_.warning.visible = true;
  scene_.trenchNotice.visible = true;
  openTrench();
}

void Course::showDistance() {
  const double figure = std::floor(static_cast<double>(walkedDistance_) / kTenths);
  scene_.distance.setCaption(wholeText(static_cast<long long>(figure)));
  const double shown = std::floor(textToNumber(scene_.distance.caption()));
  if (shown > kLargestCentimetreFigure) {
    scene_.distance.setCaption(numberText(shown / kCentimetresPerMetre));
    scene_.distanceUnit.setCaption("mts");
  }
}

void Course::openTrench() {
  Line& trench = scene_.trenchLine;
  trench.visible = true;
  trench.y1 = scene_.lane.y1;
  trench.y2 = scene_.lane.y1;
  trench.color = kTrenchColour;
  if (direction_ == Direction::Leftward) {
    trench.x1 = scene_.distance.left;
    trench.x2 = scene_.width();
  } else {
    trench.x1 = 0;
    trench.x2 = scene_.clock.width() + scene_.clock.left;
  }
  scene_.lane.visible = false;
}

void Course::startFall() { motion_.fall(); }

void Course::restartAfterFall() {
  trenchChance_ = TrenchChance::NotDrawn;
  setUpCourse();
}

bool Course::toggleFalls() {
  fallsEnabled_ = !fallsEnabled_;
  return fallsEnabled_;
}

}  // namespace tw
