// The scene: every element the saver shows, with its design-time values, and
// the window they are laid out in. The subsystems move and fill the elements;
// the platform paints them and reads nothing else.
#pragma once

#include <string>

#include "shell/elements.h"
#include "shell/services.h"

namespace tw {

inline constexpr const char* kMakerAddress = "https://korvek.example";

// The faces the captions ask for; the platform picks the nearest it has, and
// matches names without regard to case, so the clock on the lane, which asks
// for its face in lower case, gets Arial too.
inline constexpr const char* kVerdana = "Verdana";
inline constexpr const char* kArial = "Arial";
inline constexpr const char* kLaneClockFace = "arial";
inline constexpr const char* kArialBlack = "Arial Black";
inline constexpr const char* kSansSerif = "MS Sans Serif";

class Scene {
 public:
  explicit Scene(Services& services);
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // The window's size in twips. The window covers the screen, so this one
  // size is the screen's too; 0 until the first course is laid.
  float width() const { return width_; }
  float height() const { return height_; }
  // Takes the screen's size as it is now. Each course does, before it is
  // laid, so that it is laid, walked and ended within one size, and the
  // first course after the scene moved to another screen fits that screen.
  // A screen of no size (none attached for a moment) keeps the last one.
  void coverScreen();
  std::string caption = "Trenchwalk";

  // The time of day in hh:mm:ss, with a shadow one pixel off the digits.
  Label clock, clockShadow;
  // The distance walked so far and its unit, "cm" or "mts".
  Label distance, distanceUnit;
  // The maker's web address under the readout.
  Label address;
  // The hint, the help, the notices and the report.
  Label message;
  // Shown while the walker nears an open trench.
  Label warning, trenchNotice;
  Sprite walker;
  // The ground the walker walks on, and the trench opened in it.
  Line lane, trenchLine;
  const FrameSet walkFrames, fallFrames, waveFrames;

  // The set a picture belongs to.
  const FrameSet& framesOf(const Picture& picture) const;
  // Whether a point (twips) falls on a visible caption's box or on the
  // walker's picture: a click there belongs to that element.
  bool elementAt(float x, float y) const;
  // Shows the time of day on the clock and its shadow.
  void showTimeOfDay();

 private:
  Services& services_;
  float width_ = 0, height_ = 0;
  // The clock is refreshed many times a second; its text is only rebuilt
  // when the second changes.
  LocalTime shownSecond_;
  std::string shownTime_;
};

}  // namespace tw
