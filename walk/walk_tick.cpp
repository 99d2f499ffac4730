#include <cmath>

#include "shell/scene.h"
#include "shell/text.h"

namespace tw {

void ScreenS::Timer1_Timer() {
  if (walkDirection == 1) {
    // Leftward: the trench edge is the distance figure's left edge.
    if (fallsEnabled == 1) {
      trenchChance = 1;
      if (Label2.Left + 1000 < Image1.Left && Label2.Left + 3500 > Image1.Left) {
        Label7.Visible = true;
        Label8.Visible = true;
        OpenTrench();
      }
      if (Label2.Left - 200 >= Image1.Left) StartFall();
    }
    ++walkFrame;
    Image1.Picture = ImageList1.ListImages(walkFrame);
    Image1.Left = Image1.Left - 70;
    if (!(Image1.Left > 0)) SetUpCourse();
    if (walkFrame == 4) walkFrame = 0;
  } else {
    // Rightward: the trench edge is the clock's right edge.
    if (fallsEnabled == 1 && trenchChance == 1) {
      if (Label1.Left - 1000 < Image1.Left && Label1.Left - 500 > Image1.Left) {
        Label7.Visible = true;
        Label8.Visible = true;
        OpenTrench();
      }
      if (!(Label1.Width() + Label1.Left - 60 > Image1.Left)) StartFall();
    }
    ++walkFrame;
    Image1.Picture = ImageList1.ListImages(walkFrame);
    Image1.Left = Image1.Left + 70;
    if (Image1.Left >= Width) SetUpCourse();
    if (walkFrame == 8) walkFrame = 4;
  }

  walkedDistance = static_cast<float>(static_cast<double>(walkedDistance) + 1.7);

  Label1.setCaption(nowTimeText());
  Label5.setCaption(nowTimeText());

  const double figure = std::floor(static_cast<double>(walkedDistance) / 10);
  Label2.setCaption(wholeText(static_cast<long long>(figure)));
  constexpr double kLargestCentimetreFigure = 99;
  const double shown = std::floor(textToNumber(Label2.Caption()));
  if (shown > kLargestCentimetreFigure) {
    Label2.setCaption(numberText(shown / 100));
    Label3.setCaption("mts");
  }
}

void ScreenS::OpenTrench() {
  Line2.Visible = true;
  Line2.Y1 = Line1.Y1;
  Line2.Y2 = Line1.Y1;
  Line2.BorderColor = RGB(200, 0, 0);
  if (walkDirection == 1) {
    Line2.X1 = Label2.Left;
    Line2.X2 = ScreenWidth();
  } else {
    Line2.X1 = 0;
    Line2.X2 = Label1.Width() + Label1.Left;
  }
  Line1.Visible = false;
}

void ScreenS::StartFall() {
  Timer1.setEnabled(false);
  Timer3.setEnabled(true);
}

}  // namespace tw
