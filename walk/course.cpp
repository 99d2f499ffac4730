#include <cmath>

#include "shell/scene.h"
#include "shell/text.h"

namespace tw {

void ScreenS::SetUpCourse() {
  // Any run-time error ends the course set-up quietly, leaving what it had
  // already placed; the caller goes on.
  try {
    Line2.Visible = false;

    rnd_.reseed(secondsSinceMidnight(services_.localTime()));
    walkDirection = static_cast<int>(std::floor(rnd_.next() * 2)) + 1;

    RollTrenchChance();

    if (walkDirection == 1) {
      Image1.Left = Width - 16;
      walkFrame = 0;
    } else {
      Image1.Left = 0;
      Image1.Left = Image1.Left - 320;
      walkFrame = 4;
    }

    // The bounds only ever get harder to meet as a draw grows, so the smallest
    // draw tells whether any draw can be accepted. On a screen too small for
    // them the lane and readout take the nearest places that exist instead of
    // drawing for ever.
    constexpr int32_t kSmallestLane = 1;
    layLane(kSmallestLane);
    if (laneAccepted()) {
      do {
        int32_t y;
        do {
          y = toInt32(rnd_.next() * Height + 1);
        } while (y > Height - 150);
        layLane(y);
      } while (!laneAccepted());
    }

    constexpr int32_t kSmallestReadout = 1921;  // the figure's left edge at 1
    layReadout(kSmallestReadout);
    if (readoutAccepted()) {
      do {
        int32_t x;
        do {
          x = toInt32(rnd_.next() * Width + 1);
        } while (x > Width - 350);
        layReadout(x);
      } while (!readoutAccepted());
    }

    Line1.X1 = 0;
    Line1.X2 = ScreenWidth();
    Line1.Y1 = Label1.Top - 5;
    Line1.Y2 = Line1.Y1;
    Line1.BorderColor = RGB(5, 10, 100);
    Line1.Visible = true;
  } catch (const RunTimeError&) {
  }
}

void ScreenS::layLane(int32_t y) {
  Label1.Top = static_cast<float>(y + 300);
  Label2.Top = Label1.Top;
  Label5.Top = Label1.Top + 10;
  Label3.Top = Label2.Top + 15;
  Label4.Top = Label1.Top + 300;
  Image1.Top = static_cast<float>(y - 15);
  walkerTop = toInt32(Image1.Top);

  Label1.setFontSize(16);
  Label5.setFontSize(16);
  Label1.setFontName("arial");
  Label5.ForeColor = RGB(180, 60, 0);
  Label1.ForeColor = RGB(240, 139, 95);
}

bool ScreenS::laneAccepted() const {
  const float y = Image1.Top + 15;
  return y <= Height - 150 && Label1.Top < ScreenHeight() - 500;
}

void ScreenS::layReadout(int32_t x) {
  Label1.Left = static_cast<float>(x - 300);
  Label2.Left = Label1.Left - 1620;
  Label5.Left = Label1.Left + 15;
  Label3.Left = Label1.Left - 960;
  Label4.Left = Label2.Left;
}

bool ScreenS::readoutAccepted() const {
  const float x = Label1.Left + 300;
  return x <= Width - 350 && Label1.Left + Label1.Width() < ScreenWidth() - 400 && Label2.Left > 0;
}

void ScreenS::RollTrenchChance() {
  rnd_.reseed(secondsSinceMidnight(services_.localTime()));
  trenchChance = static_cast<int>(std::floor(rnd_.next() * 100)) + 1;
  if (std::floor(trenchChance / 2.0) == trenchChance / 2.0) trenchChance = 1;
}

}  // namespace tw
